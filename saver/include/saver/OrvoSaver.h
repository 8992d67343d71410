// The Orvo saver server: saves a rendered layered image, together with the
// two side files a host script writes beside the target (the camera
// parameters and the colour image), as one Orvo file.
#pragma once

#include "host/ServerImpl.h"
#include "hostabi/lxtypes.h"

// Holds no state: every save is self-contained, so one object may serve any
// number of saves. Only Save is provided; Verify keeps the base's answer.
class COrvoSaver : public CLxImpl_Saver {
public:
    // Static description rows read by the host when the server is
    // registered, terminated by a row whose type is null.
    static const LXtTagInfoDesc descInfo[];

    // Host entry point. Returns LXe_OK, or a failure code after logging
    // exactly one message in the "io-status" log. Every failure leaves the
    // target exactly as it was; no partial file remains.
    LxResult sav_Save(LXtObjectID source, const char* filename, LXtObjectID monitor) override;
};
