#pragma once

// What one run of the command line produced, gathered from the records of every click of
// its command: the human report's last lines, the exit code and the --json summary.

#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/run_record.h"

namespace orvex::cli {

/// `text` as valid UTF-8: well-formed sequences kept, every other byte read as Latin-1 (0xE9
/// becomes U+00E9), so that a path or identifier in another code page is still told apart.
std::string validUtf8(std::string_view text);

class RunSummary {
 public:
  /// Adds the records of one click (one application). `inputs` (the files the command line
  /// was given, by name) qualify a failed item that names no file ("the run" becomes "the run
  /// on fixes.shp").
  void add(const host::RunRecord& record, const std::string& inputs = {});
  /// Adds the records of another summary (a step of the demo).
  void add(const RunSummary& other);
  /// Adds an output the command line wrote itself.
  void output(host::OutputRecord record) { outputs_.push_back(std::move(record)); }
  /// Adds an item that failed outside the command (an error that stopped the run).
  void failure(host::FailureRecord record) { failures_.push_back(std::move(record)); }

  const std::vector<host::OutputRecord>& outputs() const { return outputs_; }
  /// Removes the outputs and returns them (to add them back changed).
  std::vector<host::OutputRecord> takeOutputs() { return std::exchange(outputs_, {}); }
  const std::vector<host::FailureRecord>& failures() const { return failures_; }
  /// The failures that fail the run: every failed item, and skipped ones when
  /// `skippedFail`. Cancelled items (a save dialog answered Cancel, a file not replaced)
  /// were the user's choice and do not.
  std::vector<host::FailureRecord> failing(bool skippedFail) const;

  /// Writes one line per failing item ("orvex: nothing was written for <item>: <reason>")
  /// and, when any, a last line naming them all; returns `exitCode`, or 1 when some item
  /// failed and `exitCode` was 0.
  int finish(int exitCode, bool skippedFail, std::ostream& err) const;

  /// The summary as one JSON object: {"exit": code, "outputs": [...], "failures": [...]}, each
  /// output with "path", "kind", "layer", "features" and the values known ("animal",
  /// "percentage", "h", "href", "h_listed", "minimised", "profile" as [h, score] pairs,
  /// "areas"), each failure with "item", "kind", "reason", "path" and its values. Values
  /// the command did not know are left out.
  void writeJson(std::ostream& out, int exitCode) const;

 private:
  std::vector<host::OutputRecord> outputs_;
  std::vector<host::FailureRecord> failures_;
};

}  // namespace orvex::cli
