// The tool's own error: its text names the file, the operation and the place,
// ready to be printed as it stands.
#pragma once

#include <stdexcept>

namespace fennick {
namespace tool {

class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace tool
}  // namespace fennick
