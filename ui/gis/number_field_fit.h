#pragma once

#include <span>

namespace orvex::ui::gis {

/// Widest number field a .dbf can hold, in characters.
inline constexpr int kMaxNumberFieldWidth = 254;

/// Width (characters, sign and decimal point included) and decimals of a number field.
struct NumberFieldFormat {
  int width = 0;
  int decimals = 0;
  bool operator==(const NumberFieldFormat&) const = default;
};

/// Characters the text "%.*f" of value takes with that many decimals. NaN and infinities,
/// which the field stores as null, take none.
int NumberTextWidth(double value, int decimals);

/// True when every value's text fits the format's width. A width of 0 (the platform's default,
/// not known here) fits everything.
bool FitsNumberField(NumberFieldFormat format, std::span<const double> values);

/// The smallest change to `requested` under which every value fits, so that a value is never
/// cut short or refused by the field: first the field is widened to the longest text (up to
/// kMaxNumberFieldWidth), and only when even that cannot hold a value are decimals given up.
/// A format that already fits, or a width of 0, comes back unchanged. A value too large for
/// kMaxNumberFieldWidth digits without decimals (beyond 1e253) cannot fit any .dbf field; the
/// result is then the widest field without decimals.
NumberFieldFormat FitNumberField(NumberFieldFormat requested, std::span<const double> values);

}  // namespace orvex::ui::gis
