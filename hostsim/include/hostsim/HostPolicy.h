// What the stand-in host offers and answers where a real host may decline:
// the services its context hands out, the logs its log service keeps, the
// entries it makes, and what a layered image says of its layers and size.
//
// The base classes answer as a well-behaved host does, and the Host and
// SimLayeredImage use them unless given another; a failure test derives
// from them to make the host decline one thing at a time. Nothing here owns
// a host object: a policy only answers questions, and whoever hands one to a
// Host or a SimLayeredImage keeps it alive for as long as that object lives.
#pragma once

#include <string>

#include "hostabi/lxtypes.h"

namespace fennick {
namespace hostsim {

class HostPolicy {
public:
    virtual ~HostPolicy();

    // Asked once for every query of the context that names an interface,
    // before the host looks among its services; false hides a service the
    // host has, as a host without it would answer.
    virtual bool offersService(const LXtGUID& iid);
    // Whether the log service has a log for this subsystem.
    virtual bool hasLog(const std::string& subsystem);
    // Whether the log service makes the entry it is asked for.
    virtual bool makesEntry();

    // The well-behaved host, shared by every Host given no policy of its
    // own; it keeps no state, so sharing it is safe.
    static HostPolicy& wellBehaved();
};

class LayeredImagePolicy {
public:
    virtual ~LayeredImagePolicy();

    // The size the layered image answers, given in place as its layers'
    // own; a host whose image and layers disagree changes it.
    virtual void size(unsigned& width, unsigned& height);
    // The result of the name query for an existing layer: LXe_OK hands out
    // the name, any other code is answered instead with the name untouched.
    virtual LxResult nameResult(unsigned index);
    // Whether the image of an existing layer is handed out; false fails the
    // fetch.
    virtual bool givesImage(unsigned index);

    // The well-behaved image, shared like HostPolicy::wellBehaved().
    static LayeredImagePolicy& wellBehaved();
};

}  // namespace hostsim
}  // namespace fennick
