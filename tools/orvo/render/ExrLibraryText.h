// OpenEXR's text for a failure, made part of a message of the tool's own:
// without what the message says already (its own "Cannot read image file
// "<path>"." or the path in quotes), its limits spaced from their unit
// ("65535 pixels"), and no closing full stop.
#pragma once

#include <string>

namespace fennick {
namespace tool {

std::string libraryText(std::string text, const std::string& path);

}  // namespace tool
}  // namespace fennick
