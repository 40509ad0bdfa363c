#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tenlo::cli {

// Writes one JSON document into a string, commas and escaping taken care of. Text that is not
// valid UTF-8 (a device's own name can be anything) is written with U+FFFD in place of the
// bytes that do not fit, so the document always parses.
class CJsonWriter {
  public:
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    // The name of the next member of an object.
    CJsonWriter& Key(std::string_view name);
    CJsonWriter& String(std::string_view text);
    CJsonWriter& Number(std::int64_t value);
    // A number with the given digits after the point (seconds to the millisecond); a value that
    // is not finite is written as null, which JSON has no number for.
    CJsonWriter& Fixed(double value, int decimals);
    CJsonWriter& Bool(bool value);
    CJsonWriter& Null();

    // The document so far; whole once every object and array is closed.
    const std::string& Text() const { return text_; }

    // text as a JSON string literal, quotes included.
    static std::string Quote(std::string_view text);

  private:
    void BeforeValue();

    std::string text_;
    // One entry per open object or array: whether it holds a member yet.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};

}  // namespace tenlo::cli
