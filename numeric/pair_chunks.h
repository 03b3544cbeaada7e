#pragma once
// The one way the pair passes (exact pair sums, pair moments) cut the pairs (i, j), i < j, of n
// fixes into chunks: whole rows i, about the same number of pairs each. The cut depends only on
// n and the chunk size, never on the thread count, so sums added chunk by chunk in chunk order
// are the same bits on any number of threads.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvex::numeric {

/// The first row of every chunk of a pair pass over n fixes, then n: chunk c holds rows
/// [starts[c], starts[c + 1]), each chunk but the last at least `pairs_per_chunk` pairs (a
/// value of 0 counts as 1). n < 2 gives {0, n} (one chunk without pairs) or {0} for n = 0.
std::vector<std::size_t> pair_chunk_rows(std::size_t n, std::uint64_t pairs_per_chunk);

}  // namespace orvex::numeric
