#pragma once
// A fixed-chunk parallel loop. Work is cut into a number of chunks that depends only on the
// problem, never on the thread count; each chunk computes the same values whichever thread runs
// it, so results are bit-identical with 1 or many threads as long as each chunk writes its own
// outputs and reductions add the chunk results in chunk order.

#include <cstddef>
#include <functional>

namespace orvex::core {

/// Threads to use for a request: 0 means one per hardware thread, capped at kMaxWorkerThreads.
unsigned resolve_worker_threads(unsigned requested);

inline constexpr unsigned kMaxWorkerThreads = 16;

/// Calls chunk(c) once for every c in [0, chunk_count), on up to `threads` threads (the calling
/// thread included). Returns when all chunks are done. If threads cannot be started the
/// remaining chunks run on the calling thread. `chunk` must not throw.
void run_chunks(std::size_t chunk_count, unsigned threads, const std::function<void(std::size_t)>& chunk);

}  // namespace orvex::core
