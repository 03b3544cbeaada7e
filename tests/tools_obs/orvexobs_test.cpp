// The observation-fields command on small hand-worked tracks in the headless host: the six
// fields and their rounding, the question, the refusals and stops with what they leave written,
// the progress window, and layers beyond 16-bit counts.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/headless/headless_layers.h"
#include "tools_obs/tools_obs_support.h"
#include "ui/tools/orvexobs.h"

namespace {

using orvex::test::TempFolder;
using orvex::test::TimedPoint;
using orvex::test::ToolHost;
using orvex::test::writeTimedPoints;
using orvex::ui::ORVEXOBS;

constexpr const char* kQuestion =
    "This will add the following fields to the selected layer.\n\n"
    "T_Obs_Sec = Time since last observation in seconds\n"
    "T_Cumul = Time cumulative in seconds\n"
    "Dist = Distance from last observation in meters\n"
    "Dist_Cumul = Distance cumulative in meters\n"
    "Me_Per_Sec = Meters per second from last obs.\n"
    "Mi_Per_Hr = Miles per hour from last obs.\n";
constexpr const char* kSameTime =
    "Divide by zero!!  Check your data.  \nYou can not have a value of zero in the time2 field \n"
    "or two observartions that were taken at the same time.";
constexpr const char* kNotUtm =
    "The fields have not been calculated! The data needs to be in and defined with a UTM projection.";

const std::vector<std::string> kFields = {"T_Obs_Sec",  "T_Cumul",    "Dist",
                                          "Dist_Cumul", "Me_per_Sec", "Mi_per_hr"};

/// The six fields of one feature; nothing for empty values.
std::vector<std::optional<double>> travelOf(const ToolHost& host, orvex::host::ObjectId id) {
  std::vector<std::optional<double>> values;
  for (const auto& field : kFields) values.push_back(host.number(id, field));
  return values;
}

std::vector<std::optional<double>> firstFix() { return {0.0, 0.0, {}, {}, {}, {}}; }

class ObservationFields : public ::testing::Test {
 protected:
  TempFolder folder;
  std::filesystem::path track(const std::vector<TimedPoint>& fixes, int epsg = 32633) {
    return writeTimedPoints(folder.path(), "track", fixes, epsg);
  }
};

TEST_F(ObservationFields, AnAnimalFieldTheLayerLacksLeavesTheWholeLayerWithWarnings) {
  // As a desktop layer whose chosen animal field was since removed: the design's walk, said.
  ToolHost host({track({{0, 0, 100}, {6, 8, 90}})});
  std::dynamic_pointer_cast<orvex::platform::headless::HeadlessFeatureLayer>(host.layer())
      ->setAnimalField("AnimalID");
  ORVEXOBS command;
  ASSERT_EQ(host.click(command), orvex::host::kOk);
  EXPECT_EQ(travelOf(host, 1)[0], -10.0);
  const auto& warnings = host.application.runRecord().warnings();
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("has no field \"AnimalID\""), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[1].find("T_Obs_Sec is negative for 1 fix:"), std::string::npos) << warnings[1];
}

