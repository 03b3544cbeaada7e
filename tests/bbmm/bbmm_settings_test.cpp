// The dialog's texts read into a run's numbers, or refused with a message naming the box.

#include <gtest/gtest.h>

#include "range/bbmm/bbmm_settings.h"

namespace orvex::range {
namespace {

BbmmSettings Valid() {
  BbmmSettings s;
  s.pointLayer = "fixes";
  s.idField = "AnimalID";
  s.sigma2 = "20";
  s.outputFolder = "/out";
  return s;
}

TEST(BbmmSettings, RefusesEachBadTextNamingItsBox) {
  struct Case {
    const char* what;
    void (*change)(BbmmSettings&);
    const char* fragment;  // of the message
  };
  const Case cases[] = {
      {"no s2", [](BbmmSettings& s) { s.sigma2.clear(); }, "either as one value or as a field"},
      {"s2 and a field", [](BbmmSettings& s) { s.sigma2Field = "err"; }, "either as one value or as a field"},
      {"s2 of 0", [](BbmmSettings& s) { s.sigma2 = "0"; }, "location error s2"},
      {"s1 negative", [](BbmmSettings& s) { s.sigma1 = "-1"; }, "s1 must be"},
      {"s1 text", [](BbmmSettings& s) { s.sigma1 = "fast"; }, "s1 must be"},
      {"gap text", [](BbmmSettings& s) { s.maxGap = "1h"; }, "largest gap"},
      {"cell size 0", [](BbmmSettings& s) { s.cellSize = "0"; }, "cell size"},
      {"percentage 101", [](BbmmSettings& s) { s.isopleths = "95,101"; }, "isopleth percentage"},
      {"no folder", [](BbmmSettings& s) { s.outputFolder.clear(); }, "output folder"},
      {"no reference layer", [](BbmmSettings& s) { s.extent = BbmmExtent::Reference; }, "reference raster"},
      {"dynamic, s1 given", [](BbmmSettings& s) { s.dynamic = true, s.sigma1 = "2"; }, "leave s1 at auto"},
      {"dynamic, even window", [](BbmmSettings& s) { s.dynamic = true, s.window = "30"; }, "The window"},
      {"dynamic, window too short", [](BbmmSettings& s) { s.dynamic = true, s.window = "21"; }, "The window"},
      {"dynamic, margin 1", [](BbmmSettings& s) { s.dynamic = true, s.margin = "1"; }, "The margin"},
  };
  for (const Case& c : cases) {
    BbmmSettings settings = Valid();
    c.change(settings);
    const BbmmSettingsCheck check = CheckBbmmSettings(settings);
    ASSERT_TRUE(check.error) << c.what;
    EXPECT_NE(check.error->find(c.fragment), std::string::npos) << c.what << ": " << *check.error;
  }
}

TEST(BbmmSettings, ReadsNumbersAutoAnyCaseAndSortsPercentages) {
  BbmmSettings settings = Valid();
  settings.sigma1 = " AUTO ";
  settings.isopleths = "95, 50";
  settings.maxGap = "7200";
  settings.allTriplets = true;
  const BbmmSettingsCheck check = CheckBbmmSettings(settings);
  ASSERT_FALSE(check.error) << *check.error;
  EXPECT_FALSE(check.values.sigma1);
  EXPECT_EQ(check.values.sigma2, 20.0);
  EXPECT_EQ(check.values.maxGap, 7200.0);
  EXPECT_EQ(check.values.triplets, TripletChoice::all);
  EXPECT_EQ(check.values.isopleths, (std::vector<double>{50.0, 95.0}));
  settings.sigma1 = "0";  // a given s1 of 0 is allowed: location error alone
  EXPECT_EQ(CheckBbmmSettings(settings).values.sigma1, 0.0);
}

}  // namespace
}  // namespace orvex::range
