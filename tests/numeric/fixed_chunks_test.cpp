#include "numeric/fixed_chunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <vector>

namespace orvex::numeric {
namespace {

TEST(WorkerThreads, TakesTheRequestAndClampsIt) {
  const unsigned hardware = std::clamp(std::thread::hardware_concurrency(), 1U, kMaxWorkerThreads);
  const struct {
    unsigned requested;
    unsigned expected;
  } cases[] = {{0, hardware}, {1, 1}, {3, 3}, {99, kMaxWorkerThreads}};
  for (const auto& c : cases) EXPECT_EQ(worker_threads(c.requested), c.expected) << c.requested;
}

TEST(FixedChunks, RunsEveryChunkOnceAndRethrowsTheFirstError) {
  for (unsigned threads : {1U, 4U}) {
    std::vector<int> runs(100, 0);
    run_fixed_chunks(runs.size(), threads, [&](std::size_t c) { ++runs[c]; });
    EXPECT_EQ(runs, std::vector<int>(100, 1)) << threads << " threads";
    EXPECT_THROW(run_fixed_chunks(8, threads,
                                  [](std::size_t c) {
                                    if (c == 5) throw std::runtime_error("chunk 5");
                                  }),
                 std::runtime_error);
  }
}

}  // namespace
}  // namespace orvex::numeric
