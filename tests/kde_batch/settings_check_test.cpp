// The checks made before a batch run starts, and the lists they hand to the run.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/kde/kde_settings.h"

namespace orvex::ui {
namespace {

TEST(KdeSettingsCheck, MissingTextsInTheirOrder) {
  // Every box empty at once: the first check in the documented order wins.
  KdeSettings s;
  s.bandwidth = KdeBandwidthChoice::ProportionOfHref;
  s.proportionsOfHref.clear();
  s.manualBandwidths.clear();
  s.buffer.clear();
  s.isopleths = true;
  s.isoplethPercentages.clear();
  EXPECT_EQ(CheckKdeSettings(s).error, kMsgNoProportions);
  s.bandwidth = KdeBandwidthChoice::Manual;
  EXPECT_EQ(CheckKdeSettings(s).error, kMsgNoManualBandwidth);
  s.bandwidth = KdeBandwidthChoice::Lscv;
  EXPECT_EQ(CheckKdeSettings(s).error, kMsgNoBuffer);
  s.extent = KdeExtentChoice::Reference;
  EXPECT_EQ(CheckKdeSettings(s).error, kMsgNoReferenceLayer);
  s.extent = KdeExtentChoice::Minimum;
  EXPECT_EQ(CheckKdeSettings(s).error, kMsgNoIsopleths);
  s.isopleths = false;
  EXPECT_TRUE(CheckKdeSettings(s).ok());  // an unused empty box is no error
}

TEST(KdeSettingsCheck, ListsAreParsedAndPercentagesSorted) {
  KdeSettings s;
  s.bandwidth = KdeBandwidthChoice::Manual;
  s.manualBandwidths = "250,  400 ,300";
  s.isopleths = true;
  s.isoplethPercentages = "50, 95,90";
  const KdeSettingsCheck check = CheckKdeSettings(s);
  ASSERT_TRUE(check.ok());
  EXPECT_EQ(check.lists.bandwidthValues, (std::vector<double>{250, 400, 300}));  // list order kept
  EXPECT_EQ(check.lists.largestListValue, 400);
  EXPECT_EQ(check.lists.isoplethPercentages, (std::vector<double>{50, 90, 95}));

  s.bandwidth = KdeBandwidthChoice::ProportionOfHref;
  EXPECT_EQ(CheckKdeSettings(s).lists.largestListValue, 1.0);
  s.bandwidth = KdeBandwidthChoice::Lscv;
  EXPECT_TRUE(CheckKdeSettings(s).lists.bandwidthValues.empty());
}

TEST(KdeSettingsCheck, InvalidValuesStopTheRun) {
  KdeSettings s;
  s.isopleths = true;
  for (const char* bad : {"95, x", "95,,50", "95,", "abc"}) {
    s.isoplethPercentages = bad;
    EXPECT_EQ(CheckKdeSettings(s).error, kMsgInvalidIsopleth) << bad;
  }
  s.isopleths = false;
  s.bandwidth = KdeBandwidthChoice::Manual;
  // A bandwidth that is not a number, 0 or negative would otherwise be ignored by the
  // calculator, which then keeps an earlier animal's bandwidth.
  for (const char* bad : {"250, abc", "0", "-5", "100,"}) {
    s.manualBandwidths = bad;
    const KdeSettingsCheck check = CheckKdeSettings(s);
    ASSERT_FALSE(check.ok()) << bad;
    EXPECT_NE(check.error->find("invalid bandwidth"), std::string::npos) << bad;
  }
}

}  // namespace
}  // namespace orvex::ui
