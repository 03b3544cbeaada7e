#include "host/run_record.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvex::host {
namespace {

TEST(RunRecord, SamePathReportedTwiceIsOneOutputWithTheLastValues) {
  RunRecord record;
  record.output({.path = "a.shp", .kind = OutputKind::Shapefile, .features = 1});
  record.output({.path = "b.tif", .kind = OutputKind::Raster});
  record.output({.path = "a.shp", .kind = OutputKind::Shapefile, .features = 2});
  ASSERT_EQ(record.outputs().size(), 2u);
  EXPECT_EQ(record.outputs()[0].path, "a.shp");
  EXPECT_EQ(record.outputs()[0].features, 2);
}

TEST(RunRecord, SkippedItemsAreNotFailuresButCancelledOnesAre) {
  RunRecord record;
  record.failure({.item = "lines.shp", .reason = "not a point layer", .kind = FailureKind::Skipped});
  EXPECT_FALSE(record.anyFailed());
  record.failure({.item = "h = 0.5", .reason = "save cancelled", .kind = FailureKind::Cancelled});
  EXPECT_TRUE(record.anyFailed());
  record.clear();
  EXPECT_FALSE(record.anyFailed());
  EXPECT_TRUE(record.failures().empty());
}

TEST(RunRecord, ProgressGoesThroughTheHostsFunctionAndCarriesItsCancel) {
  RunRecord record;
  EXPECT_TRUE(record.report(0.5, "no function"));
  std::vector<double> seen;
  record.setProgress([&](double fraction, std::string_view) {
    seen.push_back(fraction);
    return fraction < 0.9;
  });
  const ProgressFn second = scaledProgress(record.progress(), 0.5, 1.0);
  EXPECT_TRUE(second(0.5, "half of the second half"));
  EXPECT_FALSE(second(1.0, "end"));                   // the host asked to stop
  EXPECT_EQ(seen, (std::vector<double>{0.75, 1.0}));  // exact: binary fractions
}

TEST(RunRecord, KindNamesAreTheSummarysWords) {
  EXPECT_EQ(outputKindName(OutputKind::Shapefile), "shapefile");
  EXPECT_EQ(outputKindName(OutputKind::Picture), "picture");
  EXPECT_EQ(failureKindName(FailureKind::Cancelled), "cancelled");
}

}  // namespace
}  // namespace orvex::host