TEST_F(ObservationFields, HandWorkedTrackGetsRoundedStepsAndUnroundedSums) {
  // Steps by hand: 10 m in 10 s (the 3-4-5 triangle scaled by 2); then 0.4 m in 3 s twice, whose
  // rounded distances are 0 while the running sum of the unrounded ones reaches 10.8 -> 11.
  ToolHost host({track({{0, 0, 100}, {6, 8, 110}, {6, 8.4, 113}, {6, 8.8, 116}})});
  ORVEXOBS command;
  ASSERT_EQ(host.click(command), orvex::host::kOk);

  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].message.text, kQuestion);
  EXPECT_EQ(host.messages()[0].message.title, "Add Time and Distance Fields");
  EXPECT_EQ(host.messages()[0].message.buttons, orvex::host::MessageButtons::YesNo);

  EXPECT_EQ(travelOf(host, 0), firstFix());
  // Mi_per_hr: 10 x 3.28 / 5280 / (10 / 3600) = 2.2363636... kept to six decimals.
  using V = std::vector<std::optional<double>>;
  EXPECT_EQ(travelOf(host, 1), (V{10.0, 10.0, 10.0, 10.0, 1.0, 2.236364}));
  // 0.4 m / 3 s = 0.13333 -> 0.1333; 0.4 x 3.28 / 5280 / (3 / 3600) = 0.29818... -> 0.298182.
  // Tolerance: the stored decimal text read back, 1e-12.
  const V third = travelOf(host, 2);
  const V expectedThird{3.0, 13.0, 0.0, 10.0, 0.1333, 0.298182};
  for (std::size_t i = 0; i < kFields.size(); ++i)
    EXPECT_NEAR(*third[i], *expectedThird[i], 1e-12) << kFields[i];
  EXPECT_NEAR(*host.number(3, "Dist_Cumul"), 11.0, 1e-12);  // 10 + 0.4 + 0.4 = 10.8, not 10 + 0 + 0
  EXPECT_NEAR(*host.number(3, "T_Cumul"), 16.0, 1e-12);

  // The fields are 64-bit floats with exactly these names, added in this order.
  const auto& fields = host.featureClass()->fields();
  const int first = fields.find("T_Obs_Sec");
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    const auto& def = fields.at(first + static_cast<int>(i));
    EXPECT_EQ(def.name, kFields[i]);
    EXPECT_EQ(def.type, orvex::host::FieldType::Double);
  }
  EXPECT_FALSE(command.progressWindow().shown());
  EXPECT_EQ(command.progressWindow().maximum(), 4);
  EXPECT_EQ(command.progressWindow().caption(), "Please Wait");
}

TEST_F(ObservationFields, FixesOutOfTimeOrderGiveNegativeTimesAndSpeeds) {
  // Times of the year 2100, past the 32-bit range, read whole.
  constexpr double k2100 = 4102444800.0;
  ToolHost host({track({{0, 0, k2100 + 10}, {0, 20, k2100}, {0, 20, k2100 + 20}})});
  ORVEXOBS command;
  host.click(command);
  using V = std::vector<std::optional<double>>;
  // 20 m in -10 s: -2 m/s; 20 x 3.28 / 5280 / (-10 / 3600) = -4.472727... mph.
  EXPECT_EQ(travelOf(host, 1), (V{-10.0, -10.0, 20.0, 20.0, -2.0, -4.472727}));
  EXPECT_EQ(travelOf(host, 2), (V{20.0, 10.0, 0.0, 20.0, 0.0, 0.0}));
}

TEST_F(ObservationFields, ASecondRunReusesExistingFieldsWhateverTheirCaseAndOverwritesThem) {
  const auto file = track({{0, 0, 0}, {3, 4, 5}});
  {
    ToolHost host({file});
    host.featureClass()->addField(orvex::host::FieldDef("dist", orvex::host::FieldType::Double));
    auto cursor = host.featureClass()->update();
    while (auto row = cursor->next()) {
      row->setValue(row->findField("dist"), orvex::host::Value(999.0));
      cursor->updateRow(*row);
    }
  }
  for (int run = 0; run < 2; ++run) {
    ToolHost host({file});
    ORVEXOBS command;
    host.click(command);
    EXPECT_EQ(host.featureClass()->fields().count(), 3 + 6) << "run " << run;  // FID, Shape, Time2
    EXPECT_EQ(host.featureClass()->fields().at(3).name, "dist");
    EXPECT_EQ(host.number(1, "Dist"), 5.0);
    EXPECT_EQ(host.number(0, "Dist"), 999.0);  // a first fix keeps what the field held
  }
}

TEST_F(ObservationFields, OneFeatureGetsZeroTimesOnly) {
  ToolHost host({track({{5, 5, 42}})});
  ORVEXOBS command;
  host.click(command);
  EXPECT_EQ(travelOf(host, 0), firstFix());
  EXPECT_EQ(host.messages().size(), 1u);  // the question, nothing after it
}

