// The track display form driven as a person would: loading, fix labels, manual steps in both
// directions, keep-path, the out-of-sequence question, the automatic display with its pace and
// Stop, and the end-of-track messages.

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "host/error.h"
#include "track_support.h"

namespace host = orvex::host;
using orvex::test::Segment;
using orvex::test::TrackFields;
using orvex::test::TrackFix;
using orvex::test::TrackFixture;
using orvex::ui::frmORVEX;
namespace track = orvex::ui::track;
using Answer = orvex::platform::headless::ChoicePolicy;

namespace {

// Fix labels -------------------------------------------------------------------------------

TEST(FixLabels, FromTheRowsFieldsWithZeroAndNoDataForWhatIsMissing) {
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

  struct Case {
    const host::Row* row;
    track::FixLabels expected;
  };
  const Case cases[] = {
      // Field names in any letter case; "Date_" stands in for a missing "Date".
      {&full, {"Meters per sec: 1.2346 Distance: 300", "Date: 2004-06-01 at 12:30:00", "5/10"}},
      // Empty values read like missing fields.
      {&empty, {"Meters per sec: 0 Distance: 0", "Date: No data at No data", "5/10"}},
      // A row that is gone.
      {nullptr, {"Meters per sec: 0 Distance: 0", "Date: No data at No data", "5/10"}},
  };
  for (const Case& c : cases) {
    const track::FixLabels labels = track::LabelsForFix(c.row, 4, 9);
    EXPECT_EQ(labels.stats, c.expected.stats);
    EXPECT_EQ(labels.dateAndTime, c.expected.dateAndTime);
    EXPECT_EQ(labels.fix, c.expected.fix);
  }
}

TEST(FixLabels, ObjectIdsBeyondSixteenBitsAndAtTheThirtyTwoBitLimitCountOn) {
  EXPECT_EQ(track::LabelsForFix(nullptr, 40000, 70000).fix, "40001/70001");
  const host::ObjectId largest = std::numeric_limits<host::ObjectId>::max();
  EXPECT_EQ(track::LabelsForFix(nullptr, largest, largest).fix, "2147483648/2147483648");
}

TEST(FixLabels, PaceOfTheSpeedSliderIsAHundredthPerStepFromAHundredth) {
  EXPECT_EQ(track::PaceForSpeedSlider(0), 0.01);
  EXPECT_EQ(track::PaceForSpeedSlider(49), 0.5);
  EXPECT_EQ(track::PaceForSpeedSlider(100), 1.01);
}

// Loading ------------------------------------------------------------------------------------

class TrackDisplay : public TrackFixture {};

TEST_F(TrackDisplay, LoadShowsTheFirstFixAndSpansTheSliderOverTheTrack) {
  loadTrack(orvex::test::squareTrack());
  frmORVEX& display = open();
  EXPECT_TRUE(display.isOpen());
  EXPECT_EQ(display.caption(), "Display Travel");
  EXPECT_EQ(display.trackSize(), 4);
  EXPECT_EQ(control(frmORVEX::kTrackSlider).maximum(), 3);
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 0);
  EXPECT_EQ(caption(frmORVEX::kStatsLabel), "Meters per sec: 0 Distance: 0");
  EXPECT_EQ(caption(frmORVEX::kDateLabel), "Date: 2021-05-01 at 00:00:00");
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "1/4");
  EXPECT_EQ(control(frmORVEX::kPaceText).text(), "0.5");
  // Display Travel mode first: the step buttons wait for One Step at a Time.
  EXPECT_TRUE(control(frmORVEX::kDisplayTravel).enabled());
  EXPECT_FALSE(control(frmORVEX::kStepForward).enabled());
  EXPECT_FALSE(control(frmORVEX::kStepBack).enabled());
}

