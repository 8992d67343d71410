// One fixed save that every build performs the same way, so that the files
// of builds of different byte order can be compared value by value.
//
// It writes three files into a folder:
//   saved.ovq  a fixed layered image (colour, depth and material layers),
//              its parameter file and colour image, saved through the loaded
//              plug-in in the host stand-in, as the host saves;
//   lit.ovq    written through the writer library with what the saver never
//              asks for: a panoramic camera, a shadow direction (and so the
//              property list with its end offset and length), resolution per
//              centimetre and all four texts, non-ASCII ones among them;
//   lzw.ovq    the same as lit.ovq with LZW-compressed strips (horizontal
//              differencing of the colour and depth samples).
// Together they hold every field of every kind of block and record. Nothing
// in them depends on the platform but the byte order the TIFF header states
// and the DateTime tag.
#pragma once

#include <string>
#include <vector>

namespace platformtest {

inline constexpr char kSavedName[] = "saved.ovq";
inline constexpr char kLitName[] = "lit.ovq";
inline constexpr char kLzwName[] = "lzw.ovq";

inline constexpr unsigned kFixedWidth = 23;
inline constexpr unsigned kFixedHeight = 17;

// The names of the files a fixed save writes, in the order above.
std::vector<std::string> fixedSaveFiles();

// Writes the files into `folder`, which must exist, replacing earlier ones.
// The plug-in module is loaded from `pluginPath`. Throws std::runtime_error
// naming the file and the step that failed.
void writeFixedSave(const std::string& pluginPath, const std::string& folder);

// The byte-order mark a file written on this machine starts with: "II" or
// "MM".
std::string machineByteOrderMark();

}  // namespace platformtest
