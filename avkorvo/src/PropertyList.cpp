#include "PropertyList.h"

#include <locale>
#include <sstream>

namespace Talvenrock {
namespace Orvo {

namespace {

const char* const kOpening = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\">\n"
                             "<dict>\n"
                             "<key>Version</key>\n"
                             "<integer>4</integer>\n"
                             "<key>Name</key>\n"
                             "<string>";
const char* const kMiddle = "</string>\n<key>Shadows</key>\n<string>2 0.4 ";
const char* const kClosing = " 0.0 0/0/0</string>\n</dict>\n</plist>";

constexpr std::size_t kMinimumTextBytes = 4;
constexpr int kDirectionDecimals = 6;

}  // namespace

std::string propertyList(const std::string& name, const double shadow[3])
{
    // "%f/%f/%f": six decimals, '.' as the decimal point. A classic-locale
    // stream, so a host that set a comma locale cannot change the file.
    std::ostringstream direction;
    direction.imbue(std::locale::classic());
    direction.setf(std::ios::fixed, std::ios::floatfield);
    direction.precision(kDirectionDecimals);
    direction << shadow[0] << '/' << shadow[1] << '/' << shadow[2];

    std::string text(kOpening);
    text += name;
    text += kMiddle;
    text += direction.str();
    text += kClosing;
    return text;
}

std::string pad(const std::string& text)
{
    if (text.size() >= kMinimumTextBytes)
        return text;
    std::string padded(text);
    padded.resize(kMinimumTextBytes, ' ');
    return padded;
}

}  // namespace Orvo
}  // namespace Talvenrock