TEST_F(TrackDisplay, ALayerWithoutTheFieldsShowsZeroAndNoData) {
  loadTrack(orvex::test::squareTrack(), {}, TrackFields{false, false});
  open();
  driver->check(frmORVEX::kOneStep, true);
  driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(caption(frmORVEX::kStatsLabel), "Meters per sec: 0 Distance: 0");
  EXPECT_EQ(caption(frmORVEX::kDateLabel), "Date: No data at No data");
}

TEST_F(TrackDisplay, WithoutAPointLayerTheFormSaysSoAndUnloads) {
  loadTrack(orvex::test::squareTrack());
  app.headlessDocument().setSelectedLayer(nullptr);
  const int listeners = app.view().events().subscriberCount();
  frmORVEX& display = open();
  EXPECT_FALSE(display.isOpen());
  EXPECT_EQ(messages(),
            std::vector<std::string>{"Display Tracks|" + std::string(track::kTrackNoLayerAtStart)});
  EXPECT_EQ(app.view().events().subscriberCount(), listeners);
}

// Manual steps -------------------------------------------------------------------------------

TEST_F(TrackDisplay, OneStepAtATimeSwapsWhichButtonsAPersonCanReach) {
  loadTrack(orvex::test::squareTrack());
  open();
  driver->check(frmORVEX::kOneStep, true);
  EXPECT_TRUE(control(frmORVEX::kStepForward).enabled());
  EXPECT_TRUE(control(frmORVEX::kStepBack).enabled());
  EXPECT_FALSE(control(frmORVEX::kDisplayTravel).enabled());
  EXPECT_FALSE(control(frmORVEX::kStop).enabled());
  EXPECT_THROW(driver->click(frmORVEX::kDisplayTravel), host::Error);
  driver->check(frmORVEX::kOneStep, false);
  EXPECT_FALSE(control(frmORVEX::kStepForward).enabled());
  EXPECT_TRUE(control(frmORVEX::kDisplayTravel).enabled());
}

TEST_F(TrackDisplay, StepsForwardShowEachFixAndKeepOnlyTheNewestSegmentWithoutKeepPath) {
  loadTrack(orvex::test::squareTrack());
  open();
  driver->check(frmORVEX::kOneStep, true);
  driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{0, 0, 100, 0}}));
  EXPECT_EQ(caption(frmORVEX::kStatsLabel), "Meters per sec: 1.5 Distance: 100");
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "2/4");
  driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{100, 0, 100, 100}}));
  EXPECT_EQ(caption(frmORVEX::kDateLabel), "Date: 2021-05-01 at 04:00:00");
  EXPECT_EQ(segmentsEverDrawn(), 2u);
}

TEST_F(TrackDisplay, KeepPathAccumulatesTheSegmentsWithTheTrackSymbol) {
  loadTrack(orvex::test::squareTrack());
  open();
  driver->check(frmORVEX::kKeepPath, true);
  driver->check(frmORVEX::kOneStep, true);
  for (int i = 0; i < 3; ++i) driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{0, 0, 100, 0}, {100, 0, 100, 100}, {100, 100, 0, 100}}));
  const host::Symbol expected{{223, 223, 223}, 2.0, host::ArrowMarker{{255, 0, 0}, 12.0, 0.5}};
  for (const auto& [id, element] : app.view().graphics().elements()) EXPECT_EQ(element.symbol, expected);
  EXPECT_EQ(form->drawnPath().size(), 3u);
}

TEST_F(TrackDisplay, TheEndsOfTheTrackStopTheStepsWithTheirMessages) {
  loadTrack(orvex::test::squareTrack());
  open();
  driver->check(frmORVEX::kOneStep, true);
  driver->click(frmORVEX::kStepBack);
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 0);
  for (int i = 0; i < 4; ++i) driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 3);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Display Tracks|No more steps back.",
                                                  "Display Tracks|No more steps forward."}));
}

