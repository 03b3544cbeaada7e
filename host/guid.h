#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::host {

/// A 128-bit class or category identifier, written "{B56A7C42-83D4-11D2-A2E9-080009B6F22B}".
/// Bytes are kept in the order the hexadecimal digits are written.
struct Guid {
  std::array<std::uint8_t, 16> bytes{};

  /// Reads the braced form, or the same without braces; hex digits in either letter case.
  static constexpr std::optional<Guid> parse(std::string_view text);

  /// The braced, upper-case form.
  std::string toString() const;
  constexpr bool isNull() const {
    for (auto b : bytes)
      if (b != 0) return false;
    return true;
  }

  constexpr bool operator==(const Guid&) const = default;
  constexpr auto operator<=>(const Guid&) const = default;
};

/// A GUID from a literal, checked at compile time: `guid("{...}")`.
consteval Guid guid(std::string_view text);

// --- implementation of the constexpr parts ---

namespace detail {
constexpr int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace detail

constexpr std::optional<Guid> Guid::parse(std::string_view text) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return std::nullopt;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return std::nullopt;
  Guid result;
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int high = detail::hexDigit(text[i]);
    const int low = detail::hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    result.bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  return result;
}

consteval Guid guid(std::string_view text) {
  auto parsed = Guid::parse(text);
  if (!parsed) throw "invalid GUID literal";  // a compile-time error in constant evaluation
  return *parsed;
}

}  // namespace orvex::host
