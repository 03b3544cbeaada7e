// The track display in its map: the MOLE command's checks and properties, the form's answers
// to map events and its unsubscription, and Save Travel read back with GDAL.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include "cli/orvex_process.h"
#include "host/layer.h"
#include "platform/headless/headless_layers.h"
#include "track_support.h"
#include "ui/tools/mole.h"

namespace host = orvex::host;
namespace headless = orvex::platform::headless;
using orvex::test::TrackFix;
using orvex::test::TrackFixture;
using orvex::ui::frmORVEX;
namespace track = orvex::ui::track;

namespace {

// MOLE ---------------------------------------------------------------------------------------

class MoleCommand : public TrackFixture {
 protected:
  orvex::ui::MOLE command;

  /// Clicks the command with a script for the form that reports what the form showed.
  host::Status click(headless::FormScript script = headless::FormScript().cancel()) {
    app.scriptedUi().setFormScript(std::string(frmORVEX::kFormName), std::move(script));
    app.scriptedUi().setFormClosedHook(
        [this](const host::Form& closed) { fixLabel = closed.control(frmORVEX::kFixLabel).caption(); });
    command.onCreate(app);
    return command.onClick();
  }
  std::string fixLabel;
};

TEST_F(MoleCommand, PropertiesAreThoseOfTheMenuEntry) {
  EXPECT_EQ(command.name(), "MOLE");
  EXPECT_EQ(command.caption(), "Display Travel");
  EXPECT_EQ(command.tooltip(), "Display Travel");
  EXPECT_EQ(command.message(), "Display Travel");
  EXPECT_EQ(command.category(), "ORVEX9");
  EXPECT_TRUE(command.enabled());
  EXPECT_FALSE(command.checked());
  EXPECT_EQ(command.helpFile(), std::string());
  EXPECT_EQ(command.helpContextId(), 0);
  EXPECT_TRUE(command.bitmap().isNone());
}

TEST_F(MoleCommand, ClickedBeforeCreationItFailsWithoutTouchingAnything) {
  EXPECT_EQ(command.onClick(), host::kUnexpected);
}

TEST_F(MoleCommand, RefusesWithoutAPointLayerOrWithFewerThanTwoSelectedFixes) {
  loadTrack(orvex::test::squareTrack());
  const auto points = trackLayer();
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"nothing chosen", [&] { app.headlessDocument().setSelectedLayer(nullptr); },
       "Display Tracks|" + std::string(track::kMoleNoPointLayer)},
      {"a line layer",
       [&] {
         auto workspace = app.workspaces().openShapefileWorkspace(folder.path());
         host::FeatureClassSpec lines;
         lines.name = "lines";
         lines.fields.add(host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Polyline}));
         app.headlessDocument().setSelectedLayer(
             std::make_shared<headless::HeadlessFeatureLayer>(workspace->createFeatureClass(lines), "lines"));
       },
       "Display Tracks|" + std::string(track::kMoleNoPointLayer)},
      {"no fix selected",
       [&] {
         app.headlessDocument().setSelectedLayer(points);
         points->setSelection(host::SelectionSet(points->featureClass(), {}));
       },
       "|" + std::string(track::kMoleNothingSelected)},
      {"one fix selected", [&] { points->setSelection(host::SelectionSet(points->featureClass(), {2})); },
       "|" + std::string(track::kMoleOneSelected)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    app.scriptedUi().clearRecords();
    c.arrange();
    EXPECT_EQ(click(), host::kOk);
    EXPECT_EQ(messages(), std::vector<std::string>{c.expected});
    EXPECT_TRUE(app.scriptedUi().forms().empty());
  }
}

TEST_F(MoleCommand, OpensTheFormModallyWithTheLastObjectIdOfTheWholeClass) {
  loadTrack(orvex::test::squareTrack(), {1, 2});
  EXPECT_EQ(click(), host::kOk);
  ASSERT_EQ(app.scriptedUi().forms().size(), 1u);
  EXPECT_EQ(app.scriptedUi().forms()[0].name, "frmORVEX");
  EXPECT_EQ(app.scriptedUi().forms()[0].caption, "Display Travel");
  EXPECT_EQ(fixLabel, "2/4");  // fix 1 of the selection, last id 3 of the class
  EXPECT_EQ(app.view().events().subscriberCount(), 0);
}

TEST_F(MoleCommand, AScriptedDisplayTravelRunsToTheEndInsideTheClick) {
  loadTrack(orvex::test::squareTrack());
  click(headless::FormScript()
            .type(frmORVEX::kPaceText, "0")
            .check(frmORVEX::kKeepPath, true)
            .click(frmORVEX::kDisplayTravel)
            .cancel());
  EXPECT_EQ(shownSegments().size(), 3u);
  EXPECT_EQ(fixLabel, "4/4");
}

// Map events ---------------------------------------------------------------------------------

class TrackMapEvents : public TrackFixture {
 protected:
  int listenersBefore = 0;
  void SetUp() override {
    loadTrack(orvex::test::squareTrack());
    listenersBefore = app.view().events().subscriberCount();
    open();
  }
  std::shared_ptr<host::FeatureClass> anotherClass() {
    orvex::test::writeTrack(folder.path(), "other", orvex::test::squareTrack());
    return app.workspaces().openShapefileWorkspace(folder.path())->openFeatureClass("other");
  }
};

TEST_F(TrackMapEvents, TheFormListensWhileOpenAndStopsWhenItCloses) {
  EXPECT_EQ(app.view().events().subscriberCount(), listenersBefore + 1);
  driver->cancel();
  EXPECT_EQ(app.view().events().subscriberCount(), listenersBefore);
  // A closed form hears nothing more.
  app.focusMap().addFeatureLayer(anotherClass(), "other");
  EXPECT_TRUE(messages().empty());
}

