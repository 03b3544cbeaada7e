#include "ui/kde/analysis_log.h"

#include <system_error>

#include "host/error.h"
#include "host/text.h"

namespace orvex::ui {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr int kSeparatorBlankLines = 3;

std::string Joined(const std::vector<std::string>& values, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) text += separator;
    text += values[i];
  }
  return text;
}

const char* EstimatorName(KdeBandwidthChoice choice) {
  return choice == KdeBandwidthChoice::Bcv ? "BCV" : "LSCV";
}

}  // namespace

AnalysisLog::AnalysisLog(const std::filesystem::path& folder) : path_(folder / kAnalysisLogName) {
  std::error_code error;
  if (std::filesystem::is_regular_file(path_, error)) sizeBefore_ = std::filesystem::file_size(path_, error);
  if (error) sizeBefore_.reset();
  length_ = sizeBefore_.value_or(0);
  out_.open(path_, std::ios::binary | (sizeBefore_ ? std::ios::app : std::ios::trunc));
  if (!out_) throw host::Error(host::kPathNotFound, "Cannot open the analysis log '" + path_.string() + "'");
  if (sizeBefore_) {
    std::vector<std::string> separator(kSeparatorBlankLines, std::string());
    separator.emplace_back(kLogSeparatorWidth, '=');
    separator.insert(separator.end(), kSeparatorBlankLines, std::string());
    write(separator);
  }
}

AnalysisLog::~AnalysisLog() = default;

void AnalysisLog::write(std::string_view line) { write(std::vector<std::string>{std::string(line)}); }

void AnalysisLog::write(const std::vector<std::string>& lines) {
  std::string block;
  for (const std::string& line : lines) block.append(line).append(kCrLf);
  if (out_.is_open()) {
    out_.write(block.data(), static_cast<std::streamsize>(block.size()));
    out_.flush();
    if (out_) {
      length_ += block.size();
      return;
    }
  }
  // A full disk stops a block part-way: the log is cut back to its last whole block, so that
  // it never ends in a broken line, and a log this run created with nothing whole is removed.
  out_.close();
  std::error_code error;
  if (!sizeBefore_ && length_ == 0) {
    std::filesystem::remove(path_, error);
  } else {
    std::filesystem::resize_file(path_, length_, error);
  }
  throw host::Error(host::kDataError, "Cannot write the analysis log '" + path_.string() + "'");
}

void AnalysisLog::close() {
  if (!out_.is_open()) return;
  out_.close();
  if (!out_) throw host::Error(host::kDataError, "Cannot write the analysis log '" + path_.string() + "'");
}

void AnalysisLog::discard() {
  if (out_.is_open()) out_.close();
  std::error_code error;
  if (sizeBefore_) {
    std::filesystem::resize_file(path_, *sizeBefore_, error);
  } else {
    std::filesystem::remove(path_, error);
  }
}

std::vector<std::string> LogHeaderLines(const KdeSettings& settings, const LogRunInfo& info) {
  std::vector<std::string> lines{"TALVO KERNEL DENSITY ANALYSIS", "", "Start time: " + info.startTime,
                                 "Input data: " + settings.pointLayer,
                                 "Unique ID field: " + settings.idField};
  const bool textIds = info.data != nullptr && info.data->textIds;
  if (textIds) {
    lines.emplace_back(
        "(Text based unique ID field detected - unique numerical ID's generated automatically)");
  }
  if (settings.useSelectedOnly) lines.emplace_back("(Using selected features only)");
  if (textIds) {
    lines.emplace_back("");
    lines.emplace_back("Unique ID name remapping (unique ID, naming ID):");
    for (const KdeAnimal& animal : info.data->animals) {
      lines.push_back(animal.textId + "     " + std::to_string(animal.numericId));
    }
  }
  lines.emplace_back("");
  if (info.independenceRows != nullptr) {
    lines.emplace_back("");
    lines.emplace_back("Independence of observation indices:");
    lines.push_back(settings.idField + ", " + "Count, Schoener, Swihart_Slade");
    for (const auto& row : *info.independenceRows) lines.push_back(Joined(row, ", "));
    lines.emplace_back("");
  }
  lines.emplace_back("Variances of x and y coordinates: ");
  lines.push_back(settings.idField + ", " + "Count, StdDev_X, StdDev_Y, Ratio(x:y)");
  if (info.varianceRows != nullptr) {
    for (const auto& row : *info.varianceRows) lines.push_back(Joined(row, ", "));
  }
  lines.emplace_back("");
  lines.emplace_back("KERNEL SETTINGS");
  lines.emplace_back(settings.fixedKernel ? "Kernel type: fixed" : "Kernel type: adaptive");
  switch (settings.bandwidth) {
    case KdeBandwidthChoice::Lscv:
      lines.emplace_back("Bandwidth estimtor: LSCV");
      break;
    case KdeBandwidthChoice::Bcv:
      lines.emplace_back("Bandwidth estimtor: BCV");
      break;
    case KdeBandwidthChoice::Manual:
      lines.push_back("Bandwidth estimtor: manual (" + settings.manualBandwidths + ")");
      break;
    case KdeBandwidthChoice::Href:
      lines.emplace_back("Bandwidth estimtor: HREF");
      break;
    case KdeBandwidthChoice::ProportionOfHref:
      lines.push_back("Bandwidth estimtor: Proportion(s) of HREF (" + settings.proportionsOfHref + ")");
      break;
  }
  lines.push_back("Output folder: " + settings.outputFolder);
  lines.push_back("Raster prefix name: " + settings.prefix);
  lines.push_back("Raster cell size: " + settings.cellSize);
  lines.push_back("Scaling factor: " + settings.scaling);
  return lines;
}

