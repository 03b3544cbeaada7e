// The track display form driven as a person would: fix labels, manual steps in both
// directions, keep-path, the out-of-sequence question, the automatic display with its pace and
// Stop, and the end-of-track messages.

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "host/error.h"
#include "track_support.h"

namespace host = orvex::host;
using orvex::test::Segment;
using orvex::test::TrackFixture;
using orvex::ui::frmORVEX;
namespace track = orvex::ui::track;
using Answer = orvex::platform::headless::ChoicePolicy;
using Segments = std::vector<Segment>;
using Texts = std::vector<std::string>;

namespace {

TEST(FixLabels, ReadTheFieldsInAnyCaseWithZeroOrNoDataForWhatIsMissing) {
  const auto fields = std::make_shared<const host::Fields>(
      std::vector<host::FieldDef>{{"me_per_sec", host::FieldType::Double},
                                  {"DIST", host::FieldType::Double},
                                  {"Time1", host::FieldType::String},
                                  {"Date_", host::FieldType::Date}});
  host::Row full(fields);
  full.setValue(0, 1.2346);
  full.setValue(1, 300.0);
  full.setValue(2, "12:30:00");
  full.setValue(3, *host::Date::parseIso8601("2004-06-01"));
  const host::Row empty(fields);
  const host::ObjectId largest = std::numeric_limits<host::ObjectId>::max();
  struct Case {
    const host::Row* row;
    host::ObjectId id, last;
    Texts expected;  // stats, date and time, fix
  };
  for (const Case& c : std::vector<Case>{
           {&full, 4, 9, {"Meters per sec: 1.2346 Distance: 300", "Date: 2004-06-01 at 12:30:00", "5/10"}},
           {&empty,
            40000,
            70000,
            {"Meters per sec: 0 Distance: 0", "Date: No data at No data", "40001/70001"}},
           {nullptr,
            largest,
            largest,
            {"Meters per sec: 0 Distance: 0", "Date: No data at No data", "2147483648/2147483648"}}}) {
    const track::FixLabels labels = track::LabelsForFix(c.row, c.id, c.last);
    EXPECT_EQ((Texts{labels.stats, labels.dateAndTime, labels.fix}), c.expected);
  }
}

class TrackDisplay : public TrackFixture {
 protected:
  void stepMode(bool keepPath) {
    loadTrack(orvex::test::squareTrack());
    open();
    driver->check(frmORVEX::kKeepPath, keepPath);
    driver->check(frmORVEX::kOneStep, true);
  }
};

TEST_F(TrackDisplay, LoadShowsTheFirstFixAndOffersDisplayTravelFirst) {
  loadTrack(orvex::test::squareTrack());
  open();
  EXPECT_EQ(form->trackSize(), 4);
  EXPECT_EQ(control(frmORVEX::kTrackSlider).maximum(), 3);
  EXPECT_EQ(
      (Texts{caption(frmORVEX::kStatsLabel), caption(frmORVEX::kDateLabel), caption(frmORVEX::kFixLabel)}),
      (Texts{"Meters per sec: 0 Distance: 0", "Date: 2021-05-01 at 00:00:00", "1/4"}));
  EXPECT_EQ(control(frmORVEX::kPaceText).text(), "0.5");
  EXPECT_THROW(driver->click(frmORVEX::kStepForward), host::Error);  // disabled until one step mode
  driver->check(frmORVEX::kOneStep, true);
  EXPECT_THROW(driver->click(frmORVEX::kDisplayTravel), host::Error);
  EXPECT_THROW(driver->click(frmORVEX::kStop), host::Error);
}

TEST_F(TrackDisplay, WithoutAPointLayerTheFormSaysSoAndUnloads) {
  loadTrack(orvex::test::squareTrack());
  app.headlessDocument().setSelectedLayer(nullptr);
  open();
  EXPECT_FALSE(form->isOpen());
  EXPECT_EQ(messages(), Texts{"Display Tracks|" + std::string(track::kTrackNoLayerAtStart)});
  EXPECT_EQ(app.view().events().subscriberCount(), 0);
}

TEST_F(TrackDisplay, StepsWithoutKeepPathShowOnlyTheNewestSegmentAndStopAtTheEnds) {
  stepMode(false);
  driver->click(frmORVEX::kStepBack);
  driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(caption(frmORVEX::kStatsLabel), "Meters per sec: 1.5 Distance: 100");
  for (int i = 0; i < 3; ++i) driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(shownSegments(), (Segments{{100, 100, 0, 100}}));
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "4/4");
  EXPECT_EQ(messages(),
            (Texts{"Display Tracks|No more steps back.", "Display Tracks|No more steps forward."}));
  const host::Symbol expected{{223, 223, 223}, 2.0, host::ArrowMarker{{255, 0, 0}, 12.0, 0.5}};
  EXPECT_EQ(app.view().graphics().elements().at(0).second.symbol, expected);
}

TEST_F(TrackDisplay, KeepPathAccumulatesAndAChangeOfDirectionStartsAFreshPath) {
  stepMode(true);
  driver->click(frmORVEX::kStepForward);
  driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(shownSegments(), (Segments{{0, 0, 100, 0}, {100, 0, 100, 100}}));
  // Back: a fresh path, each segment still drawn in the direction of travel.
  driver->click(frmORVEX::kStepBack);
  driver->click(frmORVEX::kStepBack);
  EXPECT_EQ(shownSegments(), (Segments{{100, 0, 100, 100}, {0, 0, 100, 0}}));
  driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(shownSegments(), (Segments{{0, 0, 100, 0}}));
  // The slider moved by hand clears the path and shows its fix.
  driver->slide(frmORVEX::kTrackSlider, 3);
  EXPECT_TRUE(shownSegments().empty());
  EXPECT_EQ(caption(frmORVEX::kStatsLabel), "Meters per sec: 0.5 Distance: 100");
}

