// The analysis log file (create, append behind the separator, undo) and its sections.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/error.h"
#include "kde_batch/kde_batch_fixture.h"
#include "ui/kde/analysis_log.h"

namespace orvex::ui {
namespace {

using test::readAll;
using test::TempFolder;

TEST(AnalysisLogFile, CreatedThenAppendedBehindTheSeparator) {
  TempFolder folder;
  {
    AnalysisLog log(folder.path());
    log.write("first");
    log.close();
  }
  EXPECT_EQ(readAll(folder / kAnalysisLogName), "first\r\n");
  {
    AnalysisLog log(folder.path());
    log.write(std::vector<std::string>{"second", ""});
    log.close();
  }
  EXPECT_EQ(readAll(folder / kAnalysisLogName),
            "first\r\n\r\n\r\n\r\n" + std::string(60, '=') + "\r\n\r\n\r\n\r\nsecond\r\n\r\n");
}

TEST(AnalysisLogFile, DiscardUndoesOnlyThisRun) {
  TempFolder folder;
  {
    AnalysisLog log(folder.path());
    log.write("created by this run");
    log.discard();
  }
  EXPECT_FALSE(std::filesystem::exists(folder / kAnalysisLogName));

  std::ofstream(folder / kAnalysisLogName, std::ios::binary) << "earlier run\r\n";
  {
    AnalysisLog log(folder.path());
    log.write("cancelled run");
    log.discard();
  }
  EXPECT_EQ(readAll(folder / kAnalysisLogName), "earlier run\r\n");
  EXPECT_THROW(AnalysisLog(folder / "missing"), host::Error);
}

TEST(AnalysisLogSections, ExtentAndIsoplethLines) {
  KdeSettings s;
  s.isopleths = true;
  EXPECT_EQ(LogExtentLines(s), (std::vector<std::string>{"Extent setting: full extent + 2000",
                                                         "Isopleths: 95, 90, 50( lines  polygons  donuts )",
                                                         "", "Case specific settings:"}));
  s.extent = KdeExtentChoice::Minimum;
  s.lines = false;
  s.donuts = false;
  EXPECT_EQ(LogExtentLines(s)[0], "Extent setting: smallest extent for each set of points");
  EXPECT_EQ(LogExtentLines(s)[1], "Isopleths: 95, 90, 50( polygons )");
  s.extent = KdeExtentChoice::Reference;
  s.referenceLayer = "dem";
  s.isopleths = false;
  EXPECT_EQ(LogExtentLines(s)[0], "Extent setting: reference layer (dem)");
  EXPECT_EQ(LogExtentLines(s)[1], "Isopleths not calculated");
}

TEST(AnalysisLogSections, HeaderWithTextIdsSelectionAndIndependence) {
  KdeSettings s;
  s.pointLayer = "fixes";
  s.idField = "AnimalID";
  s.useSelectedOnly = true;
  s.bandwidth = KdeBandwidthChoice::ProportionOfHref;
  s.outputFolder = "/out";
  KdeAnimalData data;
  data.textIds = true;
  data.animals.resize(2);
  data.animals[0].textId = "A";
  data.animals[0].numericId = 0;
  data.animals[1].textId = "B";
  data.animals[1].numericId = 1;
  const std::vector<std::vector<std::string>> independence{{"A", "5", "1.9", "0.3"}};
  const std::vector<std::vector<std::string>> variance{{"A", "5", "1", "2", "0.5"},
                                                       {"B", "1", "N/A", "N/A", "N/A"}};
  const std::vector<std::string> lines = LogHeaderLines(s, LogRunInfo{.startTime = "2024-01-02T03:04:05",
                                                                      .data = &data,
                                                                      .independenceRows = &independence,
                                                                      .varianceRows = &variance});
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "TALVO KERNEL DENSITY ANALYSIS",
                "",
                "Start time: 2024-01-02T03:04:05",
                "Input data: fixes",
                "Unique ID field: AnimalID",
                "(Text based unique ID field detected - unique numerical ID's generated automatically)",
                "(Using selected features only)",
                "",
                "Unique ID name remapping (unique ID, naming ID):",
                "A     0",
                "B     1",
                "",
                "",
                "Independence of observation indices:",
                "AnimalID, Count, Schoener, Swihart_Slade",
                "A, 5, 1.9, 0.3",
                "",
                "Variances of x and y coordinates: ",
                "AnimalID, Count, StdDev_X, StdDev_Y, Ratio(x:y)",
                "A, 5, 1, 2, 0.5",
                "B, 1, N/A, N/A, N/A",
                "",
                "KERNEL SETTINGS",
                "Kernel type: fixed",
                "Bandwidth estimtor: Proportion(s) of HREF (0.2, 0.4, 0.6, 0.8, 1.0)",
                "Output folder: /out",
                "Raster prefix name: kde",
                "Raster cell size: 100",
                "Scaling factor: 1000000"}));
}

TEST(AnalysisLogSections, AnimalBlocks) {
  LogAnimalBlock block;
  block.uniqueId = "7";
  block.sampleSize = 12;
  block.bandwidth = 150.5;
  block.href = 200;
  block.estimator = KdeBandwidthChoice::Bcv;
  block.minimized = true;
  block.verbose = true;
  block.profile = CrossValidationProfile{{10, 20, 0}, {-1.5, -2.25, 0}};  // the h = 0 column is left out
  block.columns = 30;
  block.rows = 40;
  block.originX = 1000.25;
  block.originY = -5;
  block.rasterName = "kde0";
  block.volume = 999999.5;
  block.scalingText = "1000000";
  block.warnings = "first\rsecond\r";
  EXPECT_EQ(LogAnimalLines(block),
            (std::vector<std::string>{
                "Unique ID: 7", "Sample size: 12", "Bandwidth: 150.5", "HREF (for reference): 200",
                "Bandwidth represents minimized BCV", "BCV Profile:", "h,BCV_value", "10, -1.5", "20, -2.25",
                "Columns, Rows: 30, 40", "Origin of raster (lower left x, y): 1000.25, -5",
                "Raster name: kde0", "Kernel calculated successfully.", "Volume: 999999.5 / 1000000",
                "Warnings!", "first", "second", ""}));

  block.estimator = KdeBandwidthChoice::Lscv;
  block.minimized = false;
  block.verbose = false;
  block.namingId = 3;
  block.errorStatus = 5002;
  const std::vector<std::string> failed = LogAnimalLines(block);
  EXPECT_EQ(failed[1], "Unique numerical ID used for naming output: 3");
  EXPECT_EQ(failed[5], "LSCV function could not be minimized. HREF bandwidth used.");
  EXPECT_EQ(failed[9], "Error encountered while calculating kernel! (code: 5002)");
  EXPECT_EQ(failed.size(), 11u);  // no volume, no warnings after an error

  // A failed search chose no bandwidth, so nothing claims href was used.
  block.searchFailed = true;
  block.errorStatus = 2900;
  for (const std::string& line : LogAnimalLines(block)) EXPECT_EQ(line.find("minimized"), std::string::npos);
}

}  // namespace
}  // namespace orvex::ui
