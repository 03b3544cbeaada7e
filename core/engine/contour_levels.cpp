#include "core/engine/contour_levels.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <numeric>

namespace orvex::core {

namespace {

constexpr std::array<double, 9> kDefaultLevels{0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1};

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

void reset_contour_levels(std::array<double, kMaxContourLevels>& levels, std::int32_t& count) {
  levels.fill(0.0);
  std::copy(kDefaultLevels.begin(), kDefaultLevels.end(), levels.begin());
  count = static_cast<std::int32_t>(kDefaultLevels.size());
}

DecimalPrefix read_decimal_prefix(std::string_view text, std::size_t pos) {
  DecimalPrefix none{0.0, pos};
  std::size_t p = pos;
  while (p < text.size() && is_c_space(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  // from_chars takes no '+' and a single '-': the sign is read here, the magnitude there.
  if (p >= text.size() || text[p] == '+' || text[p] == '-') return none;
  double value = 0.0;
  const char* first = text.data() + p;
  const auto result = std::from_chars(first, text.data() + text.size(), value, std::chars_format::general);
  if (result.ptr == first) return none;
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone here; strtod gives HUGE_VAL on overflow, 0 on underflow.
    const std::string_view digits(first, static_cast<std::size_t>(result.ptr - first));
    const std::size_t exponent = digits.find_first_of("eE");
    const bool underflow = exponent != std::string_view::npos
                               ? (exponent + 1 < digits.size() && digits[exponent + 1] == '-')
                               : (digits[0] == '0' || digits[0] == '.');
    value = underflow ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return DecimalPrefix{negative ? -value : value, static_cast<std::size_t>(result.ptr - text.data())};
}

void apply_contour_level_text(std::string_view text, std::array<double, kMaxContourLevels>& levels,
                              std::int32_t& count) {
  // The text ends at its first NUL, as a C string would.
  text = text.substr(0, text.find('\0'));
  if (read_decimal_prefix(text, 0).value == 0.0) {
    reset_contour_levels(levels, count);
    return;
  }
  std::int32_t appended = 0;
  std::size_t pos = 0;
  for (;;) {
    const DecimalPrefix number = read_decimal_prefix(text, pos);
    if (number.value > 0.0 && number.value <= 1.0 && appended < kMaxContourLevels) {
      levels[static_cast<std::size_t>(appended++)] = number.value;
      count = appended;
    }
    if (number.end >= text.size()) break;
    pos = number.end + 1;
  }
}

std::optional<double> volume_to_density(std::span<const double> sorted, std::int64_t walk_limit, double dx,
                                        double dy, float v) {
  const std::int64_t length = static_cast<std::int64_t>(sorted.size());
  if (walk_limit > length) walk_limit = length;
  auto density = [&](std::int64_t k) { return sorted[static_cast<std::size_t>(k)]; };
  auto cell_volume = [&](std::int64_t k) { return density(k) * dx * dy; };
  const double level = static_cast<double>(v);

  double sum = 0.0;
  std::int64_t p = 0;
  bool hit_zero = false;
  for (std::int64_t k = 0; k < walk_limit; ++k) {
    if (cell_volume(k) == 0.0) {
      p = k - 1;
      hit_zero = true;
      break;
    }
    sum += cell_volume(k);
    p = k + 1;
    if (sum > level) break;
  }
  if (p < 2) return std::nullopt;
  const double last_cell = hit_zero ? cell_volume(p) : cell_volume(p - 1);
  const double frac = (sum - level) / last_cell;
  double q = frac * density(p - 1) + (1.0 - frac) * density(p - 2);
  if (!(q > 0.0)) {
    // The table is descending, so the last positive entry is the smallest positive density at
    // or after p whenever there is one there at all.
    std::int64_t k = length - 1;
    while (k >= 0 && !(density(k) > 0.0)) --k;
    if (k < 0) return std::nullopt;
    q = density(k);
  }
  return q;
}

double density_to_volume(std::span<const double> sorted, double dx, double dy, double q) {
  if (sorted.empty()) return 0.0;
  const double area = static_cast<double>(static_cast<float>(dx * dy));
  double volume = area * sorted[0];
  for (std::size_t k = 1; k < sorted.size() && sorted[k] > q; ++k) volume += area * sorted[k];
  return volume;
}

void stable_descending_order(std::span<const double> densities, std::span<std::uint32_t> order) {
  std::iota(order.begin(), order.end(), std::uint32_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return densities[a] > densities[b]; });
}

}  // namespace orvex::core
