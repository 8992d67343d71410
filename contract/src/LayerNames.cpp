#include "contract/LayerNames.h"

namespace fennick {
namespace contract {

namespace {

char foldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool hasPrefixIgnoringCase(const char* name, const char* prefix)
{
    for (; *prefix; ++name, ++prefix)
        if (*name == '\0' || foldCase(*name) != foldCase(*prefix))
            return false;
    return true;
}

}  // namespace contract
}  // namespace fennick
