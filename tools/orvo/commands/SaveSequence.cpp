// `orvo save render.####.exr shot.####.ovq`: every frame saved as its own
// target through one loaded plug-in. A frame that fails is said and counted,
// and the others are saved all the same: one bad frame of a long render
// should not cost the rest.
#include "orvo/commands/Report.h"
#include "orvo/commands/SaveFrame.h"
#include "orvo/plugin/PluginPath.h"
#include "orvo/support/FileOps.h"
#include "orvo/support/FramePattern.h"
#include "orvo/support/ToolError.h"
#include "avkorvo/OrvoReader.h"

#include <new>
#include <ostream>
#include <streambuf>

namespace fennick {
namespace tool {

namespace {

// Passes each line to `target` with the frame it is about: "frame 12: "
// before a report line, after the "orvo: " of a notice or warning.
class FrameLines : public std::ostream {
public:
    FrameLines(std::ostream& target, const std::string& label)
        : std::ostream(nullptr), buffer_(target, label)
    {
        rdbuf(&buffer_);
    }
    ~FrameLines() override { buffer_.finish(); }

private:
    class Buffer : public std::streambuf {
    public:
        Buffer(std::ostream& target, const std::string& label) : target_(target), label_(label) {}
        void finish()
        {
            if (!line_.empty())
                emit();
        }

    protected:
        int_type overflow(int_type c) override
        {
            if (traits_type::eq_int_type(c, traits_type::eof()))
                return traits_type::not_eof(c);
            line_ += traits_type::to_char_type(c);
            if (line_.back() == '\n')
                emit();
            return c;
        }

    private:
        void emit()
        {
            const std::string voice = kNotice;
            if (line_.compare(0, voice.size(), voice) == 0)
                target_ << voice << label_ << line_.substr(voice.size());
            else
                target_ << label_ << line_;
            target_.flush();
            line_.clear();
        }
        std::ostream& target_;
        std::string label_;
        std::string line_;
    };
    Buffer buffer_;
};

// What a frame reports besides its summary: the same for every frame of a
// sequence, and so left out, one line a frame being what a long sequence
// can be read by.
class Discard : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

// The file of `frame` when `path` has a frame mark, else `path` itself:
// one parameter file or colour image for all frames.
std::optional<std::string> ofFrame(const std::optional<std::string>& path, long frame)
{
    if (!path)
        return path;
    const std::optional<FramePattern> p = FramePattern::of(*path);
    return p ? p->path(frame) : *path;
}

std::string frameList(const std::vector<long>& frames)
{
    std::vector<std::string> numbers;
    for (long f : frames)
        numbers.push_back(std::to_string(f));
    return joined(numbers);
}

}  // namespace

int saveSequence(const SaveOptions& o, std::ostream& out, std::ostream& err,
                 const Progress& progress)
{
    const FramePattern render = *FramePattern::of(o.render);
    const std::optional<FramePattern> target = FramePattern::of(o.target);
    if (!target)
        throw ToolError(o.target + ": the target has no frame mark, and the render " + o.render
                        + " is a sequence; give the target a mark too (as in shot.####.ovq)");
    const std::vector<long> frames = o.frames ? o.frames->frames() : framesOnDisk(render);
    if (frames.empty())
        throw ToolError(o.render + ": no render matches the pattern: no file in " + render.folder()
                        + " is named so with the frame at " + render.mark() + " ("
                        + std::to_string(render.width())
                        + (render.width() == 1 ? " digit" : " digits") + " or more)");

    const PluginLocation plugin = locatePlugin(o.plugin);
    progress.step("loading the plug-in");
    LoadedPlugin loaded(plugin);

    Discard discarded;
    std::ostream details(&discarded);
    std::vector<long> failed;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const long frame = frames[i];
        const std::string label = "frame " + std::to_string(frame) + ": ";
        progress.within("frame " + std::to_string(i + 1) + " of " + std::to_string(frames.size()));
        FrameLines frameOut(out, label), frameErr(err, label);
        SaveOptions f = o;
        f.render = render.path(frame);
        f.target = target->path(frame);
        f.params = ofFrame(o.params, frame);
        f.rgb = ofFrame(o.rgb, frame);
        int status = 1;
        try {
            if (!pathExists(f.render))
                throw ToolError(f.render + ": no such render; --frames names frame "
                                + std::to_string(frame));
            checkFrameInputs(f, plugin.path);
            status = saveFrame(f, loaded, details, frameOut, frameErr, progress);
        } catch (const ToolError& e) {
            frameErr << kNotice << e.what() << "\n";
        } catch (const Talvenrock::Orvo::ReadError& e) {
            frameErr << kNotice << e.what() << "\n";
        } catch (const std::bad_alloc&) {
            frameErr << kNotice << f.render << ": out of memory saving it as " << f.target << "\n";
        }
        if (status != 0)
            failed.push_back(frame);
    }
    progress.within("");
    progress.done();
    if (failed.empty())
        return 0;
    err << kNotice << failed.size() << " of " << frames.size()
        << " frames failed: " << frameList(failed) << "\n";
    return 1;
}

}  // namespace tool
}  // namespace fennick
