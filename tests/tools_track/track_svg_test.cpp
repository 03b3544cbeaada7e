// The animated SVG of a track display, read back with an XML parser: one animated group per
// drawn segment shown and hidden at the recorded moments, north up, arrows along the travel,
// captions per moment, escaping.

#include <gtest/gtest.h>

#include "apps/orvex/track_svg.h"
#include "svg_reader.h"

namespace host = orvex::host;
using orvex::cli::TrackAnimation;
using orvex::cli::TrackFrame;
using orvex::cli::trackSvg;
using orvex::test::readSvg;
using orvex::test::SvgPicture;

namespace {

host::GraphicElement segment(double x1, double y1, double x2, double y2) {
  host::Polyline line;
  line.paths.push_back({host::Point{x1, y1}, host::Point{x2, y2}});
  return {host::Geometry(std::move(line)),
          host::Symbol{{223, 223, 223}, 2.0, host::ArrowMarker{{255, 0, 0}, 12.0, 0.5}}, std::nullopt};
}

SvgPicture picture(const TrackAnimation& animation) {
  const auto read = readSvg(trackSvg(animation));
  EXPECT_TRUE(read.has_value()) << trackSvg(animation);
  return read.value_or(SvgPicture{});
}

std::vector<std::string> setsOf(const orvex::test::SvgGroup& group) {
  std::vector<std::string> sets;
  for (const auto& set : group.sets) sets.push_back(set.to + "@" + set.begin);
  return sets;
}

// Three steps without keep-path, then one kept: segment 1 is replaced by 2, and 3 joins 2.
TrackAnimation threeSteps() {
  TrackAnimation animation;
  animation.drawn = {{1, segment(0, 0, 10, 0)}, {2, segment(10, 0, 10, 10)}, {3, segment(10, 10, 0, 10)}};
  animation.frames = {{{}, {"1/4"}}, {{1}, {"2/4"}}, {{2}, {"3/4"}}, {{2, 3}, {"4/4"}}};
  animation.stepSeconds = 0.5;
  return animation;
}

TEST(TrackSvg, EachSegmentIsOneGroupShownAndHiddenAtItsMoments) {
  const SvgPicture svg = picture(threeSteps());
  ASSERT_EQ(svg.segments.size(), 3u);
  ASSERT_EQ(svg.captions.size(), 4u);
  EXPECT_EQ(setsOf(svg.captions[0]), (std::vector<std::string>{"visible@0.000s", "hidden@0.500s"}));
  EXPECT_EQ(setsOf(svg.segments[0]), (std::vector<std::string>{"visible@0.500s", "hidden@1.000s"}));
  EXPECT_EQ(setsOf(svg.segments[1]), (std::vector<std::string>{"visible@1.000s"}));  // stays to the end
  EXPECT_EQ(setsOf(svg.segments[2]), (std::vector<std::string>{"visible@1.500s"}));
  for (const auto& group : svg.segments) {
    EXPECT_EQ(group.polylines.size(), 1u);
    EXPECT_EQ(group.arrows.size(), 1u);
  }
}

TEST(TrackSvg, ASegmentShownInTwoSeparateRunsGetsTwoPairsOfSets) {
  TrackAnimation animation;
  animation.drawn = {{7, segment(0, 0, 1, 1)}};
  animation.frames = {{{}, {}}, {{7}, {}}, {{7}, {}}, {{}, {}}, {{7}, {}}, {{}, {}}};
  animation.stepSeconds = 1.0;
  const SvgPicture svg = picture(animation);
  ASSERT_EQ(svg.segments.size(), 1u);
  EXPECT_EQ(setsOf(svg.segments[0]),
            (std::vector<std::string>{"visible@1.000s", "hidden@3.000s", "visible@4.000s", "hidden@5.000s"}));
}

TEST(TrackSvg, NorthIsUpAndTheArrowSitsHalfwayPointingAlongTheTravel) {
  // A walk due north, 100 map units: only a height, so the map band's 800 px set the scale
  // (8 px per unit); the 752 px wide band centres it at x = 24 + 752 / 2 = 400.
  TrackAnimation animation;
  animation.drawn = {{1, segment(5, 0, 5, 100)}};
  animation.frames = {{{1}, {}}};
  const SvgPicture svg = picture(animation);
  ASSERT_EQ(svg.segments.size(), 1u);
  EXPECT_EQ(svg.segments[0].polylines, std::vector<std::string>{"400.00,824.00 400.00,24.00"});
  EXPECT_EQ(svg.segments[0].arrows, std::vector<std::string>{"translate(400.00 424.00) rotate(-90.00)"});
}

TEST(TrackSvg, UnseenAndNonLineGraphicsAreLeftOutAndTextsAreEscaped) {
  TrackAnimation animation;
  animation.drawn = {{1, segment(0, 0, 1, 0)},
                     {2, segment(1, 0, 2, 0)},
                     {3, host::GraphicElement{host::Geometry(host::Point{1, 1}), {}, std::string("pt")}}};
  animation.frames = {{{2, 3}, {"Date: <none> & \"so\" 'on'"}}};
  animation.title = "A & B";
  const SvgPicture svg = picture(animation);
  EXPECT_EQ(svg.segments.size(), 1u);
  ASSERT_EQ(svg.captions.size(), 1u);
  EXPECT_EQ(svg.captions[0].texts, std::vector<std::string>{"Date: <none> & \"so\" 'on'"});
}

}  // namespace
