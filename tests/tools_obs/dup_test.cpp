// The duplicate-removal commands in the headless host: the survivors of each tool, the
// selection as the only candidates, the closing report and cleared selection, refusals and
// errors, and selections beyond 16-bit counts and ids.

#include <gtest/gtest.h>

#include <algorithm>

#include "tools_obs/tools_obs_support.h"
#include "ui/tools/dup_groups.h"
#include "ui/tools/dup_time2.h"
#include "ui/tools/dup_xy.h"

namespace {

using orvex::host::ObjectId;
using orvex::test::TempFolder;
using orvex::test::TimedPoint;
using orvex::test::ToolHost;
using orvex::test::writeTimedPoints;
using orvex::ui::FIndDupTime2;
using orvex::ui::FindDupxy;
using Ids = std::vector<ObjectId>;

constexpr const char* kNothingSelected =
    "You must select/highlight some points in the map to test. No points were tested or removed!!";

/// Ten fixes with ids 0..9, each at its own place and time unless `same` lists it: those share
/// place (100, 100) and time 5000.
std::vector<TimedPoint> tenFixesSharing(const Ids& same) {
  std::vector<TimedPoint> fixes;
  for (int i = 0; i < 10; ++i) {
    const bool shared = std::find(same.begin(), same.end(), i) != same.end();
    fixes.push_back(shared ? TimedPoint{100, 100, 5000} : TimedPoint{10.0 * i, 0, 100.0 * i});
  }
  return fixes;
}

Ids allBut(const Ids& gone, int count = 10) {
  Ids kept;
  for (int i = 0; i < count; ++i)
    if (std::find(gone.begin(), gone.end(), i) == gone.end()) kept.push_back(i);
  return kept;
}

class DuplicateRemoval : public ::testing::Test {
 protected:
  TempFolder folder;
  int layers = 0;
  /// A new layer "fixes" in a folder of its own.
  std::filesystem::path layer(const std::vector<TimedPoint>& fixes) {
    const auto own = folder / std::to_string(layers++);
    std::filesystem::create_directories(own);
    return writeTimedPoints(own, "fixes", fixes);
  }