TEST_F(TrackDisplay, AChangeOfDirectionStartsAFreshPathDrawnInTheDirectionOfTravel) {
  loadTrack(orvex::test::squareTrack());
  open();
  driver->check(frmORVEX::kKeepPath, true);
  driver->check(frmORVEX::kOneStep, true);
  driver->click(frmORVEX::kStepForward);
  driver->click(frmORVEX::kStepForward);
  ASSERT_EQ(shownSegments().size(), 2u);
  driver->click(frmORVEX::kStepBack);  // from fix 3 to fix 2: the path of the forward steps goes
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{100, 0, 100, 100}}));
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "2/4");
  driver->click(frmORVEX::kStepBack);
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{100, 0, 100, 100}, {0, 0, 100, 0}}));
  driver->click(frmORVEX::kStepForward);  // and back again: fresh once more
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{0, 0, 100, 0}}));
}

TEST_F(TrackDisplay, TheTrackSliderMovedByHandClearsThePathAndShowsThatFix) {
  loadTrack(orvex::test::squareTrack());
  open();
  driver->check(frmORVEX::kKeepPath, true);
  driver->check(frmORVEX::kOneStep, true);
  driver->click(frmORVEX::kStepForward);
  driver->slide(frmORVEX::kTrackSlider, 3);
  EXPECT_TRUE(shownSegments().empty());
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "4/4");
  EXPECT_EQ(caption(frmORVEX::kStatsLabel), "Meters per sec: 0.5 Distance: 100");
}

TEST_F(TrackDisplay, DeleteTravelPathRemovesOnlyTheFormsOwnGraphics) {
  loadTrack(orvex::test::squareTrack());
  const host::ElementId someoneElses = app.view().graphics().add(
      host::GraphicElement{host::Geometry(host::Point{5, 5}), {}, std::string("note")});
  open();
  driver->check(frmORVEX::kOneStep, true);
  driver->click(frmORVEX::kStepForward);
  driver->click(frmORVEX::kDeletePath);
  const auto left = app.view().graphics().elements();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].first, someoneElses);
}

// Out of sequence ---------------------------------------------------------------------------

class OutOfSequence : public TrackFixture {
 protected:
  // Fixes 0, 2, 3 and 5 of six: gaps before 2 and before 5.
  void SetUp() override {
    std::vector<TrackFix> fixes;
    for (int i = 0; i < 6; ++i) fixes.push_back({10.0 * i, 0.0});
    loadTrack(fixes, {0, 2, 3, 5});
    open();
    driver->check(frmORVEX::kKeepPath, true);
    driver->check(frmORVEX::kOneStep, true);
  }
  int questions() {
    int asked = 0;
    for (const auto& record : app.scriptedUi().messages())
      asked += record.message.text == track::kTrackOutOfSequence ? 1 : 0;
    return asked;
  }
};

TEST_F(OutOfSequence, EveryGapAsksAndYesDrawsTheSegment) {
  app.scriptedUi().setChoicePolicy(Answer::Yes);
  for (int i = 0; i < 3; ++i) driver->click(frmORVEX::kStepForward);
  EXPECT_EQ(questions(), 2);
  EXPECT_EQ(shownSegments().size(), 3u);
  const auto& question = app.scriptedUi().messages().front().message;
  EXPECT_EQ(question.buttons, host::MessageButtons::YesNo);
}

TEST_F(OutOfSequence, NoSkipsTheDrawingButStillAdvancesAndKeepsThePath) {
  app.scriptedUi().setChoicePolicy(Answer::No);
  driver->click(frmORVEX::kStepForward);  // 0 -> 2: No
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 1);
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "3/6");
  EXPECT_TRUE(shownSegments().empty());
  driver->click(frmORVEX::kStepForward);  // 2 -> 3: in sequence, drawn
  driver->click(frmORVEX::kStepForward);  // 3 -> 5: No
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{20, 0, 30, 0}}));
  EXPECT_EQ(questions(), 2);
}