TEST_F(TrackMapEvents, ContentsOrFocusMapChangesCloseTheFormWithTheirMessage) {
  app.focusMap().addFeatureLayer(anotherClass(), "other");
  EXPECT_FALSE(form->isOpen());
  EXPECT_EQ(app.view().events().subscriberCount(), listenersBefore);

  open();
  app.headlessDocument().setFocusMap(app.headlessDocument().addMap("Second"));
  EXPECT_FALSE(form->isOpen());
  EXPECT_EQ(messages(), (std::vector<std::string>{"-|" + std::string(track::kTrackContentsChanged),
                                                  "-|" + std::string(track::kTrackMapsChanged)}));
}

TEST_F(TrackMapEvents, AChangeArrivingDuringTheAutomaticDisplayEndsIt) {
  app.scriptedUi().postEvent([this] { app.focusMap().addFeatureLayer(anotherClass(), "other"); });
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_FALSE(form->isOpen());
  EXPECT_FALSE(form->running());
  EXPECT_EQ(segmentsEverDrawn(), 1u);
}

TEST_F(TrackMapEvents, ASelectionChangeRebuildsTheTrack) {
  const auto layer = trackLayer();
  layer->setSelection(host::SelectionSet(layer->featureClass(), {3, 1}));
  EXPECT_EQ(form->trackSize(), 2);
  EXPECT_EQ(form->control(frmORVEX::kTrackSlider).maximum(), 1);
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "4/4");  // the selection's order: fix 3 first
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(form->isOpen());
}

TEST_F(TrackMapEvents, ASelectionChangeWithoutAPointLayerEmptiesTheTrack) {
  app.headlessDocument().setSelectedLayer(nullptr);
  app.focusMap().clearSelection();
  EXPECT_EQ(messages(), std::vector<std::string>{"-|" + std::string(track::kTrackNoLayerAfterSelection)});
  EXPECT_EQ(form->trackSize(), 0);
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(messages().back(), "Display Tracks|No more steps. Please reset.");
  EXPECT_EQ(segmentsEverDrawn(), 0u);
}

// Save Travel --------------------------------------------------------------------------------

struct SavedLine {
  double x1, y1, x2, y2;
  bool operator==(const SavedLine&) const = default;
};

/// The two-point lines of a shapefile, read with GDAL directly; nothing when it cannot be
/// opened or holds something else.
std::optional<std::vector<SavedLine>> readLines(const std::filesystem::path& path) {
  GDALAllRegister();
  GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) return std::nullopt;
  OGRLayer* layer = dataset->GetLayer(0);
  if (wkbFlatten(layer->GetGeomType()) != wkbLineString) return std::nullopt;
  std::vector<SavedLine> lines;
  for (auto& feature : *layer) {
    const OGRGeometry* geometry = feature->GetGeometryRef();
    if (geometry == nullptr || wkbFlatten(geometry->getGeometryType()) != wkbLineString) return std::nullopt;
    const OGRLineString* line = geometry->toLineString();
    if (line->getNumPoints() != 2) return std::nullopt;
    lines.push_back({line->getX(0), line->getY(0), line->getX(1), line->getY(1)});
  }
  return lines;
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

TEST_F(SaveTravel, WithoutADrawnPathItAsksForATrack) {
  driver->click(frmORVEX::kSaveTravel);
  EXPECT_EQ(messages(), std::vector<std::string>{"-|Please add a track"});
  EXPECT_TRUE(app.scriptedUi().dialogs().empty());
}

TEST_F(SaveTravel, ThePathBecomesOnePolylinePerSegmentInANewLayerAndTheFormStaysOpen) {
  drawTwoSteps();
  const auto output = folder / "travel.shp";
  app.scriptedUi().queueSaveAnswer(output);
  const std::size_t layersBefore = app.focusMap().layers().size();
  driver->click(frmORVEX::kSaveTravel);

  EXPECT_EQ(readLines(output), (std::vector<SavedLine>{{0, 0, 100, 0}, {100, 0, 100, 100}}));
  ASSERT_EQ(app.focusMap().layers().size(), layersBefore + 1);
  EXPECT_EQ(app.focusMap().layers().front()->name(), "travel");
  EXPECT_EQ(app.scriptedUi().dialogs().at(0).title, "Save Travel");
  // Adding its own layer is no reason for the form to close.
  EXPECT_TRUE(form->isOpen());
  EXPECT_TRUE(messages().empty());
}

TEST_F(SaveTravel, AnExistingShapefileIsNeverReplaced) {
  drawTwoSteps();
  const auto output = orvex::test::writeTrack(folder.path(), "travel", {{1, 1}});
  const std::string before = orvex::test::readAll(output);
  app.scriptedUi().queueSaveAnswer(output);
  driver->click(frmORVEX::kSaveTravel);
  EXPECT_EQ(orvex::test::readAll(output), before);
  EXPECT_EQ(messages(),
            std::vector<std::string>{"File Error|ERROR: file already exists. Cannot create output file."});
}

TEST_F(SaveTravel, ACancelledDialogWritesNothingAndAFailureIsReportedWithItsPrefix) {
  drawTwoSteps();
  app.scriptedUi().queueSaveAnswer(std::nullopt);
  driver->click(frmORVEX::kSaveTravel);
  EXPECT_TRUE(messages().empty());

  app.scriptedUi().queueSaveAnswer(folder / "no such folder" / "travel.shp");
  driver->click(frmORVEX::kSaveTravel);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("-|" + std::string(track::kTrackSaveErrorPrefix), 0), 0u) << messages()[0];
  EXPECT_TRUE(form->isOpen());
}

}  // namespace
