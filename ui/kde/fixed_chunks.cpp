#include "ui/kde/fixed_chunks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace orvex::ui {

namespace {
std::atomic<unsigned> gThreadLimit{0};
}  // namespace

void SetWorkerThreadLimit(unsigned limit) { gThreadLimit.store(limit); }

unsigned WorkerThreadLimit() {
  const unsigned limit = gThreadLimit.load();
  if (limit != 0) return limit;
  return std::max(1U, std::thread::hardware_concurrency());
}

void RunFixedChunks(std::size_t chunkCount, const std::function<void(std::size_t)>& work) {
  if (chunkCount == 0) return;
  const std::size_t threads = std::min<std::size_t>(WorkerThreadLimit(), chunkCount);
  if (threads <= 1) {
    for (std::size_t c = 0; c < chunkCount; ++c) work(c);
    return;
  }

  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorMutex;
  auto drain = [&] {
    for (;;) {
      if (failed.load()) return;
      const std::size_t c = next.fetch_add(1);
      if (c >= chunkCount) return;
      try {
        work(c);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(errorMutex);
        if (!firstError) firstError = std::current_exception();
        failed.store(true);
      }
    }
  };

  std::vector<std::jthread> helpers;
  helpers.reserve(threads - 1);
  for (std::size_t t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(drain);
    } catch (const std::system_error&) {
      break;  // fewer threads only slow the work down; the chunks still all run
    }
  }
  drain();
  helpers.clear();  // joins
  if (firstError) std::rethrow_exception(firstError);
}

}  // namespace orvex::ui
