#pragma once

// What a command run produced, as data: every output it wrote and every item that failed, was
// cancelled or was skipped, with the values the command knows about each. Commands report
// here as they go; hosts list the records (the command line's report and --json summary, a
// desktop host's results panel, plots, tests) without reading back titles or folders.
//
// A command reports through `Application::runRecord()`. Reporting never changes what a
// command does or shows: the messages and files its design fixes stay as they are.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/progress.h"

namespace orvex::host {

/// What kind of file an output is.
enum class OutputKind {
  Shapefile,  ///< a vector layer (a .shp and its companions, or a layer of a GeoPackage)
  Raster,     ///< a raster dataset (a GeoTIFF)
  Log,        ///< a text log of the run
  Settings,   ///< a settings file
  Table,      ///< a text table (CSV)
  Picture,    ///< an image (SVG, PNG)
  Other,
};

/// The lower-case name of a kind ("shapefile", "raster", "log", "settings", "table",
/// "picture", "other"), as summaries write it.
std::string_view outputKindName(OutputKind kind);

/// One point of a cross-validation profile: the score of a bandwidth.
struct ProfilePoint {
  double h = 0.0;
  double score = 0.0;
};

/// The values a command knows about the thing an output or a failure stands for. A value the
/// command does not know, or that has no meaning for it, stays empty.
struct RecordValues {
  std::string inputLayer{};            ///< the map layer the item was made from
  std::string animal{};                ///< the animal (unique-ID value) the item is for
  std::optional<double> percentage{};  ///< MCP percentage of fixes, or isopleth volume percentage
  std::optional<double> h{};           ///< the bandwidth used (in the units the command works in)
  std::optional<double> href{};        ///< the reference bandwidth
  /// The entry of the command's h list the item stands for, as the user gave it (a proportion
  /// of href when the command works in proportions); `h` is the bandwidth that came of it.
  std::optional<double> hListed{};
  std::optional<bool> minimised{};      ///< a bandwidth search: whether it found a minimum
  std::vector<ProfilePoint> profile{};  ///< a bandwidth search: the scores it computed, in order
  std::optional<double> sigma1{};       ///< a Brownian bridge: its diffusion parameter
  std::optional<double> sigma2{};       ///< a Brownian bridge: the location error (map units)
  std::vector<double> areas{};          ///< the areas of the output's polygons, in feature order
  /// The decimals the output's table keeps of each area (it holds each one rounded to them);
  /// empty when it holds them as computed.
  std::optional<int> areaDecimals{};
  /// A matrix between animals (an overlap index): its name, whether it is conditional, the
  /// animals in row and column order and the rows.
  std::string tableIndex{};
  std::optional<bool> conditional{};
  std::vector<std::string> animals{};
  std::vector<std::vector<double>> matrix{};
};

/// One output a command wrote, reported after it was written completely.
struct OutputRecord {
  std::filesystem::path path{};  ///< the file (a shapefile's .shp, a raster's .tif)
  OutputKind kind = OutputKind::Other;
  std::string layer{};                     ///< the layer or dataset name, where the file has one
  std::optional<std::int64_t> features{};  ///< the number of features of a vector output
  std::optional<int> columns{};            ///< the number of columns of a raster output
  std::optional<int> rows{};               ///< the number of rows of a raster output
  RecordValues values{};
};

/// How an item ended without its output.
enum class FailureKind {
  Failed,     ///< an error stopped it
  Cancelled,  ///< the user (or a script) cancelled it, e.g. a save dialog answered Cancel
  Skipped,    ///< the command passed it over by design (a layer of lines, a layer with no fixes)
};

/// The lower-case name of a failure kind ("failed", "cancelled", "skipped").
std::string_view failureKindName(FailureKind kind);

/// One item of a run that produced no output: an input file, a layer, an animal, one h of a
/// list.
struct FailureRecord {
  std::string item{};    ///< what it was, as a person names it ("collar_b.mdb", "h = 0.5")
  std::string reason{};  ///< why, one sentence
  FailureKind kind = FailureKind::Failed;
  std::filesystem::path path{};  ///< the input or intended output file, when there is one
  RecordValues values{};
};

/// The record of the runs of an application: filled by the commands, read by the host. Not
/// thread-safe: commands report from the thread that runs them.
class RunRecord {
 public:
  /// Adds an output; a second report of the same path replaces the first (a file written
  /// again in the same run is one output).
  void output(OutputRecord record);
  /// Adds a failed, cancelled or skipped item.
  void failure(FailureRecord record);
  /// Adds a warning: something the run did that its user should look at although nothing
  /// failed (one sentence; hosts show it beside the command's own messages).
  void warning(std::string text) { warnings_.push_back(std::move(text)); }

  const std::vector<OutputRecord>& outputs() const { return outputs_; }
  const std::vector<FailureRecord>& failures() const { return failures_; }
  const std::vector<std::string>& warnings() const { return warnings_; }
  /// True when some item failed or was cancelled (skipped items do not count: a command skips
  /// by design, and a host decides whether that matters to it).
  bool anyFailed() const;
  /// Forgets every record (a host reusing its application for a new run).
  void clear();

  /// The progress function of the current run, for a command's long-running steps; an empty
  /// function when the host wants none. Sub-steps take sub-ranges with `scaledProgress`;
  /// when it returns false the user asked to stop and the command ends as cancelled.
  const ProgressFn& progress() const { return progress_; }
  void setProgress(ProgressFn progress) { progress_ = std::move(progress); }
  /// Reports `fraction` of the run through `progress()`; true without a progress function.
  bool report(double fraction, std::string_view message) const;

 private:
  std::vector<OutputRecord> outputs_;
  std::vector<FailureRecord> failures_;
  std::vector<std::string> warnings_;
  ProgressFn progress_;
};

}  // namespace orvex::host
