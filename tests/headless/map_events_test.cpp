// The map side of the headless host: layer changes and their events, selections, the focus
// map, the table-of-contents choice, the graphics record and view refreshes.

#include <gtest/gtest.h>

#include "headless/headless_fixtures.h"
#include "host/error.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/headless_layers.h"
#include "platform/headless/map_source.h"

namespace host = orvex::host;
using orvex::platform::headless::GraphicsOperation;
using orvex::platform::headless::HeadlessApplication;
using orvex::platform::headless::HeadlessFeatureLayer;
using orvex::platform::headless::HeadlessGroupLayer;
using orvex::platform::headless::loadMapSource;
using orvex::test::fiveFixes;
using orvex::test::idsOf;
using orvex::test::quietOptions;
using orvex::test::TempFolder;
using orvex::test::writePoints;
using Kind = host::MapEventKind;

namespace {

class MapEventsTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::ostringstream out;
  HeadlessApplication app{quietOptions(out)};
  std::vector<Kind> heard;
  host::ScopedSubscription listening;

  void SetUp() override {
    loadMapSource(app, {.files = {writePoints(folder.path(), "fixes", fiveFixes())}});
    listening = host::ScopedSubscription(app.view().events(),
                                         [this](const host::MapEvent& e) { heard.push_back(e.kind); });
  }
  std::shared_ptr<host::FeatureLayer> fixesLayer() { return app.focusMap().featureLayers().at(0); }
  std::shared_ptr<host::FeatureClass> openFixes() {
    return app.workspaces().openShapefileWorkspace(folder.path())->openFeatureClass("fixes");
  }
};

TEST_F(MapEventsTest, BuildingTheMapFromFilesRaisesNothing) { EXPECT_TRUE(heard.empty()); }

TEST_F(MapEventsTest, AnAddedLayerGoesOnTopAndChangesTheContents) {
  auto added = app.focusMap().addFeatureLayer(openFixes(), "mcp95");
  EXPECT_EQ(app.focusMap().layers().front(), added);
  EXPECT_EQ(added->name(), "mcp95");
  EXPECT_EQ(heard, std::vector<Kind>{Kind::ContentsChanged});
}

TEST_F(MapEventsTest, RemovingALayerChangesTheContentsOnceAndUnknownLayersNothing) {
  const auto layer = fixesLayer();
  app.focusMap().removeLayer(layer);
  app.focusMap().removeLayer(layer);
  EXPECT_TRUE(app.focusMap().layers().empty());
  EXPECT_EQ(heard, std::vector<Kind>{Kind::ContentsChanged});
  // A removed layer belongs to no map: its selection changes raise nothing any more.
  layer->setSelection({});
  EXPECT_EQ(heard.size(), 1u);
}

TEST_F(MapEventsTest, LayersInsideGroupsAreFoundSelectedAndRemoved) {
  auto group = std::make_shared<HeadlessGroupLayer>("Animals");
  auto inner = std::make_shared<HeadlessFeatureLayer>(openFixes(), "inner");
  group->append(inner);
  app.focusMap().appendLayer(group);
  EXPECT_EQ(app.focusMap().findLayer("inner"), inner);
  EXPECT_EQ(app.focusMap().featureLayers().size(), 2u);

  inner->setSelection(inner->featureClass()->select("Seq = 2"));
  EXPECT_EQ(heard, std::vector<Kind>{Kind::SelectionChanged});
  app.focusMap().removeLayer(inner);
  EXPECT_TRUE(group->layers().empty());
  EXPECT_EQ(heard.back(), Kind::ContentsChanged);
}

TEST_F(MapEventsTest, ChangingASelectionRaisesSelectionChanged) {
  const auto layer = fixesLayer();
  layer->setSelection(layer->featureClass()->select("AnimalID = 'a'"));
  EXPECT_EQ(idsOf(layer->selection()), (std::vector<host::ObjectId>{0, 1, 2}));
  EXPECT_EQ(heard, std::vector<Kind>{Kind::SelectionChanged});
}