TEST_F(TrackDisplay, DeletingThePathLeavesOtherGraphicsOfTheMapAlone) {
  const host::ElementId someoneElses = app.view().graphics().add(
      host::GraphicElement{host::Geometry(host::Point{5, 5}), {}, std::string("note")});
  stepMode(true);
  driver->click(frmORVEX::kStepForward);
  driver->click(frmORVEX::kDeletePath);
  ASSERT_EQ(app.view().graphics().count(), 1);
  EXPECT_EQ(app.view().graphics().elements()[0].first, someoneElses);
}

TEST_F(TrackDisplay, APathKeptByAClosedDisplayIsDeletedFromTheNextOne) {
  const host::ElementId someoneElses = app.view().graphics().add(
      host::GraphicElement{host::Geometry(host::Point{5, 5}), {}, std::string("note")});
  stepMode(true);
  driver->click(frmORVEX::kStepForward);
  driver->click(frmORVEX::kStepForward);
  form->close(host::dialog_result::kCancel);
  ASSERT_EQ(shownSegments().size(), 2u) << "closing keeps the path on the map";
  open();
  driver->click(frmORVEX::kDeletePath);
  ASSERT_EQ(app.view().graphics().count(), 1);
  EXPECT_EQ(app.view().graphics().elements()[0].first, someoneElses);
}

TEST_F(TrackDisplay, EveryGapInTheObjectIdsAsksAndNoStillAdvancesWithoutDrawing) {
  // Fixes 0, 2, 3 and 5 of six along the x axis: gaps before 2 and before 5.
  std::vector<orvex::test::TrackFix> fixes;
  for (int i = 0; i < 6; ++i) fixes.push_back({10.0 * i, 0.0});
  loadTrack(fixes, {0, 2, 3, 5});
  open();
  driver->check(frmORVEX::kKeepPath, true);
  driver->check(frmORVEX::kOneStep, true);
  app.scriptedUi().setChoicePolicy(Answer::No);
  driver->click(frmORVEX::kStepForward);  // 0 -> 2, not drawn
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "3/6");
  driver->click(frmORVEX::kStepForward);  // 2 -> 3, in sequence
  app.scriptedUi().setChoicePolicy(Answer::Yes);
  driver->click(frmORVEX::kStepForward);  // 3 -> 5, drawn
  EXPECT_EQ(shownSegments(), (Segments{{20, 0, 30, 0}, {30, 0, 50, 0}}));
  driver->click(frmORVEX::kStepBack);  // back over the last gap asks again
  EXPECT_EQ(messages(), Texts(3, "-|" + std::string(track::kTrackOutOfSequence)));
  EXPECT_EQ(app.scriptedUi().messages()[0].message.buttons, host::MessageButtons::YesNo);
}

class AutomaticDisplay : public TrackFixture {
 protected:
  void SetUp() override {
    std::vector<orvex::test::TrackFix> fixes;
    for (int i = 0; i < 6; ++i) fixes.push_back({10.0 * i, 5.0 * i});
    loadTrack(fixes);
    open();
  }
  std::chrono::milliseconds waited() { return app.headlessClock().waited(); }
};

TEST_F(AutomaticDisplay, RunsToTheEndWaitingThePaceAfterEachStep) {
  driver->type(frmORVEX::kPaceText, "0.25");
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(shownSegments(), (Segments{{40, 20, 50, 25}}));  // keep-path off: the latest only
  EXPECT_EQ(segmentsEverDrawn(), 5u);
  EXPECT_EQ(waited(), std::chrono::milliseconds(5 * 250));
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "6/6");
  EXPECT_EQ(messages(), Texts{"Display Tracks|No more steps. Please reset."});
}

TEST_F(AutomaticDisplay, ThePaceComesFromTheSpeedSliderWhenTheBoxHoldsNoneAndIsCappedAtAnHour) {
  driver->slide(frmORVEX::kSpeedSlider, 9);
  EXPECT_EQ(control(frmORVEX::kPaceText).text(), "0.1");  // 9 x 0.01 + 0.01
  driver->type(frmORVEX::kPaceText, "soon");
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(waited(), std::chrono::milliseconds(5 * 100));
  driver->slide(frmORVEX::kTrackSlider, 0);
  driver->type(frmORVEX::kPaceText, "1e300");
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(waited(), std::chrono::milliseconds(5 * 100 + 5 * 3600 * 1000));
}

TEST_F(AutomaticDisplay, StopEndsAfterTheCurrentWaitAndDisplayTravelGoesOnWithThePathKept) {
  driver->check(frmORVEX::kKeepPath, true);
  app.scriptedUi().postEvent([this] { driver->click(frmORVEX::kStop); });  // during the first wait
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(shownSegments().size(), 1u);
  EXPECT_TRUE(messages().empty());
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(shownSegments().size(), 5u);
  // Without a Stop before it, Display Travel clears the path; at the end it only says so.
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_TRUE(shownSegments().empty());
  EXPECT_EQ(messages(), Texts(2, "Display Tracks|No more steps. Please reset."));
}

TEST_F(AutomaticDisplay, OneStepTickedOrDisplayTravelPressedWhileRunningNeitherNestsNorStrands) {
  // Display Travel again is ignored; One Step at a Time disables Stop, so it stops the run.
  app.scriptedUi().postEvent([this] { form->control(frmORVEX::kDisplayTravel).press(); });
  app.scriptedUi().postEvent([this] { driver->check(frmORVEX::kOneStep, true); });
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_FALSE(form->running());
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 1);
  EXPECT_EQ(segmentsEverDrawn(), 1u);
  EXPECT_TRUE(messages().empty());
}

}  // namespace