TEST_F(OutOfSequence, SteppingBackOverAGapAsksTheSameQuestion) {
  app.scriptedUi().setChoicePolicy(Answer::Yes);
  driver->slide(frmORVEX::kTrackSlider, 3);
  driver->click(frmORVEX::kStepBack);  // 5 -> 3
  EXPECT_EQ(questions(), 1);
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{30, 0, 50, 0}}));
}

// Automatic display -------------------------------------------------------------------------

class AutomaticDisplay : public TrackFixture {
 protected:
  void SetUp() override {
    std::vector<TrackFix> fixes;
    for (int i = 0; i < 6; ++i) fixes.push_back({10.0 * i, 5.0 * i});
    loadTrack(fixes);
    open();
  }
  std::chrono::milliseconds waited() { return app.headlessClock().waited(); }
};

TEST_F(AutomaticDisplay, RunsToTheEndWaitingThePaceAfterEachStep) {
  driver->type(frmORVEX::kPaceText, "0.25");
  driver->check(frmORVEX::kKeepPath, true);
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(shownSegments().size(), 5u);
  EXPECT_EQ(waited(), std::chrono::milliseconds(5 * 250));
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 5);
  EXPECT_EQ(caption(frmORVEX::kFixLabel), "6/6");
  EXPECT_EQ(messages(), std::vector<std::string>{"Display Tracks|No more steps. Please reset."});
  EXPECT_FALSE(form->running());
}

TEST_F(AutomaticDisplay, WithoutKeepPathOnlyTheLatestSegmentStays) {
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(shownSegments(), (std::vector<Segment>{{40, 20, 50, 25}}));
  EXPECT_EQ(segmentsEverDrawn(), 5u);
}

TEST_F(AutomaticDisplay, TheSpeedSliderSetsThePaceAndANonsensePaceFallsBackToIt) {
  driver->slide(frmORVEX::kSpeedSlider, 9);
  EXPECT_EQ(control(frmORVEX::kPaceText).text(), "0.1");
  driver->type(frmORVEX::kPaceText, "soon");
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(waited(), std::chrono::milliseconds(5 * 100));
  EXPECT_EQ(control(frmORVEX::kPaceText).text(), "0.1");
}

TEST_F(AutomaticDisplay, AHugePaceIsCappedAtAnHour) {
  driver->type(frmORVEX::kPaceText, "1e300");
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(waited(), std::chrono::milliseconds(5 * 3600 * 1000));
}

TEST_F(AutomaticDisplay, StopEndsAfterTheCurrentWaitAndDisplayTravelGoesOnWithThePathKept) {
  driver->check(frmORVEX::kKeepPath, true);
  // A person presses Stop while the first wait runs.
  app.scriptedUi().postEvent([this] { driver->click(frmORVEX::kStop); });
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 1);
  EXPECT_EQ(shownSegments().size(), 1u);
  EXPECT_TRUE(messages().empty());

  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(shownSegments().size(), 5u);
  EXPECT_EQ(messages(), std::vector<std::string>{"Display Tracks|No more steps. Please reset."});

  // Without a Stop before it, Display Travel clears the path; at the end it only says so.
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_TRUE(shownSegments().empty());
  EXPECT_EQ(messages().size(), 2u);
}

TEST_F(AutomaticDisplay, TickingOneStepWhileItRunsStopsItSinceStopIsNoLongerReachable) {
  app.scriptedUi().postEvent([this] { driver->check(frmORVEX::kOneStep, true); });
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_FALSE(form->running());
  EXPECT_EQ(control(frmORVEX::kTrackSlider).value(), 1);
  EXPECT_TRUE(shownSegments().empty());  // One Step at a Time clears the path
}

TEST_F(AutomaticDisplay, ASecondDisplayTravelWhileRunningDoesNotNestAnotherLoop) {
  app.scriptedUi().postEvent([this] { form->control(frmORVEX::kDisplayTravel).press(); });
  driver->click(frmORVEX::kDisplayTravel);
  EXPECT_EQ(segmentsEverDrawn(), 5u);
  EXPECT_EQ(messages().size(), 1u);
}

}  // namespace
