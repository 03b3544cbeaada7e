#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvex::host {

/// Error text when the list holds nothing.
inline constexpr const char* kNoDataEntered = "No data entered";

/// How a form reads its comma-separated number lists (percentages, bandwidths).
struct NumberListOptions {
  /// One comma at the end is ignored ("95 , 90 ," gives 95 and 90), as the MCP options and the
  /// kernel bandwidth page read their lists; otherwise it leaves an empty piece.
  bool allowFinalComma = true;
  /// Every piece must be wholly a number, blanks around it allowed (the KDE dialog's lists).
  /// Otherwise a piece reads as its longest leading decimal number, 0 when it has none ("95x"
  /// gives 95, "abc" gives 0).
  bool wholeNumbers = false;
};

/// The KDE dialog's reading: every piece a number, no trailing comma.
inline constexpr NumberListOptions kWholeNumberList{.allowFinalComma = false, .wholeNumbers = true};

/// A parsed comma-separated number list.
struct NumberList {
  /// The numbers in written order; empty when the text gave no list.
  std::vector<double> values{};
  /// Why there is no list: "No data entered", or "Text entered (<piece>) is not a valid numeric
  /// value" for a piece that cannot be read. Empty when a list was returned.
  std::string errorText{};

  int count() const { return static_cast<int>(values.size()); }
  bool empty() const { return values.empty(); }
  bool ok() const { return errorText.empty(); }
};

/// Reads "95, 90,50" into {95, 90, 50}, independently of the process locale.
///
/// - White space around the text and around each piece is ignored.
/// - Nothing left (an empty text; a lone comma when a final comma is allowed): no list,
///   "No data entered".
/// - An empty piece between commas ("95,,90"), or with `wholeNumbers` a piece that is not a
///   number: no list at all, the error text quoting the piece.
NumberList parseNumberList(std::string_view text, const NumberListOptions& options = {});

}  // namespace orvex::host
