#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvex::host {

// Text helpers shared by both component libraries. Every conversion here is independent of
// the process locale: "0.5" reads as one half under a decimal-comma locale too.

/// The default text form of a number: the shortest decimal text that reads back to the same
/// double, without trailing zeros or a trailing point ("2", "0.1", "1234.5", "1e+20",
/// "-0.000125"). NaN gives "NaN", infinities "Infinity" and "-Infinity".
std::string numberText(double value);

/// Reads a decimal number the way the standard string-to-double conversion does: leading white
/// space skipped, then the longest prefix that forms a decimal floating-point number (sign,
/// digits, one point, an exponent). Returns 0 when there is no such prefix ("abc" -> 0,
/// "95x" -> 95, " -1.5e2 apples" -> -150). Hexadecimal, "inf" and "nan" are not numbers here.
double parseNumberPrefix(std::string_view text);

/// The number a whole text holds, surrounding white space allowed ("  42 " -> 42); nothing
/// when any other character is present or the text is empty.
std::optional<double> parseNumber(std::string_view text);

/// True when `parseNumber` would succeed.
bool isNumeric(std::string_view text);

/// printf-style formatting under the "C" locale whatever the process locale is (for the
/// design's formats "%0.1f", "%17.15f", "%10.2f%%"). Never truncates.
std::string cformat(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Removes spaces, tabs, carriage returns and line feeds at the ends.
std::string_view trim(std::string_view text);
std::string_view trimLeft(std::string_view text);
std::string_view trimRight(std::string_view text);

/// ASCII letter-case folding; other bytes (UTF-8 sequences) are kept as they are.
std::string toUpperAscii(std::string_view text);
std::string toLowerAscii(std::string_view text);

/// Equality ignoring ASCII letter case (ProgIDs, field names).
bool iequals(std::string_view a, std::string_view b);

/// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2),
/// as the 32-bit integer conversions of the design do.
double roundHalfEven(double value);

/// Rounds to `decimals` places (0 to 15), halves to even: the value is scaled by 10^decimals,
/// rounded with `roundHalfEven` and scaled back, so 0.125 -> 0.12 at 2 places. Values too large
/// to carry that many decimals are returned unchanged.
double roundHalfEven(double value, int decimals);

}  // namespace orvex::host
