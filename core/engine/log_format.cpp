#include "core/engine/log_format.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "host/text.h"

namespace orvex::core {

std::int64_t LogArg::integer() const {
  if (kind_ != Kind::Real) return integer_;
  // A double outside the integer range has no meaningful %d form; clamp rather than overflow.
  if (!(real_ == real_)) return 0;
  if (real_ >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
  if (real_ <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(real_);
}

namespace {

/// One conversion as written: its flags, width and precision (".digits") as text, and its letter.
struct Conversion {
  std::string flags;
  std::string width;
  std::string precision;
  char letter = 0;

  /// The conversion as a printf format for one argument of `type` ("lld", "f", "F" or "s"):
  /// only the flags of `kept` are passed on, the precision only with `withPrecision`.
  std::string spec(std::string_view kept, bool withPrecision, std::string_view type) const {
    std::string text = "%";
    for (const char flag : flags)
      if (kept.find(flag) != std::string_view::npos) text += flag;
    return text + width + (withPrecision ? precision : std::string()) + std::string(type);
  }
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one conversion after '%'; returns the position after it, or npos when the format ends
// inside the conversion. Length modifiers (l, h, z, j) are read and dropped.
std::size_t parse_conversion(std::string_view f, std::size_t pos, Conversion& conv) {
  for (; pos < f.size() && std::string_view("-+ 0#").find(f[pos]) != std::string_view::npos; ++pos)
    conv.flags += f[pos];
  for (; pos < f.size() && isDigit(f[pos]); ++pos) conv.width += f[pos];
  if (pos < f.size() && f[pos] == '.') {
    for (conv.precision = f[pos++]; pos < f.size() && isDigit(f[pos]); ++pos) conv.precision += f[pos];
  }
  while (pos < f.size() && (f[pos] == 'l' || f[pos] == 'h' || f[pos] == 'z' || f[pos] == 'j')) ++pos;
  if (pos >= f.size()) return std::string_view::npos;
  conv.letter = f[pos];
  return pos + 1;
}

// The C library's printf in the "C" locale writes each argument. The alternate form ('#') is
// never passed on; integers take no precision; a text takes only '-' and, for %s, the
// precision (padded with blanks whatever the other flags say); a number given for %s is
// written as %d or %f of the same width and alignment.
std::string convert(const Conversion& conv, const LogArg& arg) {
  const bool real = conv.letter == 'f' || conv.letter == 'F';
  if (arg.kind() == LogArg::Kind::Text) {
    return host::cformat(conv.spec("-", conv.letter == 's', "s").c_str(), std::string(arg.text()).c_str());
  }
  if (conv.letter == 's') {
    if (arg.kind() == LogArg::Kind::Integer)
      return host::cformat(conv.spec("-", false, "lld").c_str(), static_cast<long long>(arg.integer()));
    return host::cformat(conv.spec("-", false, "f").c_str(), arg.real());
  }
  if (real) return host::cformat(conv.spec("-+ 0", true, std::string(1, conv.letter)).c_str(), arg.real());
  return host::cformat(conv.spec("-+ 0", false, "lld").c_str(), static_cast<long long>(arg.integer()));
}

}  // namespace

std::string format_log_text(std::string_view format, std::initializer_list<LogArg> args) {
  std::string out;
  out.reserve(format.size() + 16 * args.size());
  const LogArg* next = args.begin();
  std::size_t pos = 0;
  while (pos < format.size()) {
    const std::size_t percent = format.find('%', pos);
    if (percent == std::string_view::npos) {
      out += format.substr(pos);
      break;
    }
    out += format.substr(pos, percent - pos);
    Conversion conv;
    const std::size_t after = parse_conversion(format, percent + 1, conv);
    if (after == std::string_view::npos) break;
    pos = after;
    if (conv.letter == '%') {
      out += '%';
      continue;
    }
    if (next == args.end()) continue;
    const LogArg& arg = *next++;
    if (std::string_view("fFdius").find(conv.letter) != std::string_view::npos) {
      out += convert(conv, arg);
    } else {
      // Unknown conversions are written back verbatim so that a mistake stays visible in the log.
      out += format.substr(percent, after - percent);
    }
  }
  return out;
}

}  // namespace orvex::core
