#include "host/fixed_chunks.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace orvex::host {

namespace {

unsigned hostThreadSetting() {
  const char* text = std::getenv(kWorkerThreadsVariable);
  unsigned value = 0;
  if (text != nullptr) {
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc{} || stop != end) value = 0;
  }
  return value != 0 ? value : std::thread::hardware_concurrency();
}

}  // namespace

unsigned workerThreads(unsigned requested) {
  const unsigned threads = requested != 0 ? requested : hostThreadSetting();
  return std::clamp(threads, 1U, kMaxWorkerThreads);
}

void runFixedChunks(std::size_t chunkCount, unsigned threads, const std::function<void(std::size_t)>& work) {
  if (chunkCount == 0) return;
  const std::size_t useThreads = std::min<std::size_t>(workerThreads(threads), chunkCount);
  if (useThreads <= 1) {
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
  helpers.reserve(useThreads - 1);
  for (std::size_t t = 1; t < useThreads; ++t) {
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

}  // namespace orvex::host
