#include "contract/ParameterFile.h"

#include <locale>
#include <sstream>

namespace fennick {
namespace contract {

namespace {

constexpr int kPositionValues = 3;
constexpr int kMatrixValues = 9;

// White space as the classic locale's stream extraction skips it.
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Walks the text as the saver's stream extraction would, keeping the line
// of every token for messages. A number is read by the stream's own
// extraction, confined to its token (extraction never reads past white
// space, so the result is the same), and only as far as the number goes:
// what is left of the token is where the next read starts.
class Walker {
public:
    explicit Walker(const std::string& text) : text_(text) {}

    ParameterReading& reading() { return reading_; }

    bool header()
    {
        if (!startToken()) {
            fail("",
                 "the file is empty; it must begin with the word " + quoted(kParameterHeaderWord));
            return false;
        }
        const std::string word = takeWord();
        record(ParameterToken::Kind::Header, "", 0, word, true);
        if (word != kParameterHeaderWord) {
            fail("", "the file must begin with the word " + quoted(kParameterHeaderWord) + ", not "
                         + quoted(word));
            return false;
        }
        return true;
    }

    bool key(const char* name)
    {
        key_ = name;
        if (!startToken()) {
            fail(name,
                 std::string("the file ends where the key ") + quoted(name) + " should follow");
            return false;
        }
        const std::string word = takeWord();
        record(ParameterToken::Kind::Key, name, 0, word, true);
        if (word != name) {
            fail(name, std::string("expected the key ") + quoted(name) + ", found " + quoted(word)
                           + " (keys come in a fixed order and are case-sensitive)");
            return false;
        }
        return true;
    }

    bool numbers(const char* name, double* values, int count)
    {
        if (!key(name))
            return false;
        for (int i = 0; i < count; ++i)
            if (!number(i, values[i]))
                return false;
        return true;
    }

    bool word(const char* name, std::string& value)
    {
        if (!key(name))
            return false;
        if (!startToken()) {
            endsBeforeValue();
            return false;
        }
        value = takeWord();
        record(ParameterToken::Kind::Word, key_, 0, value, true);
        return true;
    }

private:
    bool number(int index, double& value)
    {
        if (!startToken()) {
            endsBeforeValue();
            return false;
        }
        std::size_t end = at_;
        while (end < text_.size() && !isSpace(text_[end]))
            ++end;
        const std::string token = text_.substr(at_, end - at_);
        std::istringstream in(token);
        in.imbue(std::locale::classic());
        in >> value;
        if (in.fail()) {
            record(ParameterToken::Kind::Number, key_, index, token, false);
            fail(key_, "key " + quoted(key_) + ": " + quoted(token) + " is not a number");
            return false;
        }
        const std::size_t used = in.eof() ? token.size() : static_cast<std::size_t>(in.tellg());
        record(ParameterToken::Kind::Number, key_, index, token, used == token.size());
        reading_.tokens.back().number = value;
        at_ += used;
        return true;
    }

    void endsBeforeValue()
    {
        fail(key_, "key " + quoted(key_) + ": the file ends before its value");
    }

    // Skips white space; false at the end of the text.
    bool startToken()
    {
        while (at_ < text_.size() && isSpace(text_[at_])) {
            if (text_[at_] == '\n')
                ++line_;
            ++at_;
        }
        if (at_ >= text_.size())
            return false;
        tokenLine_ = line_;
        return true;
    }

    std::string takeWord()
    {
        const std::size_t from = at_;
        while (at_ < text_.size() && !isSpace(text_[at_]))
            ++at_;
        return text_.substr(from, at_ - from);
    }

    void record(ParameterToken::Kind kind, const std::string& key, int index,
                const std::string& text, bool whole)
    {
        reading_.tokens.push_back(ParameterToken{kind, key, index, tokenLine_, text, whole});
    }

    // At the end of the text the place is the last token's line, which is
    // the line of the last token read.
    void fail(const std::string& key, const std::string& detail)
    {
        reading_.problem = ParameterProblem{tokenLine_, key, detail};
    }

    const std::string& text_;
    std::size_t at_ = 0;
    unsigned line_ = 1;
    unsigned tokenLine_ = 1;
    std::string key_;
    ParameterReading reading_;
};

}  // namespace

ParameterReading readParameterText(const std::string& text)
{
    Walker w(text);
    CameraParameters& p = w.reading().values;
    // The first step that fails records the problem; the rest are not tried.
    (void)(w.header() && w.numbers("pos", p.pos, kPositionValues)
           && w.numbers("worldMatrix", p.worldMatrix, kMatrixValues)
           && w.numbers("focalLen", &p.focalLen, 1) && w.numbers("apertureX", &p.apertureX, 1)
           && w.numbers("apertureY", &p.apertureY, 1) && w.numbers("offsetX", &p.offsetX, 1)
           && w.numbers("offsetY", &p.offsetY, 1) && w.numbers("squeeze", &p.squeeze, 1)
           && w.word("filmFit", p.filmFit) && w.word("projType", p.projType)
           && w.numbers("dpi", &p.dpi, 1) && w.numbers("pAspect", &p.pAspect, 1)
           && w.numbers("depthMax", &p.depthMax, 1));
    return std::move(w.reading());
}

FilmSize filmSize(const CameraParameters& c, unsigned width, unsigned height)
{
    const double aspect = static_cast<double>(width) * c.pAspect / static_cast<double>(height);
    const bool horizontal = c.filmFit == "horizontal"
                            || (c.filmFit == "overscan" && c.apertureX > aspect * c.apertureY)
                            || (c.filmFit == "fill" && c.apertureX < aspect * c.apertureY);
    if (horizontal)
        return {c.apertureX, c.apertureX / aspect};
    return {aspect * c.apertureY, c.apertureY};
}

}  // namespace contract
}  // namespace fennick
