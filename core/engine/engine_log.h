#pragma once
// The kernel engine's diagnostic log: one plain-text file, "logfile" in the temporary folder.

#include <filesystem>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "core/engine/log_format.h"

namespace orvex::core {

/// A handle on the process-wide log stream of one path.
///
/// Every engine alive at the same time writes to the same file. The first handle acquired for a
/// path opens (and truncates) the file; later handles share that stream, so lines from several
/// engines interleave in the order they are written and none overwrites another. The file is
/// closed when the last handle for it is released; the next acquisition truncates it again.
///
/// A default-constructed handle, or one for which no candidate could be opened, drops every
/// line: the engine runs without a log rather than failing.
///
/// Every write is flushed at once, so the file is complete at any moment the engine is not
/// inside a write. Handles may be used from several threads; each write is atomic per line.
class EngineLog {
 public:
  EngineLog() = default;
  ~EngineLog();
  EngineLog(const EngineLog&) = delete;
  EngineLog& operator=(const EngineLog&) = delete;
  EngineLog(EngineLog&& other) noexcept;
  EngineLog& operator=(EngineLog&& other) noexcept;

  /// The log file candidates, in order: $TEMP/logfile, $TMPDIR/logfile, /tmp/logfile (an
  /// empty or unset variable is skipped).
  static std::vector<std::filesystem::path> default_candidates();

  /// Shares the stream already open for the first candidate that has one, or else opens the
  /// first candidate that can be created or is a regular file of the user's own (a symbolic
  /// link or another user's file there is skipped, never written). Returns a dropping handle
  /// when none can.
  static EngineLog open_shared(const std::vector<std::filesystem::path>& candidates);

  bool is_open() const { return file_ != nullptr; }
  /// The file written to; empty when the handle drops its lines.
  std::filesystem::path path() const;

  /// Writes `text` as it is.
  void write(std::string_view text);
  /// Writes a printf-style line, formatted independently of the C locale (format_log_text).
  void print(std::string_view format, std::initializer_list<LogArg> args);

  struct SharedFile;

 private:
  explicit EngineLog(SharedFile* file) : file_(file) {}
  void release();

  SharedFile* file_ = nullptr;
};

}  // namespace orvex::core