TEST_F(ObservationFields, StopsAndWhatTheyLeaveWritten) {
  struct Case {
    const char* what;
    std::vector<TimedPoint> fixes;
    int epsg;
    std::string message;
    bool defaultTitle;
    int written;  ///< fixes stored with their fields
  };
  const std::vector<Case> cases = {
      {"equal Time2 stops at the second fix of the pair",
       {{0, 0, 0}, {1, 0, 10}, {2, 0, 20}, {3, 0, 20}, {4, 0, 30}},
       32633,
       kSameTime,
       false,
       3},
      {"a coordinate system whose name lacks UTM",
       {{0, 0, 0}, {1, 0, 10}, {2, 0, 20}},
       3035,
       kNotUtm,
       false,
       1},
      {"no coordinate system at all", {{0, 0, 0}, {1, 0, 10}}, 0, kNotUtm, false, 1},
      {"an empty Time2",
       {{0, 0, 0}, {1, 0, 10}, {2, 0, {}}, {3, 0, 30}},
       32633,
       "CalcFeatures sub Error number: 94",
       true,
       2},
      {"a fix without a position",
       {{0, 0, 0}, {1, 0, 10}, {NAN, NAN, 20}},
       32633,
       "CalcFeatures sub Error number: 94",
       true,
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder own;
    ToolHost host({writeTimedPoints(own.path(), "track", c.fixes, c.epsg)});
    ORVEXOBS command;
    ASSERT_EQ(host.click(command), orvex::host::kOk);
    ASSERT_EQ(host.messages().size(), 2u);
    EXPECT_EQ(host.messages()[1].message.text, c.message);
    EXPECT_EQ(host.messages()[1].message.title,
              c.defaultTitle ? std::nullopt : std::optional<std::string>(""));
    for (int id = 0; id < static_cast<int>(c.fixes.size()); ++id)
      EXPECT_EQ(host.number(id, "T_Obs_Sec").has_value(), id < c.written) << "fix " << id;
    EXPECT_FALSE(command.progressWindow().shown());
  }
}

TEST_F(ObservationFields, RefusalsChangeNothing) {
  const auto points = track({{0, 0, 0}, {1, 0, 10}});
  {
    ToolHost host({points});
    host.application.headlessDocument().setSelectedLayer(nullptr);
    ORVEXOBS command;
    host.click(command);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].message.text, "Please select a points layer");
    EXPECT_EQ(host.messages()[0].message.title, "Display Tracks");
  }
  {
    TempFolder other;
    ToolHost host({orvex::test::writePoints(other.path(), "untimed", orvex::test::fiveFixes())});
    ORVEXOBS command;
    host.click(command);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].message.text, "You must select a points layer with a Time2 field");
    EXPECT_FALSE(host.messages()[0].message.title.has_value());
  }
  {
    ToolHost host({points});
    host.application.scriptedUi().setChoicePolicy(orvex::platform::headless::ChoicePolicy::No);
    ORVEXOBS command;
    host.click(command);
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.featureClass()->findField("T_Obs_Sec"), -1);
  }
}

TEST_F(ObservationFields, LayersBeyondSixteenBitCountsAreWalkedToTheEnd) {
  // 40,000 fixes one metre and one second apart along x: every step is 1 m/s.
  constexpr int kFixes = 40000;
  std::vector<TimedPoint> fixes;
  for (int i = 0; i < kFixes; ++i) fixes.push_back({static_cast<double>(i), 0.0, 1000.0 + i});
  ToolHost host({track(fixes)});
  ORVEXOBS command;
  host.click(command);
  ASSERT_EQ(host.messages().size(), 1u) << host.texts().back();
  EXPECT_EQ(command.progressWindow().maximum(), kFixes);
  EXPECT_EQ(command.progressWindow().progress(), kFixes);
  EXPECT_EQ(host.number(kFixes - 1, "T_Cumul"), kFixes - 1.0);
  EXPECT_EQ(host.number(kFixes - 1, "Dist_Cumul"), kFixes - 1.0);
  EXPECT_EQ(host.number(kFixes - 1, "Me_per_Sec"), 1.0);
}

}  // namespace
