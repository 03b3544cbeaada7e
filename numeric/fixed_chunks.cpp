#include "numeric/fixed_chunks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace orvex::numeric {

unsigned worker_threads(unsigned requested) {
  const unsigned threads = requested != 0 ? requested : std::thread::hardware_concurrency();
  return std::clamp(threads, 1U, kMaxWorkerThreads);
}

void run_fixed_chunks(std::size_t chunk_count, unsigned threads,
                      const std::function<void(std::size_t)>& work) {
  if (chunk_count == 0) return;
  const std::size_t use_threads = std::min<std::size_t>(worker_threads(threads), chunk_count);
  if (use_threads <= 1) {
    for (std::size_t c = 0; c < chunk_count; ++c) work(c);
    return;
  }

  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr first_error;
  std::mutex error_mutex;
  auto drain = [&] {
    for (;;) {
      if (failed.load()) return;
      const std::size_t c = next.fetch_add(1);
      if (c >= chunk_count) return;
      try {
        work(c);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(error_mutex);
        if (!first_error) first_error = std::current_exception();
        failed.store(true);
      }
    }
  };

  std::vector<std::jthread> helpers;
  helpers.reserve(use_threads - 1);
  for (std::size_t t = 1; t < use_threads; ++t) {
    try {
      helpers.emplace_back(drain);
    } catch (const std::system_error&) {
      break;  // fewer threads only slow the work down; the chunks still all run
    }
  }
  drain();
  helpers.clear();  // joins
  if (first_error) std::rethrow_exception(first_error);
}

}  // namespace orvex::numeric
