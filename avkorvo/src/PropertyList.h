// The texts the writer builds: the property list stored in the RGB
// sub-file block, and the padding of TIFF text tags.
#pragma once

#include <string>

namespace Talvenrock {
namespace Orvo {

// The property list naming the file and its shadow direction: twelve lines
// joined by LF, no LF after the last. `name` (UTF-8) goes in unescaped, as
// the file's readers expect it; `shadow` is printed with "%f/%f/%f" in the
// C locale's number format whatever the process locale is.
std::string propertyList(const std::string& name, const double shadow[3]);

// Fills a UTF-8 text of at most 3 bytes with spaces to exactly 4 bytes;
// longer texts come back unchanged.
std::string pad(const std::string& text);

}  // namespace Orvo
}  // namespace Talvenrock
