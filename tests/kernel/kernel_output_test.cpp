// The output of one run: rings grouped into one feature per level in the order the features
// are written, the fields and their widths, the save title, and the usable-point filter.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>

#include "core/kernel/kernel_fixes.h"
#include "core/kernel/kernel_output.h"
#include "kernel/kernel_test_support.h"
#include "platform/headless/headless_application.h"

namespace {

using orvex::core::ContourKind;
using orvex::core::KernelEngine;
using orvex::core::KernelLevelRings;
using orvex::test::XY;

/// Two round clouds of 100 fixes, 20 sd apart, run as the command runs them at 0.3 href.
KernelEngine twoPeaks(ContourKind contour, const char* levels = "0.1, 0.5, 0.9") {
  std::vector<XY> points = orvex::test::gaussianCloud(100, 1.0);
  for (const XY& p : orvex::test::gaussianCloud(100, 1.0, 20.0, 0.0)) points.push_back(p);
  KernelEngine engine = orvex::test::loadedEngine(points);
  engine.set_search_range(0.1, 1.0, 0.05);
  engine.set_h_proportional(0.3);
  engine.init_matrix(150);
  if (contour == ContourKind::Density)
    engine.set_density_contouring();
  else
    engine.set_contour_levels(levels);
  engine.kern_fixed();
  engine.AVMakeContour();
  return engine;
}

// --- rings to features ----------------------------------------------------------------------

TEST(KernelLevels, VolumeLevelsComeLargestFirstWithEveryRingOfTheLevel) {
  const KernelEngine engine = twoPeaks(ContourKind::Volume);
  const std::vector<KernelLevelRings> levels = orvex::core::kernelLevels(engine, ContourKind::Volume);
  ASSERT_EQ(levels.size(), 3u);
  // Volumes are the rings' single-precision values.
  EXPECT_EQ(levels[0].volume, static_cast<double>(0.9f));
  EXPECT_EQ(levels[1].volume, static_cast<double>(0.5f));
  EXPECT_EQ(levels[2].volume, static_cast<double>(0.1f));
  EXPECT_LT(levels[0].density, levels[2].density) << "the largest polygon has the lowest density";
  // The 10 % level holds a ring around each peak in one feature.
  EXPECT_EQ(levels[2].rings.size(), 2u);
  std::size_t rings = 0;
  for (const KernelLevelRings& level : levels) rings += level.rings.size();
  EXPECT_EQ(rings, static_cast<std::size_t>(engine.ring_count())) << "no ring is lost or repeated";
}

TEST(KernelLevels, DensityLevelsComeLowestDensityFirst) {
  const KernelEngine engine = twoPeaks(ContourKind::Density);
  const std::vector<KernelLevelRings> levels = orvex::core::kernelLevels(engine, ContourKind::Density);
  // Nine levels k/9 of the highest density; the 9/9 level encloses nothing.
  ASSERT_GE(levels.size(), 2u);
  ASSERT_LE(levels.size(), 8u);
  for (std::size_t k = 1; k < levels.size(); ++k) {
    EXPECT_GT(levels[k].density, levels[k - 1].density);
    EXPECT_LT(levels[k].volume, levels[k - 1].volume);
  }
}

TEST(KernelLevels, RingsAreClosedAndOrientedAsTheHostHoldsOuterRings) {
  const KernelEngine engine = twoPeaks(ContourKind::Volume);
  for (const KernelLevelRings& level : orvex::core::kernelLevels(engine, ContourKind::Volume)) {
    for (const orvex::host::Ring& ring : level.rings) {
      ASSERT_GE(ring.size(), 4u);
      EXPECT_EQ(ring.front(), ring.back());
      // Rings around a peak are outer rings: clockwise, so the polygon's area is positive.
      EXPECT_TRUE(orvex::host::isClockwise(ring));
    }
  }
}

TEST(KernelLevels, AnEngineWithoutRingsGivesNoFeature) {
  KernelEngine engine(5);
  EXPECT_TRUE(orvex::core::kernelLevels(engine, ContourKind::Volume).empty());
  EXPECT_TRUE(orvex::core::kernelLevels(engine, ContourKind::Density).empty());
}

// --- smoothing and densifying -------------------------------------------------------------------

TEST(KernelFeature, SmoothingAndDensifyingKeepTheAreaAndAddVertices) {
  std::ostringstream out;
  orvex::platform::headless::HeadlessApplication application(orvex::platform::headless::HeadlessOptions{
      "Orvex", &out, orvex::platform::headless::ChoicePolicy::Ask, nullptr, nullptr, true});
  const KernelEngine engine = twoPeaks(ContourKind::Volume, "0.5");
  const std::vector<KernelLevelRings> levels = orvex::core::kernelLevels(engine, ContourKind::Volume);
  ASSERT_EQ(levels.size(), 1u);

  const auto vertices = [](const orvex::core::KernelFeature& feature) {
    std::size_t count = 0;
    for (const auto& ring : feature.polygon.rings) count += ring.size();
    return count;
  };
  orvex::core::KernelOptions options;
  const auto plain = orvex::core::kernelFeature(application.geometry(), levels[0], options, nullptr);
  EXPECT_DOUBLE_EQ(plain.area, plain.polygon.area());
  EXPECT_GT(plain.area, 0.0);

  options.densify = true;
  options.densifyLength = 0.01;
  const auto dense = orvex::core::kernelFeature(application.geometry(), levels[0], options, nullptr);
  EXPECT_GT(vertices(dense), 2 * vertices(plain));
  EXPECT_NEAR(dense.area, plain.area, 1e-9 * plain.area) << "straight segments stay straight";

  options.densify = false;
  options.smooth = true;
  const auto smooth = orvex::core::kernelFeature(application.geometry(), levels[0], options, nullptr);
  EXPECT_EQ(smooth.polygon.rings.size(), plain.polygon.rings.size());
  EXPECT_GT(vertices(smooth), vertices(plain));
  // A curve through the vertices of a fine contour changes its area by far less than 2 %.
  EXPECT_NEAR(smooth.area, plain.area, 0.02 * plain.area);
}

// --- fields ------------------------------------------------------------------------------------

TEST(KernelFields, SchemaInOrderWithTwentyTwelveDoubles) {
  const std::vector<orvex::core::KernelFeature> features(2,
                                                         orvex::core::KernelFeature{{}, 0.9, 0.01, 1234.5});
  const orvex::host::Fields fields =
      orvex::core::kernelOutputFields(nullptr, features, {orvex::core::KernelType::Fixed, 0.5, 0.7, 42});
  using orvex::host::FieldType;
  const struct {
    const char* name;
    FieldType type;
    int length, precision, scale;
  } expected[] = {{"shape", FieldType::Geometry, 0, 0, 0},   {"Volume", FieldType::Double, 8, 20, 12},
                  {"Density", FieldType::Double, 8, 20, 12}, {"KernType", FieldType::String, 21, 20, 0},
                  {"h", FieldType::Double, 8, 20, 12},       {"href", FieldType::Double, 8, 20, 12},
                  {"NPoints", FieldType::Integer, 4, 20, 0}, {"Area", FieldType::Double, 8, 20, 12}};
  ASSERT_EQ(fields.count(), 8);
  for (int i = 0; i < fields.count(); ++i) {
    const auto& field = fields.at(i);
    SCOPED_TRACE(field.name);
    EXPECT_EQ(field.name, expected[i].name);
    EXPECT_EQ(field.type, expected[i].type);
    EXPECT_EQ(field.length, expected[i].length);
    EXPECT_EQ(field.precision, expected[i].precision);
    EXPECT_EQ(field.scale, expected[i].scale);
  }
  ASSERT_TRUE(fields.at(0).geometry.has_value());
  EXPECT_EQ(fields.at(0).geometry->type, orvex::host::GeometryType::Polygon);
}

TEST(KernelFields, FieldsWidenForValuesThatWouldNotFit) {
  // "%.12f" of 4e12 is "4000000000000.000000000000": 26 characters, 6 more than the schema's.
  std::vector<orvex::core::KernelFeature> features{{{}, 0.9, 1e-9, 4e12}, {{}, 0.5, 2e-9, 1e6}};
  const orvex::host::Fields fields = orvex::core::kernelOutputFields(
      nullptr, features, {orvex::core::KernelType::Adaptive, 150000.0, 3e8, 5});
  const auto& area = fields.at(fields.find("Area"));
  EXPECT_EQ(area.precision, 26);
  EXPECT_EQ(area.scale, 12);
  const auto& href = fields.at(fields.find("href"));
  EXPECT_EQ(href.precision, 22) << "300000000.000000000000";
  EXPECT_EQ(fields.at(fields.find("h")).precision, 20) << "150000.000000000000 fits";
  EXPECT_EQ(fields.at(fields.find("Volume")).precision, 20);

  // Beyond the widest .dbf number (254 characters) decimals are given up instead.
  features[0].area = 2e250;  // 251 digits before the point
  const auto& huge = orvex::core::kernelOutputFields(nullptr, features, {}).at(7);
  EXPECT_EQ(huge.precision, 254);
  EXPECT_EQ(huge.scale, 2);
}

TEST(KernelSaveTitle, TwoBlanksAfterAsAndOneDecimal) {
  EXPECT_EQ(orvex::core::kernelSaveTitle(1.0), "Save As  for h = 1.0");
  EXPECT_EQ(orvex::core::kernelSaveTitle(0.1), "Save As  for h = 0.1");
  EXPECT_EQ(orvex::core::kernelSaveTitle(12.34), "Save As  for h = 12.3");
}

// --- usable points ------------------------------------------------------------------------------

orvex::host::Feature pointFeature(const std::shared_ptr<const orvex::host::Fields>& fields,
                                  orvex::host::Geometry shape, orvex::host::Value animal = {},
                                  orvex::host::FeatureType type = orvex::host::FeatureType::Simple) {
  orvex::host::Feature feature(fields);
  feature.setShape(std::move(shape));
  feature.setValue(0, std::move(animal));
  feature.setFeatureType(type);
  return feature;
}

TEST(KernelFixes, FiveUsablePointsAmongTwentyFeatures) {
  using orvex::host::Point;
  const auto fields = std::make_shared<const orvex::host::Fields>(std::vector<orvex::host::FieldDef>{
      orvex::host::FieldDef("AnimalID", orvex::host::FieldType::String, 20)});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<orvex::host::Feature> features;
  const auto unusable = [&](orvex::host::Geometry shape,
                            orvex::host::FeatureType type = orvex::host::FeatureType::Simple) {
    features.push_back(pointFeature(fields, std::move(shape), "skipped", type));
  };
  for (int k = 0; k < 3; ++k) {
    unusable(orvex::host::Polyline{{{{0, 0}, {1, 1}}}});
    unusable(Point{});                  // empty
    unusable(Point{nan, 1.0});          // NaN x
    unusable(orvex::host::Geometry());  // no shape
    if (k < 2)
      unusable(Point{1e39, 0.0});  // beyond single precision
    else
      unusable(Point{2, 2}, orvex::host::FeatureType::Annotation);
  }
  ASSERT_EQ(features.size(), 15u);
  // The usable points, interleaved: the last text "AnimalID" names the animal; a number does not.
  const std::vector<std::pair<Point, orvex::host::Value>> good{
      {{1, 1}, "a"}, {{2, 1}, {}}, {{3, 1}, "b"}, {{4, 1}, std::int32_t{7}}, {{5.25, -1}, {}}};
  for (std::size_t k = 0; k < good.size(); ++k)
    features.insert(features.begin() + static_cast<std::ptrdiff_t>(3 * k),
                    pointFeature(fields, good[k].first, good[k].second));
  ASSERT_EQ(features.size(), 20u);

  const std::vector<orvex::core::KernelFix> fixes = orvex::core::usableFixes(features);
  ASSERT_EQ(fixes.size(), 5u);
  for (std::size_t k = 0; k < fixes.size(); ++k) {
    EXPECT_EQ(fixes[k].x, static_cast<float>(good[k].first.x));
    EXPECT_EQ(fixes[k].y, static_cast<float>(good[k].first.y));
  }
  KernelEngine engine(5);
  orvex::core::loadKernelEngine(engine, fixes);
  EXPECT_EQ(engine.fix_count(), 5);
  EXPECT_EQ(engine.animal_id(), "b");
  EXPECT_EQ(engine.standardisation_mode(), KernelEngine::STD_Unit);
}

}  // namespace