std::vector<std::string> LogExtentLines(const KdeSettings& settings) {
  std::vector<std::string> lines;
  switch (settings.extent) {
    case KdeExtentChoice::Full:
      lines.push_back("Extent setting: full extent + " + settings.buffer);
      break;
    case KdeExtentChoice::Minimum:
      lines.emplace_back("Extent setting: smallest extent for each set of points");
      break;
    case KdeExtentChoice::Reference:
      lines.push_back("Extent setting: reference layer (" + settings.referenceLayer + ")");
      break;
  }
  if (settings.isopleths) {
    std::string line = "Isopleths: " + settings.isoplethPercentages + "(";
    if (settings.lines) line += " lines ";
    if (settings.polygons) line += " polygons ";
    if (settings.donuts) line += " donuts ";
    lines.push_back(line + ")");
  } else {
    lines.emplace_back("Isopleths not calculated");
  }
  lines.emplace_back("");
  lines.emplace_back("Case specific settings:");
  return lines;
}

std::vector<std::string> LogAnimalLines(const LogAnimalBlock& block) {
  std::vector<std::string> lines{"Unique ID: " + block.uniqueId};
  if (block.namingId) {
    lines.push_back("Unique numerical ID used for naming output: " + std::to_string(*block.namingId));
  }
  lines.push_back("Sample size: " + std::to_string(block.sampleSize));
  lines.push_back("Bandwidth: " + host::numberText(block.bandwidth));
  lines.push_back("HREF (for reference): " + host::numberText(block.href));
  const bool crossValidated =
      block.estimator == KdeBandwidthChoice::Lscv || block.estimator == KdeBandwidthChoice::Bcv;
  if (crossValidated && !block.searchFailed) {
    const std::string name = EstimatorName(block.estimator);
    lines.push_back(block.minimized ? "Bandwidth represents minimized " + name
                                    : name + " function could not be minimized. HREF bandwidth used.");
    if (block.verbose && block.profile) {
      lines.push_back(name + " Profile:");
      lines.push_back("h," + name + "_value");
      for (std::size_t k = 0; k < block.profile->h.size() && k < block.profile->score.size(); ++k) {
        if (block.profile->h[k] == 0.0) continue;
        lines.push_back(host::numberText(block.profile->h[k]) + ", " +
                        host::numberText(block.profile->score[k]));
      }
    }
  }
  lines.push_back("Columns, Rows: " + std::to_string(block.columns) + ", " + std::to_string(block.rows));
  lines.push_back("Origin of raster (lower left x, y): " + host::numberText(block.originX) + ", " +
                  host::numberText(block.originY));
  lines.push_back("Raster name: " + block.rasterName);
  if (block.errorStatus != 0) {
    lines.push_back(
        "Error encountered while calculating kernel! (code: " + std::to_string(block.errorStatus) + ")");
  } else {
    lines.emplace_back("Kernel calculated successfully.");
    lines.push_back("Volume: " + host::numberText(block.volume) + " / " + block.scalingText);
    if (!block.warnings.empty()) {
      lines.emplace_back("Warnings!");
      std::string_view rest = block.warnings;
      while (!rest.empty()) {
        const std::size_t end = rest.find('\r');
        lines.emplace_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
      }
    }
  }
  lines.emplace_back("");
  return lines;
}

std::vector<std::string> LogClosingLines(const std::optional<std::string>& isoplethWarning,
                                         const std::string& finishTime) {
  std::vector<std::string> lines;
  if (isoplethWarning) lines.push_back(*isoplethWarning);
  lines.push_back("Finish time: " + finishTime);
  lines.emplace_back("Processing complete");
  lines.emplace_back("");
  return lines;
}

}  // namespace orvex::ui
