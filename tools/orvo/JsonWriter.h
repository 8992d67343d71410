// A small streaming JSON emitter for the tool's --json output: two-space
// indentation, strings escaped per RFC 8259, doubles in their shortest form
// that reads back exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvotool {

class JsonWriter {
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The key of the next value inside an object.
    JsonWriter& key(const std::string& name);
    void value(const std::string& text);
    void value(const char* text) { value(std::string(text)); }
    void value(double number);
    void value(std::uint64_t number);
    void value(std::int64_t number);
    void value(unsigned number) { value(std::uint64_t(number)); }
    void value(int number) { value(std::int64_t(number)); }
    void value(bool flag);
    void null();
    // Three numbers as one compact array: [x, y, z].
    void vector3(const double* v);
    // Three small integers as one compact array, for colours.
    void triple(unsigned a, unsigned b, unsigned c);

    // The document so far, ending in a line feed once the outermost value is
    // closed.
    const std::string& text() const { return out_; }

    static std::string quote(const std::string& text);
    static std::string number(double value);

private:
    void beforeValue();
    void newline();

    std::string out_;
    // One entry per open container: whether it holds a value yet.
    std::vector<bool> hasItems_;
    bool afterKey_ = false;
};

}  // namespace orvotool
