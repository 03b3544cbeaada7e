#pragma once
// The analysis log of a KDE batch run, "TALVO_KDE_ANALYSIS.txt" in the output folder: the
// file (created, or appended to behind a separator) and the text of its sections.
//
// Lines end with CR LF. Numbers are written in the default number text (host::numberText).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/kde/cls_lscv.h"
#include "ui/kde/kde_batch.h"
#include "ui/kde/kde_settings.h"

namespace orvex::ui {

/// Written between two runs' sections of one log: 3 empty lines, this line, 3 empty lines.
inline constexpr std::size_t kLogSeparatorWidth = 60;

/// The open log of one run.
class AnalysisLog {
 public:
  /// Opens folder/TALVO_KDE_ANALYSIS.txt. An existing log is appended to and first receives 3
  /// empty lines, 60 "=" and 3 empty lines; otherwise the file is created.
  /// @throws host::Error (kPathNotFound) when the file cannot be opened.
  explicit AnalysisLog(const std::filesystem::path& folder);
  ~AnalysisLog();
  AnalysisLog(const AnalysisLog&) = delete;
  AnalysisLog& operator=(const AnalysisLog&) = delete;

  /// Writes the lines, each followed by CR LF, as one block: when the block cannot be written
  /// whole the log is cut back to the end of the previous block (removed when this run created
  /// it and wrote no block) and no later write succeeds. @throws host::Error (kDataError).
  void write(const std::vector<std::string>& lines);
  void write(std::string_view line);
  /// Closes the file. @throws host::Error (kDataError) when the text could not be written.
  void close();
  /// Undoes this run's writing: the log is cut back to what it held before the run, or
  /// removed when the run created it. A previous run's section is never lost.
  void discard();

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::ofstream out_;
  std::optional<std::uintmax_t> sizeBefore_;  // nothing: created by this run
  std::uintmax_t length_ = 0;                 // the bytes of whole blocks in the file
};

/// What the first section of a run's log needs besides the settings.
struct LogRunInfo {
  std::string startTime{};  ///< "Now" at the start
  const KdeAnimalData* data = nullptr;
  /// The independence table when calculated (ID, count, Schoener, Swihart_Slade).
  const std::vector<std::vector<std::string>>* independenceRows = nullptr;
  /// The variance table (ID, count, sd x, sd y, ratio).
  const std::vector<std::vector<std::string>>* varianceRows = nullptr;
};

/// Lines from "TALVO KERNEL DENSITY ANALYSIS" to the four output lines ("Output folder: ",
/// "Raster prefix name: ", "Raster cell size: ", "Scaling factor: ").
std::vector<std::string> LogHeaderLines(const KdeSettings& settings, const LogRunInfo& info);

/// The extent line, the isopleth line, an empty line and "Case specific settings:".
std::vector<std::string> LogExtentLines(const KdeSettings& settings);

/// What the block of one animal (and one bandwidth value) reports.
struct LogAnimalBlock {
  std::string uniqueId{};                  ///< column 0, or the text ID for text fields
  std::optional<std::int32_t> namingId{};  ///< text fields only: the numeric naming ID
  int sampleSize = 0;
  double bandwidth = 0.0;  ///< as the calculator stores it (rescaled units under rescaling)
  double href = 0.0;
  KdeBandwidthChoice estimator = KdeBandwidthChoice::Lscv;
  bool minimized = false;
  /// The search failed (code 2900): no minimisation line, since no bandwidth was chosen.
  bool searchFailed = false;
  bool verbose = false;
  std::optional<CrossValidationProfile> profile{};
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  double originX = 0.0;
  double originY = 0.0;
  std::string rasterName{};
  std::int32_t errorStatus = 0;
  double volume = 0.0;
  std::string scalingText{};
  std::string warnings{};  ///< the calculator's messages, each ended by a carriage return
};

/// The block of one animal, ending with an empty line. The calculator's messages are written
/// one per line.
std::vector<std::string> LogAnimalLines(const LogAnimalBlock& block);

/// The closing lines: the isopleth warning when raised, "Finish time: ", "Processing
/// complete" and an empty line.
std::vector<std::string> LogClosingLines(const std::optional<std::string>& isoplethWarning,
                                         const std::string& finishTime);

}  // namespace orvex::ui
