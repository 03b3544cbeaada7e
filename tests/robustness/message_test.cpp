// Inputs that were taken silently for something else, or refused without saying what in the
// data is wrong: each is now named in a message (which file, which line, what is wrong).

#include <gtest/gtest.h>

#include <fstream>

#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

// A garbage, binary, empty or 5 MB .prj was taken as "no coordinate system" without a word.
// Each is now named with what is wrong; a sound .prj says nothing.
TEST(Messages, ADamagedPrjIsNamed) {
  struct Case {
    const char* name;
    std::string prj;  ///< written over the .prj; empty text: a file of no bytes
    const char* says;
  };
  const Case cases[] = {
      {"empty", "", "fixes.prj' is empty"},
      {"binary", std::string("\x00\x01\x02PROJCS", 9), "fixes.prj' holds binary bytes (the first at byte 0)"},
      {"garbage", "PROJCS[garbage", "fixes.prj' is not a coordinate system GDAL reads: \"PROJCS[garbage\""},
      {"5 MB", std::string(5 << 20, 'x'), "fixes.prj' is larger than 64 KiB"},
      {"sound", "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder home("message");
    writeLayer(home / "fixes.shp", layerOf(circleFixes(30)));
    if (c.says != nullptr) std::ofstream(home / "fixes.prj", std::ios::binary | std::ios::trunc) << c.prj;
    const OrvexRun run = runOrvex(home.path(), {"mcp", home / "fixes.shp", "--out", home / "m.shp"});
    EXPECT_EQ(run.exitCode, 0) << run.shown();
    if (c.says == nullptr)
      EXPECT_EQ(run.err.find(".prj'"), std::string::npos) << run.shown();
    else
      EXPECT_NE(run.err.find(c.says), std::string::npos) << run.shown();
  }
}

// A Movebank file with CR-only line endings said "no fix of sensor type gps"; a NUL inside an
// identifier cut it short and made a spurious animal. CR-only files are read; a NUL is refused
// naming the file and the line.
TEST(Messages, MovebankLineEndsAndNulBytes) {
  struct Case {
    const char* name;
    const char* lineEnd;
    std::string secondAnimal;
    int exitCode;
    const char* says;  ///< in standard error, after the file's name
  };
  const Case cases[] = {
      {"LF", "\n", "B", 0, nullptr},
      {"CR LF", "\r\n", "B", 0, nullptr},
      {"CR alone", "\r", "B", 0, nullptr},
      {"NUL in an identifier", "\n", std::string("A\0B", 3), 1, "fixes.csv:4: a NUL byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder home("message");
    const std::string end = c.lineEnd;
    std::ofstream(home / "fixes.csv", std::ios::binary)
        << "event-id,timestamp,location-long,location-lat,individual-local-identifier" << end
        << "1,2024-05-01 00:00:00,15.0,51.0,A" << end << "2,2024-05-01 01:00:00,15.1,51.1,A" << end
        << "3,2024-05-01 00:00:00,15.2,51.2," << c.secondAnimal << end;
    const OrvexRun run =
        runOrvex(home.path(), {"import-movebank", home / "fixes.csv", "--out", home / "out" / "fixes.shp"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.shown();
    if (c.says != nullptr) {
      EXPECT_NE(run.err.find(c.says), std::string::npos) << run.shown();
      EXPECT_FALSE(fs::exists(home / "out" / "fixes.shp"));
      continue;
    }
    GDALAllRegister();
    GDALDatasetUniquePtr dataset(GDALDataset::Open((home / "out" / "fixes.shp").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(dataset) << run.shown();
    EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 3) << run.shown();
  }
}

// Messages that did not say what in the data was wrong: an empty Time2 stopped travel with the
// design's "CalcFeatures sub Error number: 94" alone; an --id field that is missing or holds
// real numbers gave "Control 'cmbUIDFLD' has no item"; --cell-size 0.4 was rounded to 0 and
// then divided by. Each now names the file or layer, the field and the row or value.
TEST(Messages, WhatIsWrongInTheDataIsSaid) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  ///< after the command's input
    const char* command;
    int exitCode;
    std::vector<const char*> says;  ///< in standard error, in this order
  };
  const std::vector<Case> cases{
      {"empty Time2",
       {},
       "travel",
       1,
       {"CalcFeatures sub Error number: 94", "nothing was written for fixes.shp",
        "(FID 12: the field \"Time2\" is empty)"}},
      {"missing --id field",
       {"--id", "Nope", "--out-dir", "out"},
       "kde",
       1,
       {"Layer 'fixes' has no field \"Nope\" (--id)"}},
      {"real --id field",
       {"--id", "Weight", "--out-dir", "out"},
       "kde",
       1,
       {"The field \"Weight\" of layer 'fixes' holds neither whole numbers nor text"}},
      {"cell size rounding to 0",
       {"--id", "AnimalID", "--cell-size", "0.4", "--out-dir", "out"},
       "kde",
       2,
       {"--cell-size", "0.4 rounds to 0"}},
      {"cell size rounded",
       {"--id", "AnimalID", "--bandwidth", "href", "--cell-size", "150.5", "--out-dir", "out"},
       "kde",
       0,
       {"--cell-size 150.5 is rounded to 150"}},
      {"empty selection",
       {"--id", "AnimalID", "--where", "AnimalID = 'none'", "--selected-only", "--out-dir", "out"},
       "kde",
       1,
       {"--where \"AnimalID = 'none'\" selects no feature of layer 'fixes'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder home("message");
    TestLayer layer = layerOf(circleFixes(30), wkbPoint, 32633);
    layer.fields.push_back({"Weight", OFTReal});
    layer.features[12].values["Time2"] = std::nullopt;
    if (std::string(c.command) != "travel") layer.features[12].values["Time2"] = "1043200";
    writeLayer(home / "fixes.shp", layer);
    std::vector<std::string> args{"--yes", c.command, (home / "fixes.shp").string()};
    for (const std::string& arg : c.args) args.push_back(arg == "out" ? (home / "out").string() : arg);
    const OrvexRun run = runOrvex(home.path(), args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.shown();
    std::size_t at = 0;
    for (const char* text : c.says) {
      at = run.err.find(text, at);
      EXPECT_NE(at, std::string::npos) << text << "\n" << run.shown();
      if (at == std::string::npos) break;
    }
  }
}

}  // namespace
