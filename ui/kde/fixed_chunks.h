#pragma once
// Runs the KDE tool's hot loops on a few threads without letting the thread count reach the
// numbers: the work is cut into chunks whose boundaries depend only on the problem size, each
// chunk writes its own result slot, and the caller combines the slots in chunk order.

#include <cstddef>
#include <functional>

namespace orvex::ui {

/// Calls work(chunk) once for every chunk in [0, chunkCount), on up to WorkerThreadLimit()
/// threads (the calling thread is one of them). Chunks may run in any order and
/// concurrently, so `work` must only write state owned by its chunk. The first exception
/// thrown by a chunk stops the hand-out of further chunks and is rethrown here once all
/// running chunks have returned.
void RunFixedChunks(std::size_t chunkCount, const std::function<void(std::size_t)>& work);

/// Caps the number of threads RunFixedChunks uses; 0 (the default) means the hardware
/// concurrency. Results never depend on it; tests set it to show that.
void SetWorkerThreadLimit(unsigned limit);
unsigned WorkerThreadLimit();

}  // namespace orvex::ui
