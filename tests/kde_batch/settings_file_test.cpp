// The KDE settings file: the written text byte for byte, and how loading applies a file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/error.h"
#include "kde_batch/kde_batch_fixture.h"
#include "ui/kde/settings_file.h"

namespace orvex::ui {
namespace {

using test::TempFolder;

// The lines joined with CR LF, each line ended.
std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

TEST(SettingsFileText, InitialValuesWithFolderAndIsoplethsMatchTheDocumentedExample) {
  KdeSettings settings;
  settings.outputFolder = "/data/out";
  settings.isopleths = true;
  EXPECT_EQ(
      SettingsFileText(settings),
      CrLf({"[RESCALE]",  "0",    "[KERNEL]",    "True",      "[FORM]",    "Gaussian (bivariate normal)",
            "[LSCV]",     "TRUE", "[OUTFOLDER]", "/data/out", "[PREFIX]",  "kde",
            "[CELLSIZE]", "100",  "[SCALING]",   "1000000",   "[VERBOSE]", "0",
            "[EXTENT]",   "FULL", "2000",        "[ISO]",     "1",         "95, 90, 50",
            "1",          "1",    "1",           "[SILENT]",  "FALSE"}));
}

TEST(SettingsFileText, OptionalBlocksAndChoices) {
  KdeSettings settings;
  settings.rescale = true;
  settings.fixedKernel = false;
  settings.bandwidth = KdeBandwidthChoice::Manual;
  settings.manualBandwidths = "250, 300";
  settings.prefix.clear();
  settings.cellSize.clear();
  settings.scaling.clear();
  settings.verbose = true;
  settings.extent = KdeExtentChoice::Reference;
  settings.referenceLayer = "dem";
  settings.silent = true;
  EXPECT_EQ(SettingsFileText(settings),
            CrLf({"[RESCALE]", "1", "[KERNEL]", "False", "[FORM]", "Gaussian (bivariate normal)", "[MANUAL]",
                  "250, 300", "[VERBOSE]", "1", "[EXTENT]", "REF", "dem", "[ISO]", "0", "[SILENT]", "TRUE"}));

  // Proportions store no bandwidth block; the minimum extent has no value line after MIN.
  settings.bandwidth = KdeBandwidthChoice::ProportionOfHref;
  settings.extent = KdeExtentChoice::Minimum;
  const std::string text = SettingsFileText(settings);
  EXPECT_EQ(text.find("[MANUAL]"), std::string::npos);
  EXPECT_NE(text.find("[FORM]\r\nGaussian (bivariate normal)\r\n[VERBOSE]"), std::string::npos);
  EXPECT_NE(text.find("[EXTENT]\r\nMIN\r\n[ISO]"), std::string::npos);

  for (const auto& [choice, key] : {std::pair{KdeBandwidthChoice::Bcv, "[BCV]\r\nTRUE"},
                                    std::pair{KdeBandwidthChoice::Href, "[HREF]\r\nTRUE"}}) {
    settings.bandwidth = choice;
    EXPECT_NE(SettingsFileText(settings).find(key), std::string::npos) << key;
  }
}

TEST(SettingsFile, WrittenFileHoldsTheTextAndReplacesAnOldOne) {
  TempFolder folder;
  const auto file = folder / "settings.txt";
  std::ofstream(file) << "old content that is longer than nothing\n";
  KdeSettings settings;
  WriteSettingsFile(file, settings);
  EXPECT_EQ(test::readAll(file), SettingsFileText(settings));
  EXPECT_THROW(WriteSettingsFile(folder / "missing" / "s.txt", settings), host::Error);
}

// Applies the lines (LF ends) to initial settings.
struct Loaded {
  KdeSettings settings;
  SettingsLoadResult result;
};
Loaded Apply(const std::vector<std::string>& lines, KdeSettings settings = {},
             std::vector<std::string> layers = {}) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  Loaded loaded{settings, {}};
  loaded.result = ApplySettingsText(text, loaded.settings, layers);
  return loaded;
}

TEST(SettingsLoad, SavedFileLoadsBackWithValuesUpperCased) {
  TempFolder folder;
  KdeSettings saved;
  saved.rescale = true;
  saved.fixedKernel = false;
  saved.bandwidth = KdeBandwidthChoice::Bcv;
  saved.outputFolder = folder.path().string();
  saved.prefix = "kde";
  saved.cellSize = "50";
  saved.scaling = "1e6";
  saved.verbose = true;
  saved.extent = KdeExtentChoice::Minimum;
  saved.isopleths = true;
  saved.isoplethPercentages = "95,50";
  saved.lines = false;
  saved.silent = true;
  const auto file = folder / "s.txt";
  WriteSettingsFile(file, saved);

  KdeSettings loaded;
  const SettingsLoadResult result = LoadSettingsFile(file, loaded, {});
  EXPECT_EQ(result.statusText, "Settings loaded");
  KdeSettings expected = saved;
  expected.prefix = "KDE";  // a loaded prefix is upper case
  expected.scaling = "1E6";
  EXPECT_EQ(loaded, expected);
  EXPECT_THROW(LoadSettingsFile(folder / "none.txt", loaded, {}), host::Error);
}

TEST(SettingsLoad, BandwidthBlocks) {
  // A file saved with proportions restores no bandwidth option: the current choice stays.
  KdeSettings current;
  current.bandwidth = KdeBandwidthChoice::Href;
  KdeSettings proportions;
  proportions.bandwidth = KdeBandwidthChoice::ProportionOfHref;
  KdeSettings loaded = current;
  ApplySettingsText(SettingsFileText(proportions), loaded, {});
  EXPECT_EQ(loaded.bandwidth, KdeBandwidthChoice::Href);

  const Loaded manual = Apply({"[MANUAL]", "250", "[VERBOSE]", "1"});
  EXPECT_EQ(manual.settings.bandwidth, KdeBandwidthChoice::Manual);
  EXPECT_EQ(manual.settings.manualBandwidths, "250");

  EXPECT_EQ(Apply({"[BCV]", "true", "[X]"}).settings.bandwidth, KdeBandwidthChoice::Bcv);
  EXPECT_EQ(Apply({"[BCV]", "yes", "[X]"}).settings.bandwidth, KdeBandwidthChoice::Lscv);
  EXPECT_FALSE(Apply({"[KERNEL]", "False", "[X]"}).settings.fixedKernel);
  EXPECT_TRUE(Apply({"[KERNEL]", "maybe", "[X]"},
                    [] {
                      KdeSettings s;
                      s.fixedKernel = true;
                      return s;
                    }())
                  .settings.fixedKernel);
}

TEST(SettingsLoad, IsoplethBlock) {
  KdeSettings before;
  before.isopleths = true;
  before.isoplethPercentages = "80";
  before.lines = false;
  // "0" unchecks isopleths and leaves the percentages and the three outputs as they were.
  const Loaded off = Apply({"[ISO]", "0", "[SILENT]", "TRUE"}, before);
  EXPECT_FALSE(off.settings.isopleths);
  EXPECT_EQ(off.settings.isoplethPercentages, "80");
  EXPECT_FALSE(off.settings.lines);
  EXPECT_TRUE(off.settings.silent);

  const Loaded on = Apply({"[ISO]", "1", "90, 50", "1", "0", "1", "[SILENT]", "FALSE"}, before);
  EXPECT_TRUE(on.settings.isopleths);
  EXPECT_EQ(on.settings.isoplethPercentages, "90, 50");
  EXPECT_TRUE(on.settings.lines);
  EXPECT_FALSE(on.settings.polygons);
  EXPECT_TRUE(on.settings.donuts);
}

TEST(SettingsLoad, ValuesThatDoNotConvertLeaveTheirSetting) {
  KdeSettings before;
  before.buffer = "1500";
  before.extent = KdeExtentChoice::Minimum;
  // FULL followed by text selects the full extent and keeps the previous buffer.
  const Loaded full = Apply({"[EXTENT]", "FULL", "abc", "[VERBOSE]", "1"}, before);
  EXPECT_EQ(full.settings.extent, KdeExtentChoice::Full);
  EXPECT_EQ(full.settings.buffer, "1500");
  EXPECT_TRUE(full.settings.verbose);

  const Loaded bad = Apply({"[RESCALE]", "2", "[CELLSIZE]", "ten", "[SCALING]", "", "[PREFIX]", "toolong",
                            "[VERBOSE]", "x", "[END]"});
  EXPECT_EQ(bad.settings, KdeSettings{});
}

TEST(SettingsLoad, LinesThatAreNotKeys) {
  // Blank and unknown lines between blocks are skipped; a last line that is a key is ignored.
  const Loaded loaded = Apply({"", "junk", "[RESCALE]", "1", "", "  ", "[PREFIX]", "abc", "[VERBOSE]"});
  EXPECT_TRUE(loaded.settings.rescale);
  EXPECT_EQ(loaded.settings.prefix, "ABC");
  EXPECT_FALSE(loaded.settings.verbose);
  // Keys are compared upper-cased.
  EXPECT_TRUE(Apply({"[rescale]", "1", "[X]"}).settings.rescale);
  // An empty text changes nothing.
  EXPECT_EQ(Apply({}).settings, KdeSettings{});
}

TEST(SettingsLoad, CrLfAndLfLineEndsReadAlike) {
  KdeSettings a;
  KdeSettings b;
  ApplySettingsText("[PREFIX]\r\nab\r\n[CELLSIZE]\r\n25\r\n[X]\r\n", a, {});
  ApplySettingsText("[PREFIX]\nab\n[CELLSIZE]\n25\n[X]", b, {});
  EXPECT_EQ(a.prefix, "AB");
  EXPECT_EQ(a.cellSize, "25");
  EXPECT_EQ(a, b);
}

TEST(SettingsLoad, OutputFolderMustExistAndKeepsItsLetterCase) {
  TempFolder folder;
  const std::string existing = (folder / "MixedCase").string();
  std::filesystem::create_directory(existing);
  const Loaded found = Apply({"[OUTFOLDER]", existing, "[X]"});
  EXPECT_EQ(found.settings.outputFolder, existing);
  EXPECT_EQ(found.result.statusText, "Settings loaded");

  KdeSettings before;
  before.outputFolder = existing;
  const Loaded missing = Apply({"[OUTFOLDER]", (folder / "gone").string(), "[X]"}, before);
  EXPECT_EQ(missing.settings.outputFolder, existing);
  ASSERT_EQ(missing.result.messages.size(), 1u);
  EXPECT_EQ(missing.result.messages[0], "Output folder does not exist, therefore setting not changed.");
  EXPECT_EQ(missing.result.statusText,
            "Output folder does not exist, therefore setting not changed. Settings loaded");
}

TEST(SettingsLoad, ReferenceLayerMatchesIgnoringLetterCase) {
  const std::vector<std::string> layers{"Elevation", "dem"};
  const Loaded mixed = Apply({"[EXTENT]", "REF", "elevation", "[X]"}, {}, layers);
  EXPECT_EQ(mixed.settings.extent, KdeExtentChoice::Reference);
  EXPECT_EQ(mixed.settings.referenceLayer, "Elevation");
  // An exact match wins over one differing in case only.
  EXPECT_EQ(Apply({"[EXTENT]", "REF", "dem", "[X]"}, {}, {"DEM", "dem"}).settings.referenceLayer, "dem");
  const Loaded unknown = Apply({"[EXTENT]", "REF", "slope", "[X]"}, {}, layers);
  EXPECT_EQ(unknown.settings.extent, KdeExtentChoice::Reference);
  EXPECT_EQ(unknown.settings.referenceLayer, "");
}

}  // namespace
}  // namespace orvex::ui
