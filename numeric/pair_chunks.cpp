#include "numeric/pair_chunks.h"

namespace orvex::numeric {

std::vector<std::size_t> pair_chunk_rows(std::size_t n, std::uint64_t pairs_per_chunk) {
  std::vector<std::size_t> starts{0};
  std::uint64_t in_chunk = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    in_chunk += n - 1 - i;
    if (in_chunk >= pairs_per_chunk) {
      starts.push_back(i + 1);
      in_chunk = 0;
    }
  }
  if (starts.back() < n) starts.push_back(n);
  return starts;
}

}  // namespace orvex::numeric
