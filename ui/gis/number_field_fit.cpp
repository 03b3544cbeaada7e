#include "ui/gis/number_field_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvex::ui::gis {

namespace {

int LongestText(std::span<const double> values, int decimals) {
  int longest = 0;
  for (const double v : values) longest = std::max(longest, NumberTextWidth(v, decimals));
  return longest;
}

}  // namespace

int NumberTextWidth(double value, int decimals) {
  if (!std::isfinite(value)) return 0;
  // snprintf with no buffer reports the length "%.*f" needs; the digits themselves do not
  // depend on the locale, and the decimal separator is one character in every locale.
  const int n = std::snprintf(nullptr, 0, "%.*f", std::max(decimals, 0), value);
  return std::max(n, 0);
}

bool FitsNumberField(NumberFieldFormat format, std::span<const double> values) {
  if (format.width <= 0) return true;
  return LongestText(values, format.decimals) <= format.width;
}

NumberFieldFormat FitNumberField(NumberFieldFormat requested, std::span<const double> values) {
  if (FitsNumberField(requested, values)) return requested;
  NumberFieldFormat fitted = requested;
  fitted.decimals = std::max(fitted.decimals, 0);
  int longest = LongestText(values, fitted.decimals);
  while (longest > kMaxNumberFieldWidth && fitted.decimals > 0) {
    --fitted.decimals;
    longest = LongestText(values, fitted.decimals);
  }
  fitted.width = std::max(requested.width, std::min(longest, kMaxNumberFieldWidth));
  return fitted;
}

}  // namespace orvex::ui::gis
