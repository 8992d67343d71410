// Conversion of the host's narrow file name into the wide path the writer
// takes.
#pragma once

#include <string>

// On Windows the narrow name is in the active code page. Elsewhere it is
// UTF-8 whatever the current locale, so a name reaches the disk exactly as
// the host gave it (the writer encodes the wide path back to UTF-8).
// Returns false, leaving `wide` unspecified, when the name cannot be
// converted (on POSIX: it is not valid UTF-8); an empty name gives an empty
// wide string.
bool getWCS(const std::string& narrow, std::wstring& wide);
