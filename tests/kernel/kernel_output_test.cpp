// One run's output: rings grouped into one feature per level, smoothing and densifying, the
// widened fields, and the points the command can use.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "core/kernel/kernel_output.h"
#include "kernel/kernel_test_support.h"
#include "platform/headless/headless_application.h"

namespace {

using orvex::core::ContourKind;
using orvex::core::KernelEngine;

/// Two round clouds of 100 fixes 20 sd apart, run as the command runs them at 0.3 href.
KernelEngine twoPeaks(const char* levels) {
  std::vector<orvex::test::XY> points = orvex::test::gaussianCloud(100, 1.0);
  for (const auto& p : orvex::test::gaussianCloud(100, 1.0, 20.0, 0.0)) points.push_back(p);
  KernelEngine engine = orvex::test::loadedEngine(points);
  engine.set_h_proportional(0.3);
  engine.init_matrix(150);
  engine.set_contour_levels(levels);
  engine.kern_fixed();
  engine.AVMakeContour();
  return engine;
}

TEST(KernelLevels, OneFeaturePerLevelLargestFirstHoldingEveryRingOfItsLevel) {
  const KernelEngine engine = twoPeaks("0.1, 0.5, 0.9");
  const auto levels = orvex::core::kernelLevels(engine, ContourKind::Volume);
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0].volume, static_cast<double>(0.9f)) << "from the ring's single precision";
  EXPECT_EQ(levels[2].volume, static_cast<double>(0.1f));
  EXPECT_EQ(levels[2].rings.size(), 2u) << "the 10 % level rings each peak";
  std::size_t rings = 0;
  for (const auto& level : levels) {
    rings += level.rings.size();
    for (const auto& ring : level.rings) {
      EXPECT_EQ(ring.front(), ring.back());
      EXPECT_TRUE(orvex::host::signedRingArea(ring) > 0.0) << "outer rings as the host holds them";
    }
  }
  EXPECT_EQ(rings, static_cast<std::size_t>(engine.ring_count()));
}

TEST(KernelFeature, SmoothingAndDensifyingAddVerticesAndKeepTheArea) {
  std::ostringstream out;
  orvex::platform::headless::HeadlessOptions options;
  options.messages = &out;
  orvex::platform::headless::HeadlessApplication application(options);
  const auto levels = orvex::core::kernelLevels(twoPeaks("0.5"), ContourKind::Volume);
  ASSERT_EQ(levels.size(), 1u);
  const auto vertices = [](const orvex::core::KernelFeature& feature) {
    std::size_t count = 0;
    for (const auto& ring : feature.polygon.rings) count += ring.size();
    return count;
  };

  orvex::core::KernelOptions choice;
  const auto plain = orvex::core::kernelFeature(application.geometry(), levels[0], choice, nullptr);
  EXPECT_GT(plain.area, 0.0);
  choice.densify = true;
  choice.densifyLength = 0.01;
  const auto dense = orvex::core::kernelFeature(application.geometry(), levels[0], choice, nullptr);
  EXPECT_GT(vertices(dense), 2 * vertices(plain));
  EXPECT_NEAR(dense.area, plain.area, 1e-9 * plain.area) << "straight segments stay straight";
  choice = {};
  choice.smooth = true;
  const auto smooth = orvex::core::kernelFeature(application.geometry(), levels[0], choice, nullptr);
  EXPECT_EQ(smooth.polygon.rings.size(), plain.polygon.rings.size());
  EXPECT_GT(vertices(smooth), vertices(plain));
  // A curve through the vertices of a fine contour moves its area by far less than 2 %.
  EXPECT_NEAR(smooth.area, plain.area, 0.02 * plain.area);
}

TEST(KernelFields, DoubleFieldsWidenForValuesThatWouldNotFit) {
  // "%.12f" of 4e12 takes 26 characters, of 3e8 22; 150000 fits the schema's 20.
  std::vector<orvex::core::KernelFeature> features{{{}, 0.9, 1e-9, 4e12}, {{}, 0.5, 2e-9, 1e6}};
  const auto fields = orvex::core::kernelOutputFields(nullptr, features, {{}, 150000.0, 3e8, 5});
  const auto format = [&](const char* name) {
    const auto& field = fields.at(fields.find(name));
    return std::pair{field.precision, field.scale};
  };
  EXPECT_EQ(format("Area"), std::pair(26, 12));
  EXPECT_EQ(format("href"), std::pair(22, 12));
  EXPECT_EQ(format("h"), std::pair(20, 12));
  EXPECT_EQ(format("Volume"), std::pair(20, 12));
  // Beyond the widest .dbf number (254 characters) decimals are given up instead.
  features[0].area = 2e250;  // 251 digits before the point
  const auto huge = orvex::core::kernelOutputFields(nullptr, features, {}).at(7);
  EXPECT_EQ(std::pair(huge.precision, huge.scale), std::pair(254, 2));
}

TEST(KernelFixes, FiveUsablePointsAmongTwentyFeatures) {
  namespace host = orvex::host;
  const auto fields = std::make_shared<const host::Fields>(
      std::vector<host::FieldDef>{host::FieldDef("AnimalID", host::FieldType::String, 20)});
  const auto feature = [&](host::Geometry shape, host::Value animal,
                           host::FeatureType type = host::FeatureType::Simple) {
    host::Feature row(fields);
    row.setShape(std::move(shape));
    row.setValue(0, std::move(animal));
    row.setFeatureType(type);
    return row;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Usable points interleaved with lines, empty shapes, NaN and out-of-float coordinates and
  // annotation; the last text "AnimalID" names the animal, a number does not.
  const std::vector<std::pair<host::Point, host::Value>> good{
      {{1, 1}, "a"}, {{2, 1}, {}}, {{3, 1}, "b"}, {{4, 1}, std::int32_t{7}}, {{5.25, -1}, {}}};
  std::vector<host::Feature> features;
  for (const auto& [point, animal] : good) {
    features.push_back(feature(point, animal));
    features.push_back(feature(host::Polyline{{{{0, 0}, {1, 1}}}}, "x"));
    features.push_back(feature(host::Point{nan, 1.0}, "x"));
    features.push_back(feature(host::Geometry(), "x"));
  }
  features.back() = feature(host::Point{1e39, 0.0}, "x");
  features[3] = feature(host::Point{2, 2}, "x", host::FeatureType::Annotation);
  ASSERT_EQ(features.size(), 20u);

  const auto fixes = orvex::core::usableFixes(features);
  ASSERT_EQ(fixes.size(), 5u);
  for (std::size_t k = 0; k < fixes.size(); ++k) EXPECT_EQ(fixes[k].x, static_cast<float>(good[k].first.x));
  KernelEngine engine(5);
  orvex::core::loadKernelEngine(engine, fixes);
  EXPECT_EQ(engine.animal_id(), "b");
}

}  // namespace
