// libFuzzer target for the number-list reader in both of its readings. A list is either read
// or refused with a reason, never both; a list read leniently has one value per piece.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/number_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvex::host;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const NumberListOptions& options : {NumberListOptions{}, kWholeNumberList}) {
    const NumberList list = parseNumberList(text, options);
    if (list.ok() == list.values.empty()) std::abort();
  }
  const NumberList lenient = parseNumberList(text);
  if (lenient.ok()) {
    const auto commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
    if (lenient.values.size() != commas + 1 && lenient.values.size() != commas) std::abort();
  }
  return 0;
}
