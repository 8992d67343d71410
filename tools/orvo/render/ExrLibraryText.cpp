#include "orvo/render/ExrLibraryText.h"

#include <cctype>

namespace fennick {
namespace tool {

std::string libraryText(std::string text, const std::string& path)
{
    for (const std::string& repeated :
         {"Cannot read image file \"" + path + "\". ", "Cannot read image file \"" + path + "\".",
          " from image file \"" + path + "\"", " image file \"" + path + "\"",
          "\"" + path + "\": ", "\"" + path + "\""})
        for (std::size_t at = text.find(repeated); at != std::string::npos;
             at = text.find(repeated))
            text.erase(at, repeated.size());
    // OpenEXR writes its limits run together with their unit ("65535pixels").
    const std::string unit = "pixels";
    for (std::size_t at = text.find(unit, 1); at != std::string::npos;
         at = text.find(unit, at + unit.size()))
        if (std::isdigit(static_cast<unsigned char>(text[at - 1])))
            text.insert(at++, " ");
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace tool
}  // namespace fennick
