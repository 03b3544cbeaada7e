#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvex::core {

/// Error text when the list holds nothing.
inline constexpr const char* kNoDataEntered = "No data entered";

/// A parsed comma-separated number list (percentages, bandwidths).
struct NumberList {
  /// The numbers in written order; empty when the text gave no list.
  std::vector<double> values{};
  /// Why there is no list: "No data entered", or "Text entered (<piece>) is not a valid numeric
  /// value" for an empty piece. Empty when a list was returned.
  std::string errorText{};

  int count() const { return static_cast<int>(values.size()); }
  bool empty() const { return values.empty(); }
};

/// Reads "95, 90,50" into {95, 90, 50}.
///
/// - White space around the text and around each piece is ignored, and so is one comma at the
///   end ("95 , 90 ," gives 95 and 90).
/// - Nothing left (an empty text, a lone comma): no list, "No data entered".
/// - An empty piece between commas ("95,,90"): no list at all, with the error text quoting
///   the (empty) piece.
/// - A piece is read as its longest leading decimal number, 0 when it has none ("95x" gives 95,
///   "abc" gives 0), independently of the process locale.
NumberList parseNumberList(std::string_view text);

}  // namespace orvex::core
