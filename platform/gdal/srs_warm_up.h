#pragma once

// Getting PROJ ready on a helper thread while a command still prepares its input.
//
// The first reading of a coordinate system in a process opens PROJ's database and parses its
// schema: some 15 to 20 ms that every thread of the process shares. A helper thread that pays
// it early takes it off the thread that later writes the outputs. What PROJ keeps per thread
// (a context with its prepared statements and caches) cannot be shared, so the helper makes
// and drops objects of its own only: no PROJ or OGR object crosses threads, only texts. It also
// reads back the .prj text a shapefile writer gives the reference, so that the check after a
// shapefile is written finds the answer known (`prjLinesRead`).

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace orvex::platform::gdal {

/// One helper thread at a time, joined when the object ends.
class SrsWarmUp {
 public:
  SrsWarmUp() = default;
  /// Lets the helper end after the step under way and joins it: a process that ends right
  /// after a hint waits at most for that step (the longest, the first reading in a process,
  /// takes some 20 ms). A hint is given when rasters will follow, so that is a failed run.
  ~SrsWarmUp();
  SrsWarmUp(const SrsWarmUp&) = delete;
  SrsWarmUp& operator=(const SrsWarmUp&) = delete;

  /// Starts the warm-up for a reference in WKT (any text `srsFromWkt` reads) and returns at
  /// once. Ignored while a warm-up runs and for a text already warmed up. Failures are
  /// swallowed: the thread that needs the reference meets them itself.
  void start(std::string wkt);

  /// Waits for the helper, if any.
  void finish();

 private:
  std::mutex mutex_;
  std::thread helper_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::set<std::string> started_;
};

}  // namespace orvex::platform::gdal
