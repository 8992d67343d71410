// Registration of this module's servers with the module object.
#include "Initialize.h"

#include "contract/ServerName.h"
#include "host/Adapters.h"
#include "host/Polymorph.h"
#include "host/ThisModule.h"
#include "saver/OrvoSaver.h"

// The polymorph and its interface records are made once and live until the
// process ends: the module registry keeps pointers to them, and the host may
// hold saver proxies as long as the module is loaded.
int initialize()
{
    auto* saver = new CLxPolymorph<COrvoSaver>;
    // The saver interface first: it is the server's default interface, the
    // GUID the host generates the server by.
    saver->AddInterface(new CLxIfc_Saver<COrvoSaver>);
    saver->AddInterface(new CLxIfc_StaticDesc<COrvoSaver>);
    return thisModule.AddServer(fennick::contract::kSaverServerName, saver);
}
