// The track display in its map: the MOLE command's checks, the form's answers to map events and
// its unsubscription, and Save Travel read back with GDAL.

#include <gtest/gtest.h>

#include "platform/headless/headless_layers.h"
#include "support/orvex_process.h"
#include "track_support.h"
#include "ui/tools/mole.h"

namespace host = orvex::host;
namespace headless = orvex::platform::headless;
using orvex::test::readSegments;
using orvex::test::Segment;
using orvex::test::TrackFixture;
using orvex::ui::frmORVEX;
namespace track = orvex::ui::track;
using Texts = std::vector<std::string>;

namespace {

class MoleCommand : public TrackFixture {
 protected:
  orvex::ui::MOLE command;
  std::string fixLabel;  // lblfix of the form when it closed

  host::Status click() {
    app.scriptedUi().setFormScript(std::string(frmORVEX::kFormName), headless::FormScript().cancel());
    app.scriptedUi().setFormClosedHook(
        [this](const host::Form& closed) { fixLabel = closed.control(frmORVEX::kFixLabel).caption(); });
    command.onCreate(app);
    return command.onClick();
  }
};

TEST_F(MoleCommand, RefusesWithoutAPointLayerOrWithFewerThanTwoSelectedFixes) {
  EXPECT_EQ(command.onClick(), host::kUnexpected);  // before creation
  loadTrack(orvex::test::squareTrack());
  const auto points = trackLayer();
  host::FeatureClassSpec lines;
  lines.name = "lines";
  lines.fields.add(host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Polyline}));
  const auto lineLayer = std::make_shared<headless::HeadlessFeatureLayer>(
      app.workspaces().openShapefileWorkspace(folder.path())->createFeatureClass(lines), "lines");
  const std::string noLayer = "Display Tracks|" + std::string(track::kMoleNoPointLayer);
  struct Case {
    std::shared_ptr<host::Layer> chosen;
    std::vector<host::ObjectId> selected;
    std::string expected;
  };
  for (const Case& c : std::vector<Case>{{nullptr, {0, 1}, noLayer},
                                         {lineLayer, {0, 1}, noLayer},
                                         {points, {}, "|" + std::string(track::kMoleNothingSelected)},
                                         {points, {2}, "|" + std::string(track::kMoleOneSelected)}}) {
    SCOPED_TRACE(c.expected + " " + std::to_string(c.selected.size()));
    app.scriptedUi().clearRecords();
    app.headlessDocument().setSelectedLayer(c.chosen);
    points->setSelection(host::SelectionSet(points->featureClass(), c.selected));
    EXPECT_EQ(click(), host::kOk);
    EXPECT_EQ(messages(), Texts{c.expected});
    EXPECT_TRUE(app.scriptedUi().forms().empty());
  }
}

TEST_F(MoleCommand, OpensTheFormModallyWithTheLastObjectIdOfTheWholeClass) {
  loadTrack(orvex::test::squareTrack(), {1, 2});
  EXPECT_EQ(click(), host::kOk);
  ASSERT_EQ(app.scriptedUi().forms().size(), 1u);
  EXPECT_EQ(app.scriptedUi().forms()[0].caption, "Display Travel");
  EXPECT_EQ(fixLabel, "2/4");  // fix 1 of the selection, last id 3 of the class
  EXPECT_EQ(app.view().events().subscriberCount(), 0);
}

class TrackMapEvents : public TrackFixture {
 protected:
  void SetUp() override {
    loadTrack(orvex::test::squareTrack());
    open();
  }
  void addLayer() {
    orvex::test::writeTrack(folder.path(), "other" + std::to_string(++added), orvex::test::squareTrack());
    app.focusMap().addFeatureLayer(app.workspaces()
                                       .openShapefileWorkspace(folder.path())
                                       ->openFeatureClass("other" + std::to_string(added)),
                                   "other");
  }
  int added = 0;
};

