#include "host/number_list.h"

#include <algorithm>

#include "host/text.h"

namespace orvex::host {

NumberList parseNumberList(std::string_view text, const NumberListOptions& options) {
  NumberList list;
  list.errorText = kNoDataEntered;

  std::string_view rest = trim(text);
  if (options.allowFinalComma && !rest.empty() && rest.back() == ',')
    rest = trimRight(rest.substr(0, rest.size() - 1));
  if (rest.empty()) return list;

  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(std::count(rest.begin(), rest.end(), ',')) + 1);
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view piece = trim(rest.substr(0, comma));
    const auto whole = options.wholeNumbers ? parseNumber(piece) : std::optional<double>{};
    if (piece.empty() || (options.wholeNumbers && !whole)) {
      list.errorText = "Text entered (" + std::string(piece) + ") is not a valid numeric value";
      return list;
    }
    values.push_back(options.wholeNumbers ? *whole : parseNumberPrefix(piece));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  list.values = std::move(values);
  list.errorText.clear();
  return list;
}

}  // namespace orvex::host
