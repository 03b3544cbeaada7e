#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/environment.h"
#include "host/error.h"
#include "host/graphics.h"
#include "host/map_events.h"
#include "host/progress.h"
#include "host/ui_services.h"

namespace orvex::host {
namespace {

const MapEvent kContents{MapEventKind::ContentsChanged};

TEST(MapEventDelivery, SubscribersAreCalledInOrder) {
  MapEvents events;
  std::vector<int> calls;
  events.subscribe([&](const MapEvent&) { calls.push_back(1); });
  events.subscribe([&](const MapEvent&) { calls.push_back(2); });
  events.raise(kContents);
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
}

// The track display closes itself (and unsubscribes) from inside the contents-changed handler.
TEST(MapEventDelivery, AHandlerMayUnsubscribeItselfOrOthers) {
  MapEvents events;
  std::vector<std::string> calls;
  SubscriptionId first = 0, second = 0;
  first = events.subscribe([&](const MapEvent&) {
    calls.push_back("first");
    events.unsubscribe(first);
    events.unsubscribe(second);
  });
  second = events.subscribe([&](const MapEvent&) { calls.push_back("second"); });
  events.raise(kContents);
  events.raise(kContents);
  EXPECT_EQ(calls, std::vector<std::string>{"first"});
  EXPECT_EQ(events.subscriberCount(), 0);
}

TEST(MapEventDelivery, SubscribersAddedDuringDeliveryWaitForTheNextEvent) {
  MapEvents events;
  int late = 0;
  bool added = false;
  events.subscribe([&](const MapEvent&) {
    if (!added) events.subscribe([&](const MapEvent&) { ++late; });
    added = true;
  });
  events.raise(kContents);
  EXPECT_EQ(late, 0);
  events.raise(kContents);
  EXPECT_EQ(late, 1);
}

TEST(MapEventDelivery, ScopedSubscriptionEndsWithItsOwner) {
  MapEvents events;
  int calls = 0;
  {
    ScopedSubscription subscription(events, [&](const MapEvent&) { ++calls; });
    ScopedSubscription moved = std::move(subscription);
    events.raise(kContents);
  }
  events.raise(kContents);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(events.subscriberCount(), 0);
}

TEST(Graphics, MemoryContainerKeepsDrawingOrderAndIds) {
  MemoryGraphicsContainer graphics;
  const ElementId a = graphics.add({Geometry(Polyline{{{{0, 0}, {1, 1}}}}), {}, {}});
  const ElementId b = graphics.add({Geometry(Point{1, 1}), {}, std::string("fix 2")});
  EXPECT_NE(a, b);
  graphics.remove(a);
  graphics.remove(a);  // unknown ids are ignored
  ASSERT_EQ(graphics.count(), 1);
  EXPECT_EQ(graphics.elements()[0].first, b);
}

struct Recorder {
  std::vector<double> fractions;
  std::vector<std::string> messages;
  bool answer = true;
  ProgressFn fn() {
    return [this](double f, std::string_view m) {
      fractions.push_back(f);
      messages.emplace_back(m);
      return answer;
    };
  }
};

// Expected fractions are worked by hand: a sub-range [a, b] maps f to a + f (b - a).
TEST(ProgressScaling, NestedSubRangesCompose) {
  Recorder recorder;
  auto second_half = scaledProgress(recorder.fn(), 0.5, 1.0);
  auto first_quarter_of_it = scaledProgress(second_half, 0.0, 0.5);
  first_quarter_of_it(0.5, "kernel");
  first_quarter_of_it(1.0, "kernel");
  EXPECT_EQ(recorder.fractions, (std::vector<double>{0.625, 0.75}));
  EXPECT_EQ(recorder.messages[0], "kernel");
}

TEST(ProgressScaling, FractionsAreClampedAndNaNReadsAsZero) {
  Recorder recorder;
  auto scaled = scaledProgress(recorder.fn(), 0.2, 0.4);
  scaled(-1.0, "");
  scaled(2.0, "");
  scaled(std::nan(""), "");
  EXPECT_EQ(recorder.fractions, (std::vector<double>{0.2, 0.4, 0.2}));
}

TEST(ProgressScaling, CancellationReachesTheCaller) {
  Recorder recorder;
  recorder.answer = false;
  EXPECT_FALSE(scaledProgress(recorder.fn(), 0, 1)(0.3, ""));
  EXPECT_TRUE(scaledProgress(nullptr, 0, 1)(0.3, "")) << "no progress wanted: never cancelled";
}

TEST(ProgressScaling, StepProgressorMapsItsRange) {
  Recorder recorder;
  StepProgressor steps(recorder.fn(), 0, 8, "Calculating areas...");
  steps.step();
  steps.setPosition(6);
  steps.step(2);
  EXPECT_EQ(recorder.fractions, (std::vector<double>{0.125, 0.75, 1.0}));
  EXPECT_EQ(recorder.messages.back(), "Calculating areas...");
  Recorder single;
  StepProgressor empty_range(single.fn(), 3, 3, "");
  empty_range.setPosition(3);
  EXPECT_EQ(single.fractions, std::vector<double>{1.0});
}

TEST(FileDialogs, DefaultExtension) {
  EXPECT_EQ(withDefaultExtension("/out/mcp95", "shp"), "/out/mcp95.shp");
  EXPECT_EQ(withDefaultExtension("/out/mcp95.shp", "shp"), "/out/mcp95.shp");
  EXPECT_EQ(withDefaultExtension("/out/mcp95", ""), "/out/mcp95");
}

class Environment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"TEMP", "TMPDIR"})
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
    unsetenv("TEMP");
    unsetenv("TMPDIR");
  }
  void TearDown() override {
    unsetenv("TEMP");
    unsetenv("TMPDIR");
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
  }
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(Environment, TemporaryFolderFallsBackInOrder) {
  EXPECT_EQ(temporaryFolder(), "/tmp");
  setenv("TMPDIR", "/var/tmp/", 1);
  EXPECT_EQ(temporaryFolder(), "/var/tmp");
  setenv("TEMP", "", 1);  // set but empty counts as unset
  EXPECT_EQ(temporaryFolder(), "/var/tmp");
  setenv("TEMP", "/scratch", 1);
  EXPECT_EQ(temporaryFolder(), "/scratch");
}

TEST_F(Environment, ScratchFoldersAreMadeInTempApartAndRemovedWithTheirFiles) {
  const std::filesystem::path parent = std::filesystem::temp_directory_path();
  setenv("TEMP", parent.c_str(), 1);
  setenv("TMPDIR", "/nonexistent", 1);  // TEMP comes first
  std::filesystem::path kept;
  {
    const ScratchFolder one("orvex-test-");
    const ScratchFolder two("orvex-test-");
    EXPECT_NE(one.path(), two.path());
    EXPECT_EQ(one.path().parent_path(), parent);
    EXPECT_TRUE(one.path().filename().string().starts_with("orvex-test-"));
    EXPECT_TRUE(std::filesystem::is_directory(one.path()));
    std::filesystem::create_directories(one.path() / "inner");
    std::ofstream(one.path() / "inner" / "file.txt") << "x";
    kept = one.path();
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
  setenv("TEMP", "/nonexistent/orvex", 1);
  try {
    const ScratchFolder refused;
    ADD_FAILURE() << "made " << refused.path();
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kAccessDenied);
    EXPECT_NE(error.description().find("/nonexistent/orvex"), std::string::npos);
  }
}

}  // namespace
}  // namespace orvex::host
