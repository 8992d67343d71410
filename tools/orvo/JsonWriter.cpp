#include "tools/orvo/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace orvotool {

namespace {
constexpr int kIndent = 2;
}

std::string JsonWriter::quote(const std::string& text)
{
    std::string q = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': q += "\\\""; break;
        case '\\': q += "\\\\"; break;
        case '\n': q += "\\n"; break;
        case '\r': q += "\\r"; break;
        case '\t': q += "\\t"; break;
        case '\b': q += "\\b"; break;
        case '\f': q += "\\f"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                q += buf;
            } else {
                // Bytes from 0x80 pass through: the texts are UTF-8 already.
                q += static_cast<char>(c);
            }
        }
    }
    return q + "\"";
}

std::string JsonWriter::number(double value)
{
    // JSON has no NaN or infinity.
    if (!std::isfinite(value))
        return "null";
    char buf[32];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

void JsonWriter::newline()
{
    out_ += '\n';
    out_.append(hasItems_.size() * kIndent, ' ');
}

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasItems_.empty()) {
        if (hasItems_.back())
            out_ += ',';
        hasItems_.back() = true;
        newline();
    }
}

void JsonWriter::beginObject()
{
    beforeValue();
    out_ += '{';
    hasItems_.push_back(false);
}

void JsonWriter::endObject()
{
    bool had = hasItems_.back();
    hasItems_.pop_back();
    if (had)
        newline();
    out_ += '}';
    if (hasItems_.empty())
        out_ += '\n';
}

void JsonWriter::beginArray()
{
    beforeValue();
    out_ += '[';
    hasItems_.push_back(false);
}

void JsonWriter::endArray()
{
    bool had = hasItems_.back();
    hasItems_.pop_back();
    if (had)
        newline();
    out_ += ']';
    if (hasItems_.empty())
        out_ += '\n';
}

JsonWriter& JsonWriter::key(const std::string& name)
{
    beforeValue();
    out_ += quote(name) + ": ";
    afterKey_ = true;
    return *this;
}

void JsonWriter::value(const std::string& text)
{
    beforeValue();
    out_ += quote(text);
}

void JsonWriter::value(double number)
{
    beforeValue();
    out_ += JsonWriter::number(number);
}

void JsonWriter::value(std::uint64_t number)
{
    beforeValue();
    out_ += std::to_string(number);
}

void JsonWriter::value(std::int64_t number)
{
    beforeValue();
    out_ += std::to_string(number);
}

void JsonWriter::value(bool flag)
{
    beforeValue();
    out_ += flag ? "true" : "false";
}

void JsonWriter::null()
{
    beforeValue();
    out_ += "null";
}

void JsonWriter::vector3(const double* v)
{
    beforeValue();
    out_ += '[' + number(v[0]) + ", " + number(v[1]) + ", " + number(v[2]) + ']';
}

}  // namespace orvotool

namespace orvotool {

void JsonWriter::triple(unsigned a, unsigned b, unsigned c)
{
    beforeValue();
    out_ += '[' + std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c) + ']';
}

}  // namespace orvotool
