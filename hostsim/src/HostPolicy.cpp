#include "hostsim/HostPolicy.h"

namespace fennick {
namespace hostsim {

HostPolicy::~HostPolicy() = default;

bool HostPolicy::offersService(const LXtGUID&) { return true; }

bool HostPolicy::hasLog(const std::string&) { return true; }

bool HostPolicy::makesEntry() { return true; }

HostPolicy& HostPolicy::wellBehaved()
{
    static HostPolicy policy;
    return policy;
}

LayeredImagePolicy::~LayeredImagePolicy() = default;

void LayeredImagePolicy::size(unsigned&, unsigned&) {}

LxResult LayeredImagePolicy::nameResult(unsigned) { return LXe_OK; }

bool LayeredImagePolicy::givesImage(unsigned) { return true; }

LayeredImagePolicy& LayeredImagePolicy::wellBehaved()
{
    static LayeredImagePolicy policy;
    return policy;
}

}  // namespace hostsim
}  // namespace fennick
