#include "core/engine/log_format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>

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

struct Conversion {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool zero = false;
  int width = 0;
  int precision = -1;
  char conversion = 0;
};

// Reads one conversion after '%'; returns the position after it, or npos when the format ends
// inside the conversion.
std::size_t parse_conversion(std::string_view f, std::size_t pos, Conversion& conv) {
  for (; pos < f.size(); ++pos) {
    const char c = f[pos];
    if (c == '-') {
      conv.left = true;
    } else if (c == '+') {
      conv.plus = true;
    } else if (c == ' ') {
      conv.space = true;
    } else if (c == '0') {
      conv.zero = true;
    } else if (c != '#') {
      break;
    }
  }
  while (pos < f.size() && f[pos] >= '0' && f[pos] <= '9') {
    conv.width = conv.width * 10 + (f[pos] - '0');
    ++pos;
  }
  if (pos < f.size() && f[pos] == '.') {
    ++pos;
    conv.precision = 0;
    while (pos < f.size() && f[pos] >= '0' && f[pos] <= '9') {
      conv.precision = conv.precision * 10 + (f[pos] - '0');
      ++pos;
    }
  }
  while (pos < f.size() && (f[pos] == 'l' || f[pos] == 'h' || f[pos] == 'z' || f[pos] == 'j')) ++pos;
  if (pos >= f.size()) return std::string_view::npos;
  conv.conversion = f[pos];
  return pos + 1;
}

// Pads `body` (sign already included) to the width. Zero padding goes after the sign and is
// not used for non-finite values or with left alignment, as in printf.
void append_padded(std::string& out, std::string_view body, const Conversion& conv, bool numeric,
                   bool finite) {
  const std::size_t width = static_cast<std::size_t>(conv.width);
  if (body.size() >= width) {
    out += body;
    return;
  }
  const std::size_t fill = width - body.size();
  if (conv.left) {
    out += body;
    out.append(fill, ' ');
  } else if (conv.zero && numeric && finite) {
    std::size_t sign = (!body.empty() && (body[0] == '-' || body[0] == '+' || body[0] == ' ')) ? 1 : 0;
    out += body.substr(0, sign);
    out.append(fill, '0');
    out += body.substr(sign);
  } else {
    out.append(fill, ' ');
    out += body;
  }
}

void append_real(std::string& out, double value, const Conversion& conv) {
  // 1e308 with 6 decimals needs about 320 characters; precision is capped to stay in the buffer.
  std::array<char, 720> buf{};
  std::size_t used = 0;
  if (!std::signbit(value)) {
    if (conv.plus) {
      buf[used++] = '+';
    } else if (conv.space) {
      buf[used++] = ' ';
    }
  }
  const int precision = conv.precision < 0 ? 6 : (conv.precision > 350 ? 350 : conv.precision);
  auto result =
      std::to_chars(buf.data() + used, buf.data() + buf.size(), value, std::chars_format::fixed, precision);
  if (result.ec != std::errc()) return;
  std::string body(buf.data(), result.ptr);
  if (conv.conversion == 'F') {
    for (char& c : body) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  }
  append_padded(out, body, conv, true, std::isfinite(value));
}

void append_integer(std::string& out, std::int64_t value, const Conversion& conv) {
  std::array<char, 32> buf{};
  std::size_t used = 0;
  if (value >= 0) {
    if (conv.plus) {
      buf[used++] = '+';
    } else if (conv.space) {
      buf[used++] = ' ';
    }
  }
  auto result = std::to_chars(buf.data() + used, buf.data() + buf.size(), value);
  append_padded(out, std::string_view(buf.data(), static_cast<std::size_t>(result.ptr - buf.data())), conv,
                true, true);
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
    if (conv.conversion == '%') {
      out += '%';
      continue;
    }
    if (next == args.end()) continue;
    const LogArg& arg = *next++;
    switch (conv.conversion) {
      case 'f':
      case 'F':
        if (arg.kind() == LogArg::Kind::Text) {
          append_padded(out, arg.text(), conv, false, true);
        } else {
          append_real(out, arg.real(), conv);
        }
        break;
      case 'd':
      case 'i':
      case 'u':
        if (arg.kind() == LogArg::Kind::Text) {
          append_padded(out, arg.text(), conv, false, true);
        } else {
          append_integer(out, arg.integer(), conv);
        }
        break;
      case 's':
        if (arg.kind() == LogArg::Kind::Text) {
          std::string_view text = arg.text();
          if (conv.precision >= 0 && static_cast<std::size_t>(conv.precision) < text.size()) {
            text = text.substr(0, static_cast<std::size_t>(conv.precision));
          }
          append_padded(out, text, conv, false, true);
        } else if (arg.kind() == LogArg::Kind::Integer) {
          append_integer(out, arg.integer(), Conversion{conv.left, false, false, false, conv.width, -1, 'd'});
        } else {
          append_real(out, arg.real(), Conversion{conv.left, false, false, false, conv.width, -1, 'f'});
        }
        break;
      default:
        // Unknown conversions are written back verbatim so that a mistake stays visible in the log.
        out += format.substr(percent, after - percent);
        break;
    }
  }
  return out;
}

}  // namespace orvex::core