TEST_F(MapEventsTest, ASelectionOfAnotherTableIsRefused) {
  const auto layer = fixesLayer();
  writePoints(folder.path(), "other", {{1, 1, "z"}});
  const auto otherClass = app.workspaces().openShapefileWorkspace(folder.path())->openFeatureClass("other");
  EXPECT_THROW(layer->setSelection(otherClass->select()), host::Error);
  EXPECT_THROW(layer->setSelection(host::SelectionSet(nullptr, {1})), host::Error);
  EXPECT_EQ(idsOf(layer->selection()).size(), 5u);  // unchanged
  EXPECT_TRUE(heard.empty());
}

TEST_F(MapEventsTest, ClearingTheMapsSelectionEmptiesEveryLayerWithOneEvent) {
  app.focusMap().appendLayer(std::make_shared<HeadlessFeatureLayer>(openFixes(), "second"));
  app.focusMap().featureLayers()[1]->setSelection(openFixes()->select());
  heard.clear();
  app.focusMap().clearSelection();
  for (const auto& layer : app.focusMap().featureLayers()) EXPECT_TRUE(layer->selection().isEmpty());
  EXPECT_EQ(heard, std::vector<Kind>{Kind::SelectionChanged});
  EXPECT_TRUE(app.focusMap().selectedFeatures().empty());
}

TEST_F(MapEventsTest, ChangingTheFocusMapRaisesFocusMapChangedOnce) {
  auto second = app.headlessDocument().addMap("Second");
  app.headlessDocument().setFocusMap(second);
  app.headlessDocument().setFocusMap(second);
  EXPECT_EQ(app.document()->focusMap(), second);
  EXPECT_EQ(heard, std::vector<Kind>{Kind::FocusMapChanged});

  auto stranger =
      std::make_shared<orvex::platform::headless::HeadlessMap>("x", std::make_shared<host::MapEvents>());
  EXPECT_THROW(app.headlessDocument().setFocusMap(stranger), host::Error);
}

TEST_F(MapEventsTest, AHandlerMayUnsubscribeItselfWhileAnEventIsDelivered) {
  // The track display closes, and stops listening, from inside its contents-changed handler.
  host::SubscriptionId own = 0;
  int calls = 0;
  own = app.view().events().subscribe([&](const host::MapEvent&) {
    ++calls;
    app.view().events().unsubscribe(own);
  });
  app.focusMap().addFeatureLayer(openFixes(), "a");
  app.focusMap().addFeatureLayer(openFixes(), "b");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(heard.size(), 2u);
}

TEST(HeadlessGraphics, RecordsEveryChangeAndKeepsWhatWasDrawn) {
  std::ostringstream out;
  HeadlessApplication app(quietOptions(out));
  auto& view = app.view();
  host::GraphicsContainer& graphics = view.graphics();

  host::Symbol path{{223, 223, 223}, 2.0, host::ArrowMarker{}};
  const auto first = graphics.add({host::Polyline{{{{0, 0}, {10, 0}}}}, path, std::nullopt});
  const auto second = graphics.add({host::Polyline{{{{10, 0}, {10, 10}}}}, path, std::nullopt});
  EXPECT_NE(first, second);
  graphics.remove(first);
  EXPECT_EQ(graphics.count(), 1);
  EXPECT_EQ(graphics.elements().front().first, second);
  view.partialRefresh(host::ViewPhase::Graphics);
  view.refresh();

  const auto& recording = view.recordingGraphics();
  EXPECT_EQ(recording.operations(),
            (std::vector<GraphicsOperation>{{GraphicsOperation::Kind::Add, first},
                                            {GraphicsOperation::Kind::Add, second},
                                            {GraphicsOperation::Kind::Remove, first}}));
  ASSERT_EQ(recording.added().size(), 2u);
  EXPECT_EQ(recording.added()[1].geometry.polyline()->paths[0][1], (host::Point{10, 10}));
  EXPECT_EQ(recording.added()[0].symbol, path);
  EXPECT_EQ(view.partialRefreshes(), std::vector<host::ViewPhase>{host::ViewPhase::Graphics});
  EXPECT_EQ(view.refreshCount(), 1);
}

}  // namespace
