#pragma once
// printf-style formatting for the engine's diagnostic log that never depends on the C locale:
// "%f" always writes '.' as the decimal point, whatever setlocale() the host has chosen.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orvex::core {

/// One argument of a log line: a number or a text.
class LogArg {
 public:
  enum class Kind { Real, Integer, Text };

  LogArg(double value) : kind_(Kind::Real), real_(value) {}  // NOLINT(google-explicit-constructor)
  LogArg(float value) : kind_(Kind::Real), real_(value) {}   // NOLINT(google-explicit-constructor)
  LogArg(std::int32_t value) : kind_(Kind::Integer), integer_(value) {}  // NOLINT
  LogArg(std::int64_t value) : kind_(Kind::Integer), integer_(value) {}  // NOLINT
  LogArg(const char* value) : kind_(Kind::Text), text_(value) {}         // NOLINT
  LogArg(std::string_view value) : kind_(Kind::Text), text_(value) {}    // NOLINT
  LogArg(const std::string& value) : kind_(Kind::Text), text_(value) {}  // NOLINT

  Kind kind() const { return kind_; }
  double real() const { return kind_ == Kind::Integer ? static_cast<double>(integer_) : real_; }
  std::int64_t integer() const;
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  double real_ = 0.0;
  std::int64_t integer_ = 0;
  std::string_view text_;
};

/// Formats `format` like C printf in the "C" locale. Understood conversions: %d %i %u, %f %F,
/// %s and %%, with the flags '-', '+', ' ', '0', a width and a precision (a '*' is not
/// understood). Length modifiers (l, ll, h, z) are accepted and ignored. A number given for %s
/// or a text given for a number is written in the other form rather than misread; a conversion
/// without an argument writes nothing. Output is byte-identical to glibc's printf for the same
/// format and values in the "C" locale, including "inf", "nan" and "-nan".
std::string format_log_text(std::string_view format, std::initializer_list<LogArg> args);

}  // namespace orvex::core
