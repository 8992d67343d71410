// Which layers of the layered image the saver takes: the depth layer and
// the optional material layer are found by name, as case-insensitive
// prefixes ("Orvo_depth_old" is a depth layer, "Orvo_matte" a material
// layer), and where several layers match, the last one wins. The host's
// preparation script names its layers so; the tool, which plays that
// script, reports the choice before the saver makes it.
#pragma once

#include <string>

namespace fennick {
namespace contract {

inline constexpr char kDepthLayerPrefix[] = "Orvo_depth";
inline constexpr char kMaterialLayerPrefix[] = "Orvo_mat";
// Every layer the saver may take begins with this: such a layer is never
// the colour picture.
inline constexpr char kSaverLayerPrefix[] = "Orvo_";

// Whether `name` begins with `prefix`, folding ASCII letters only, so that
// the answer is the same whatever locale the host or the tool runs in.
bool hasPrefixIgnoringCase(const char* name, const char* prefix);
inline bool hasPrefixIgnoringCase(const std::string& name, const char* prefix)
{
    return hasPrefixIgnoringCase(name.c_str(), prefix);
}

// The saver's choice, made by showing it each layer's name in order.
class LayerChoice {
public:
    void consider(int index, const char* name)
    {
        if (hasPrefixIgnoringCase(name, kDepthLayerPrefix))
            depth_ = index;
        if (hasPrefixIgnoringCase(name, kMaterialLayerPrefix))
            material_ = index;
    }
    // The chosen layers' indices; -1 for none.
    int depth() const { return depth_; }
    int material() const { return material_; }

private:
    int depth_ = -1;
    int material_ = -1;
};

}  // namespace contract
}  // namespace fennick
