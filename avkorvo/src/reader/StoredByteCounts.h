// The strip byte counts of a directory as the file stores them.
//
// libtiff does not always hand out the stored counts: for an uncompressed
// directory whose first two counts differ, or whose single count looks
// wrong, it computes counts from the picture's size instead and drops the
// stored ones with a warning. Those files read, but their stored counts are
// damage that other readers of the file follow; the reader checks the
// stored counts, read here from the directory's own bytes.
//
// Internal to the reader library.
#pragma once

#include "FileBytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Talvenrock {
namespace Orvo {

// The values of the StripByteCounts entry (SHORT or LONG, inline or out of
// line, in the file's byte order) of the classic TIFF directory at
// directoryOffset; empty when the directory has no such entry. Throws
// ReadError ("<file>: directory 0 at offset 1234: ...", place naming the
// directory) when the entry is of another type or runs past the end of the
// file.
std::vector<std::uint32_t> storedByteCounts(const FileBytes& bytes, std::uint64_t directoryOffset,
                                            const std::string& place);

}  // namespace Orvo
}  // namespace Talvenrock
