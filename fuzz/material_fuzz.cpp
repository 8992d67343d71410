// Fuzz target: the material classifier on raw float triples (any bit
// pattern: NaN, infinities, denormals, greys). On every pixel it checks the
// classifier's promises: a pixel without a hue gets tag 0 and one with a hue
// never does; the tag's interval holds the hue; a hue seen before gets the
// tag it got then; the table never passes the last 16-bit tag.
//
// An input that begins with kPreludeMark first fills the table past its
// last tag with hues spread over a sixth of the circle, so its pixels meet a
// full table; pixels of other inputs start from an empty one. The pixels
// follow the first four bytes.
#include "saver/src/MaterialHelper.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

constexpr float kFullTurn = MaterialHelper::kFullTurn;
// More distinct hues than tags, each farther than the hue limit from the next.
constexpr unsigned kPreludeHues = 70000;
// Copying the full table costs as much as hundreds of small inputs, so only
// inputs that begin with these four bytes ask for it.
constexpr char kPreludeMark[] = {'F', 'U', 'L', 'L'};
constexpr std::size_t kTripleBytes = 3 * sizeof(float);

[[noreturn]] void fault(const char* what, float hue, unsigned tag)
{
    std::fprintf(stderr, "material classifier: %s (hue %a, tag %u)\n", what,
                 static_cast<double>(hue), tag);
    std::abort();
}

// Classifies one pixel and checks every promise about its tag.
void classify(MaterialHelper& m, std::map<float, unsigned>& seen, float r, float g, float b)
{
    const float hue = MaterialHelper::gethue(r, g, b);
    const unsigned tag = m.getTag(r, g, b);
    if (hue != hue)
        fault("gethue returned NaN", hue, tag);
    if (hue == MaterialHelper::kNoHue) {
        if (tag != 0)
            fault("a pixel without a hue got a tag", hue, tag);
        return;
    }
    if (tag == 0)
        fault("a pixel with a hue got tag 0", hue, tag);
    const auto& ranges = m.materialRanges();
    if (ranges.size() > MaterialHelper::kMaxMaterials)
        fault("more materials than tags", hue, tag);
    if (tag > ranges.size())
        fault("a tag beyond the table", hue, tag);
    const MaterialHelper::Range& range = ranges[tag - 1];
    const bool held = (range.min <= hue && hue <= range.max)
                      || (range.min <= hue + kFullTurn && hue + kFullTurn <= range.max);
    if (!held)
        fault("the tag's interval does not hold the hue", hue, tag);
    const auto known = seen.emplace(hue, tag);
    if (!known.second && known.first->second != tag)
        fault("a hue seen before got another tag", hue, tag);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The full table is built once and copied for each input that asks.
    struct Full {
        MaterialHelper m;
        std::map<float, unsigned> seen;
    };
    static const Full full = [] {
        Full f;
        // Case r = 1, b = 0 gives the hue g itself, over [0, 1).
        for (unsigned i = 0; i < kPreludeHues; ++i)
            classify(f.m, f.seen, 1.0f, static_cast<float>(i) / static_cast<float>(kPreludeHues),
                     0.0f);
        if (f.m.materialRanges().size() != MaterialHelper::kMaxMaterials)
            fault("the prelude did not fill the table", 0.0f, 0);
        return f;
    }();
    const bool prelude
        = size >= sizeof kPreludeMark && std::memcmp(data, kPreludeMark, sizeof kPreludeMark) == 0;
    MaterialHelper m = prelude ? full.m : MaterialHelper();
    // The prelude's own hues were checked when the table was built.
    std::map<float, unsigned> seen;
    for (std::size_t at = sizeof kPreludeMark; at + kTripleBytes <= size; at += kTripleBytes) {
        float rgb[3];
        std::memcpy(rgb, data + at, sizeof rgb);
        classify(m, seen, rgb[0], rgb[1], rgb[2]);
    }
    return 0;
}