  /// Runs the command on `fixes` with `selected` selected in that order (empty: all).
  template <class Tool>
  std::unique_ptr<ToolHost> run(const std::vector<TimedPoint>& fixes, const Ids& selected, Tool& tool) {
    auto host = std::make_unique<ToolHost>(std::vector{layer(fixes)}, std::string(), selected);
    EXPECT_EQ(host->click(tool), orvex::host::kOk);
    return host;
  }
};

TEST_F(DuplicateRemoval, TimeToolKeepsTheHighestIdOfEachTime) {
  FIndDupTime2 tool;
  // Met in the order 9, 4, 7: the order does not matter, the highest id stays.
  const auto host = run(tenFixesSharing({4, 7, 9}), {9, 4, 7, 0, 1}, tool);
  EXPECT_EQ(host->remainingIds(), allBut({4, 7}));
  EXPECT_EQ(host->texts(), std::vector<std::string>{"Deleted 2 duplicate features"});
  EXPECT_EQ(host->messages()[0].message.title, "");
  EXPECT_TRUE(host->layer()->selection().isEmpty());
  EXPECT_FALSE(tool.progressWindow().shown());
  EXPECT_EQ(tool.progressWindow().maximum(), 6);  // the selection count + 1
}

TEST_F(DuplicateRemoval, TimeToolMatchesTimesThatRoundToTheSameSecond) {
  FIndDupTime2 tool;
  // 10.5 and 9.5 both round (halves to even) to 10; 11.5 rounds to 12.
  const auto host = run({{0, 0, 10.5}, {1, 0, 9.5}, {2, 0, 11.5}, {3, 0, 10.0}}, {}, tool);
  EXPECT_EQ(host->remainingIds(), (Ids{2, 3}));
}

TEST_F(DuplicateRemoval, PositionToolKeepsTheFirstMetInSelectionOrder) {
  for (const auto& [order, kept] : std::vector<std::pair<Ids, ObjectId>>{{{4, 7, 9}, 4}, {{9, 7, 4}, 9}}) {
    TempFolder own;
    FindDupxy tool;
    ToolHost host({writeTimedPoints(own.path(), "fixes", tenFixesSharing({4, 7, 9}))}, {}, order);
    host.click(tool);
    Ids gone{4, 7, 9};
    gone.erase(std::find(gone.begin(), gone.end(), kept));
    EXPECT_EQ(host.remainingIds(), allBut(gone)) << "first met " << kept;
    EXPECT_EQ(host.texts(), std::vector<std::string>{"Deleted 2 duplicate features"});
  }
}

TEST_F(DuplicateRemoval, PositionToolComparesWithinTheToleranceAndNeverThroughADeletedFix) {
  // Projected coordinates: tolerance 0.001 m. B is 0.0008 from A and from C; A and C are
  // 0.0016 apart, so not equal to each other.
  const std::vector<TimedPoint> chain = {
      {500, 500, 1}, {500.0008, 500, 2}, {500.0016, 500, 3}, {500.003, 500, 4}};
  struct Case {
    Ids order;
    Ids remaining;
  };
  for (const Case& c : std::vector<Case>{
           {{0, 1, 2, 3}, {0, 2, 3}},  // A deletes B; C is not A's duplicate and B is gone
           {{1, 0, 2, 3}, {1, 3}},     // B, met first, deletes both neighbours
       }) {
    TempFolder own;
    FindDupxy tool;
    ToolHost host({writeTimedPoints(own.path(), "chain", chain)}, {}, c.order);
    host.click(tool);
    EXPECT_EQ(host.remainingIds(), c.remaining) << "first " << c.order[0];
  }
}

TEST_F(DuplicateRemoval, OnlySelectedFixesAreComparedOrDeleted) {
  // 2, 5 and 8 share time and place; 8 (the highest id) is not selected.
  const auto fixes = tenFixesSharing({2, 5, 8});
  {
    FIndDupTime2 tool;
    const auto host = run(fixes, {0, 2, 5, 6}, tool);
    EXPECT_EQ(host->remainingIds(), allBut({2}));
  }
  {
    FindDupxy tool;
    const auto host = run(fixes, {8, 1}, tool);  // one of them selected: no duplicate found
    EXPECT_EQ(host->remainingIds(), allBut({}));
    EXPECT_EQ(host->texts(), std::vector<std::string>{"Deleted 0 duplicate features"});
    EXPECT_TRUE(host->layer()->selection().isEmpty());
  }
}

TEST_F(DuplicateRemoval, RefusalsAndErrorsDeleteNothing) {
  struct Case {
    const char* what;
    bool timeTool;
    std::function<void(ToolHost&)> arrange;
    std::vector<TimedPoint> fixes;
    std::string message;
    bool selectionKept;
  };
  const auto noLayer = [](ToolHost& host) { host.application.headlessDocument().setSelectedLayer(nullptr); };
  const auto noSelection = [](ToolHost& host) { host.layer()->setSelection({}); };
  const auto nothing = [](ToolHost&) {};
  const auto fixes = tenFixesSharing({1, 2});
  auto emptyTime = fixes;
  emptyTime[6].time2.reset();
  const std::vector<Case> cases = {
      {"time, no layer", true, noLayer, fixes, "Please select points layer", true},
      {"position, no layer", false, noLayer, fixes, "Please select a points layer with some points selected.",
       true},
      {"time, nothing selected", true, noSelection, fixes, kNothingSelected, true},
      {"position, nothing selected", false, noSelection, fixes, kNothingSelected, true},
      {"time, an empty Time2", true, nothing, emptyTime, "CalcFeatures sub Error number: 94", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder own;
    ToolHost host({writeTimedPoints(own.path(), "fixes", c.fixes)});
    c.arrange(host);
    const int selected = host.firstLayer()->selection().count();
    FIndDupTime2 time;
    FindDupxy position;
    if (c.timeTool)
      host.click(time);
    else
      host.click(position);
    EXPECT_EQ(host.texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(host.messages()[0].message.title, "");
    EXPECT_EQ(host.remainingIds(), allBut({}));
    EXPECT_EQ(host.firstLayer()->selection().count(), selected);
    EXPECT_FALSE((c.timeTool ? time.progressWindow() : position.progressWindow()).shown());
  }
}

TEST_F(DuplicateRemoval, LayersWithoutTime2OrNotOfPointsAreRefused) {
  ToolHost host({orvex::test::writePoints(folder.path(), "untimed", orvex::test::fiveFixes())});
  FIndDupTime2 time;
  host.click(time);
  EXPECT_EQ(host.texts().back(), "You must select points layer with a Time2 field");

  TempFolder other;
  auto workspace = orvex::platform::gdal::openShapefileWorkspace(other.path());
  orvex::host::FeatureClassSpec lines;
  lines.name = "lines";
  lines.fields.add(orvex::host::FieldDef::shape("Shape", {orvex::host::GeometryType::Polyline}));
  lines.fields.add(orvex::host::FieldDef("Time2", orvex::host::FieldType::Integer, 4, 9));
  workspace->createFeatureClass(lines);
  ToolHost lineHost({other / "lines.shp"});
  FindDupxy position;
  lineHost.click(position);
  lineHost.click(time);
  EXPECT_EQ(lineHost.texts(), (std::vector<std::string>{"You must select a points layer",
                                                        "You must select points layer with a Time2 field"}));
}

TEST_F(DuplicateRemoval, SelectionsBeyondSixteenBitsAreHandled) {
  // 50,000 fixes on a line, 1 m and 1 s apart. Every 1000th fix from 1000 on repeats the time
  // and place of the fix before it, so each pair straddles ids far above 32,767 as well.
  constexpr int kFixes = 50000;
  std::vector<TimedPoint> fixes;
  Ids repeats;
  for (int i = 0; i < kFixes; ++i) {
    const bool repeat = i >= 1000 && i % 1000 == 0;
    const int source = repeat ? i - 1 : i;
    fixes.push_back({static_cast<double>(source), 0.0, static_cast<double>(source)});
    if (repeat) repeats.push_back(i);
  }
  const auto file = layer(fixes);
  {
    // The time tool keeps the higher id of each pair: the repeat; the fix before it goes.
    TempFolder copy;
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj"})
      std::filesystem::copy_file(file.parent_path() / (std::string("fixes") + ext),
                                 copy / (std::string("fixes") + ext));
    ToolHost host({copy / "fixes.shp"});
    FIndDupTime2 tool;
    host.click(tool);
    Ids gone;
    for (const ObjectId id : repeats) gone.push_back(id - 1);
    EXPECT_EQ(host.remainingIds(), allBut(gone, kFixes));
    EXPECT_EQ(host.texts().back(), "Deleted 49 duplicate features");
    EXPECT_EQ(tool.progressWindow().maximum(), kFixes + 1);
  }
  {
    // The position tool keeps the first met: the fix before; the repeat goes.
    ToolHost host({file});
    FindDupxy tool;
    host.click(tool);
    EXPECT_EQ(host.remainingIds(), allBut(repeats, kFixes));
    EXPECT_EQ(host.texts().back(), "Deleted 49 duplicate features");
  }
}

TEST(DuplicateGroups, PositionSearchOffersOnlyNeighboursToTheEqualityTest) {
  // 10,000 distinct points on a 1 m grid with tolerance 0.001: each point may meet only the
  // few points of its own and the adjacent cells, not the whole set.
  std::vector<orvex::ui::PlacedFix> fixes;
  for (int i = 0; i < 10000; ++i)
    fixes.push_back(
        {i, orvex::host::Geometry(orvex::host::Point{static_cast<double>(i % 100), double(i / 100)})});
  long long calls = 0;
  const auto doomed = orvex::ui::PositionDuplicates(fixes, 0.001, [&calls](const auto& a, const auto& b) {
    ++calls;
    return *a.point() == *b.point();
  });
  EXPECT_TRUE(doomed.empty());
  EXPECT_EQ(calls, 0);
}

}  // namespace