TEST_F(TrackMapEvents, ContentsOrFocusMapChangesCloseTheFormWhichThenListensNoMore) {
  EXPECT_EQ(app.view().events().subscriberCount(), 1);
  addLayer();
  EXPECT_FALSE(form->isOpen());
  EXPECT_EQ(app.view().events().subscriberCount(), 0);
  addLayer();  // heard by nobody
  open();
  app.headlessDocument().setFocusMap(app.headlessDocument().addMap("Second"));
  EXPECT_FALSE(form->isOpen());
  EXPECT_EQ(messages(), (Texts{"-|" + std::string(track::kTrackContentsChanged),
                               "-|" + std::string(track::kTrackMapsChanged)}));
}

TEST_F(TrackMapEvents, AChangeArrivingDuringTheAutomaticDisplayEndsIt) {
  app.scriptedUi().postEvent([this] { addLayer(); });
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_FALSE(form->isOpen());
  EXPECT_FALSE(form->running());
  EXPECT_EQ(segmentsEverDrawn(), 1u);
}

TEST_F(TrackMapEvents, ASelectionChangeRebuildsTheTrackOrEmptiesItWithoutAPointLayer) {
  const auto layer = trackLayer();
  layer->setSelection(host::SelectionSet(layer->featureClass(), {3, 1}));
  EXPECT_EQ(form->trackSize(), 2);
  EXPECT_EQ(control(frmORVEX::kTrackSlider).maximum(), 1);
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "4/4");  // in the selection's order
  EXPECT_TRUE(messages().empty());

  app.headlessDocument().setSelectedLayer(nullptr);
  app.focusMap().clearSelection();
  EXPECT_EQ(form->trackSize(), 0);
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(messages(), (Texts{"-|" + std::string(track::kTrackNoLayerAfterSelection),
                               "Display Tracks|No more steps. Please reset."}));
}

class SaveTravel : public TrackFixture {
 protected:
  void SetUp() override {
    loadTrack(orvex::test::squareTrack());
    open();
  }
  void drawTwoSteps() {
    driver->check(frmORVEX::kKeepPath, true);
    driver->check(frmORVEX::kOneStep, true);
    driver->click(frmORVEX::kStepForward);
    driver->click(frmORVEX::kStepForward);
  }
};

TEST_F(SaveTravel, ThePathBecomesOneLinePerSegmentInANewLayerAndTheFormStaysOpen) {
  driver->click(frmORVEX::kSaveTravel);
  EXPECT_EQ(messages(), Texts{"-|Please add a track"});
  app.scriptedUi().clearRecords();

  drawTwoSteps();
  const auto output = folder / "travel.shp";
  app.scriptedUi().queueSaveAnswer(output);
  driver->click(frmORVEX::kSaveTravel);
  EXPECT_EQ(readSegments(output), (std::vector<Segment>{{0, 0, 100, 0}, {100, 0, 100, 100}}));
  EXPECT_EQ(app.focusMap().layers().front()->name(), "travel");
  // Adding its own layer is no reason for the form to close.
  EXPECT_TRUE(form->isOpen());
  EXPECT_TRUE(messages().empty());
}

TEST_F(SaveTravel, AnExistingShapefileIsNeverReplacedAndFailuresCarryThePrefix) {
  drawTwoSteps();
  const auto output = orvex::test::writeTrack(folder.path(), "travel", {{1, 1}});
  const std::string before = orvex::test::readAll(output);
  app.scriptedUi().queueSaveAnswer(output);
  driver->click(frmORVEX::kSaveTravel);
  EXPECT_EQ(orvex::test::readAll(output), before);

  app.scriptedUi().queueSaveAnswer(folder / "no such folder" / "travel.shp");
  driver->click(frmORVEX::kSaveTravel);
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[0], "File Error|ERROR: file already exists. Cannot create output file.");
  EXPECT_EQ(messages()[1].rfind("-|" + std::string(track::kTrackSaveErrorPrefix), 0), 0u) << messages()[1];
}

}  // namespace
