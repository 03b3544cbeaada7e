#pragma once
// The one fixed-chunk runner of both component libraries. Work is cut into a number of chunks
// that depends only on the problem, never on the thread count; each chunk computes the same
// values whichever thread runs it, so results are bit-identical with 1 or many threads as long
// as each chunk writes its own outputs and reductions add the chunk results in chunk order.
//
// The thread count comes from the caller: the application reads its setting once and hands it
// down; nothing here reads the environment.

#include <cstddef>
#include <functional>

namespace orvex::numeric {

/// Upper bound on the threads one loop uses.
inline constexpr unsigned kMaxWorkerThreads = 16;

/// Threads for a request: a positive `requested` is taken as it is, 0 means one per hardware
/// thread. Always 1 .. kMaxWorkerThreads.
unsigned worker_threads(unsigned requested);

/// Calls work(c) once for every c in [0, chunk_count), on up to worker_threads(threads) threads
/// (the calling thread included). Chunks may run in any order and concurrently, so `work` must
/// only write state owned by its chunk. The first exception thrown by a chunk stops the hand-out
/// of further chunks and is rethrown here once all running chunks have returned. If threads
/// cannot be started the remaining chunks run on the calling thread.
void run_fixed_chunks(std::size_t chunk_count, unsigned threads,
                      const std::function<void(std::size_t)>& work);

}  // namespace orvex::numeric
