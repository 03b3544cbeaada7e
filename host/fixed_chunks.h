#pragma once
// The one fixed-chunk runner of both component libraries. Work is cut into a number of chunks
// that depends only on the problem, never on the thread count; each chunk computes the same
// values whichever thread runs it, so results are bit-identical with 1 or many threads as long
// as each chunk writes its own outputs and reductions add the chunk results in chunk order.

#include <cstddef>
#include <functional>

namespace orvex::host {

/// Upper bound on the threads one loop uses.
inline constexpr unsigned kMaxWorkerThreads = 16;

/// The environment variable through which a host (the CLI, a test, a desktop setting) sets the
/// thread count of the components: a positive integer; unset, empty, 0 or unreadable means one
/// per hardware thread.
inline constexpr const char* kWorkerThreadsVariable = "ORVEX_THREADS";

/// Threads for a request: a positive `requested` is taken as it is; 0 means the host's setting
/// (kWorkerThreadsVariable, read at each call), else one per hardware thread. Always 1 ..
/// kMaxWorkerThreads.
unsigned workerThreads(unsigned requested = 0);

/// Calls work(c) once for every c in [0, chunkCount), on up to workerThreads(threads) threads
/// (the calling thread included). Chunks may run in any order and concurrently, so `work` must
/// only write state owned by its chunk. The first exception thrown by a chunk stops the hand-out
/// of further chunks and is rethrown here once all running chunks have returned. If threads
/// cannot be started the remaining chunks run on the calling thread.
void runFixedChunks(std::size_t chunkCount, unsigned threads, const std::function<void(std::size_t)>& work);

}  // namespace orvex::host
