#include "host/fixed_chunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/worker_threads.h"

namespace orvex::host {
namespace {

TEST(WorkerThreads, ReadsTheHostSettingAndClampsIt) {
  const unsigned hardware = std::clamp(std::thread::hardware_concurrency(), 1U, kMaxWorkerThreads);
  const struct {
    const char* setting;
    unsigned requested;
    unsigned expected;
  } cases[] = {
      {"3", 0, 3},
      {"0", 0, hardware},
      {"x7", 0, hardware},
      {"7x", 0, hardware},
      {"3", 2, 2},
      {"999", 0, kMaxWorkerThreads},
      {"3", 99, kMaxWorkerThreads},
  };
  for (const auto& c : cases) {
    ::setenv(kWorkerThreadsVariable, c.setting, 1);
    EXPECT_EQ(workerThreads(c.requested), c.expected) << c.setting << " " << c.requested;
  }
  ::unsetenv(kWorkerThreadsVariable);
  EXPECT_EQ(workerThreads(), hardware);
}

TEST(FixedChunks, RunsEveryChunkOnceAndRethrowsTheFirstError) {
  for (unsigned threads : {1U, 4U}) {
    std::vector<int> runs(100, 0);
    runFixedChunks(runs.size(), threads, [&](std::size_t c) { ++runs[c]; });
    EXPECT_EQ(runs, std::vector<int>(100, 1)) << threads << " threads";
    EXPECT_THROW(runFixedChunks(8, threads,
                                [](std::size_t c) {
                                  if (c == 5) throw std::runtime_error("chunk 5");
                                }),
                 std::runtime_error);
  }
}

}  // namespace
}  // namespace orvex::host
