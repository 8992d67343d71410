// Wrappers of the host interfaces the saver uses: the log service, logs and
// log entries, layered images and their images. Every operation on an empty
// wrapper answers a failure instead of calling through a null pointer.
#pragma once

#include "host/HostInterfaces.h"
#include "host/Localize.h"
#include "hostabi/lxguids.h"

// The host's log service. Not a holder of its own reference: the pointer is
// the module object's cached global, valid while the module holds its
// context.
class CLxLoc_LogService {
public:
    CLxLoc_LogService();

    bool test() const { return m_loc != nullptr; }
    // The log of a subsystem, carrying one reference for the caller.
    LxResult SubSystem(const char* name, void** log);
    // A new log entry, carrying one reference for the caller.
    LxResult NewEntry(LxResult type, const char* text, void** entry);

private:
    ILxLogService* m_loc = nullptr;
    LXtGUID m_guid;
};

class CLxLoc_LogEntry : public CLxLocalize<ILxLogEntry> {
public:
    CLxLoc_LogEntry() : CLxLocalize<ILxLogEntry>(LXu_LOGENTRY) {}
};

class CLxLoc_Log : public CLxLocalize<ILxLog> {
public:
    CLxLoc_Log() : CLxLocalize<ILxLog>(LXu_LOG) {}

    // Adds an entry to this log; the log keeps its own reference if it
    // wants one.
    LxResult AddEntry(ILxUnknownID entry);
};

class CLxUser_Log : public CLxLoc_Log {
public:
    CLxUser_Log() = default;
    // Opens the log of a subsystem; test() tells whether the host has it.
    explicit CLxUser_Log(const char* subsystem);

    bool setByName(const char* subsystem);

    // Longest message, terminator included; longer texts are cut.
    static constexpr unsigned kMessageBytes = 1024;

    // Formats a message (printf rules) and adds it to this log with the
    // given entry type. True when the host accepted the entry.
    bool Message(LxResult type, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
};

class CLxLoc_Image : public CLxLocalize<ILxImage> {
public:
    CLxLoc_Image() : CLxLocalize<ILxImage>(LXu_IMAGE) {}

    // 0 (no format) when empty.
    LXtPixelFormat Format();
    // Writes pixel (x, y) in the given format into buf, which holds at least
    // lxPixelBytes(format) bytes.
    LxResult GetPixel(unsigned x, unsigned y, LXtPixelFormat format, void* buf);
};

class CLxUser_Image : public CLxLoc_Image {
public:
    CLxUser_Image() = default;
};

class CLxLoc_LayeredImage : public CLxLocalize<ILxLayeredImage> {
public:
    CLxLoc_LayeredImage() : CLxLocalize<ILxLayeredImage>(LXu_LAYEREDIMAGE) {}

    LxResult Size(unsigned* width, unsigned* height);
    // 0 when empty.
    unsigned Count();
    // The layer's name, owned by the host and valid during the save.
    LxResult Name(unsigned index, const char** name);
    // Hands the layer to the image wrapper, which then holds its reference;
    // on failure the image wrapper is left as it was.
    bool GetImage(CLxLoc_Image& image, unsigned index);
};

class CLxUser_LayeredImage : public CLxLoc_LayeredImage {
public:
    CLxUser_LayeredImage() = default;
    // Views the object as a layered image; test() tells whether it is one.
    // The caller keeps its own reference to the object.
    explicit CLxUser_LayeredImage(LXtObjectID obj) { set(obj); }
};
