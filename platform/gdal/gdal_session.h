#pragma once

// Process-wide GDAL set-up and the translation of GDAL's error reports into the one error type
// that crosses the host boundary.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/status.h"

namespace orvex::platform::gdal {

/// Registers GDAL's drivers and installs the platform's error handler. Safe to call from any
/// entry point any number of times; the work happens once per process.
///
/// The handler keeps GDAL quiet: expected failures (opening a name that does not exist, probing
/// a dataset kind) would otherwise print to stderr. Messages are kept for the calling thread
/// and end up in the text of the error that the platform raises. Setting the environment
/// variable ORVEX_GDAL_DEBUG to a non-empty value also prints every message to stderr.
void ensureGdalReady();

/// Collects the GDAL errors and warnings raised on the current thread while it lives. Nested
/// collectors are allowed; messages go to the innermost one.
class ErrorCollector {
 public:
  ErrorCollector();
  ~ErrorCollector();
  ErrorCollector(const ErrorCollector&) = delete;
  ErrorCollector& operator=(const ErrorCollector&) = delete;

  /// True when GDAL reported at least one CE_Failure or CE_Fatal.
  bool failed() const noexcept { return failed_; }
  /// The collected messages, one per line, oldest first; empty when none.
  std::string text() const;

  // Called by the installed handler only.
  void record(bool isFailure, const char* message);

 private:
  ErrorCollector* outer_ = nullptr;
  std::vector<std::string> messages_;
  bool failed_ = false;
};

class FailedWriteSink;

/// Reports a file whose writing failed where nothing could be thrown to `sink` (none:
/// standard error).
void reportFailedWrite(const std::shared_ptr<FailedWriteSink>& sink, const std::filesystem::path& file,
                       const std::string& reason);

/// Throws host::Error with the given text and failure code.
[[noreturn]] void fail(const std::string& what, host::Status code = host::kDataError);

/// Throws the host's error type: `what`, then ": " and GDAL's own explanation when it gave one
/// (the collector's messages when given, else GDAL's last error on this thread).
[[noreturn]] void failWithGdal(const std::string& what, const ErrorCollector* collected = nullptr,
                               host::Status code = host::kDataError);

}  // namespace orvex::platform::gdal
