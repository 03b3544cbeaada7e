#include "core/engine/parallel.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace orvex::core {

unsigned resolve_worker_threads(unsigned requested) {
  unsigned threads = requested != 0 ? requested : std::thread::hardware_concurrency();
  if (threads == 0) threads = 1;
  return threads > kMaxWorkerThreads ? kMaxWorkerThreads : threads;
}

void run_chunks(std::size_t chunk_count, unsigned threads, const std::function<void(std::size_t)>& chunk) {
  if (chunk_count == 0) return;
  if (threads <= 1 || chunk_count == 1) {
    for (std::size_t c = 0; c < chunk_count; ++c) chunk(c);
    return;
  }
  std::atomic<std::size_t> next{0};
  auto worker = [&]() {
    for (std::size_t c = next.fetch_add(1); c < chunk_count; c = next.fetch_add(1)) chunk(c);
  };
  const std::size_t helpers = (threads - 1 < chunk_count - 1) ? threads - 1 : chunk_count - 1;
  std::vector<std::thread> pool;
  pool.reserve(helpers);
  try {
    for (std::size_t t = 0; t < helpers; ++t) pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // Fewer helpers than asked for: the chunks still all run, only more slowly.
  }
  worker();
  for (auto& thread : pool) thread.join();
}

}  // namespace orvex::core
