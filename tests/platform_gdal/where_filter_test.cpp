// The host's where-clause dialect on OGR features, evaluated by the platform.

#include <gtest/gtest.h>
#include <ogr_feature.h>

#include <string>

#include "host/error.h"
#include "platform/gdal/where_filter.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;

namespace {

/// Fields: Time2 (integer), AnimalID (text), Dist (real), Date (date).
class WhereFilterTest : public ::testing::Test {
 protected:
  WhereFilterTest() {
    OGRFieldDefn time2("Time2", OFTInteger64);
    OGRFieldDefn id("AnimalID", OFTString);
    OGRFieldDefn dist("Dist", OFTReal);
    OGRFieldDefn date("Date", OFTDate);
    for (OGRFieldDefn* f : {&time2, &id, &dist, &date}) defn_->AddFieldDefn(f);
    defn_->Reference();  // features release their definition; ours keeps it alive
  }
  ~WhereFilterTest() override { defn_->Release(); }

  /// A feature with id 7; Dist is left null.
  OGRFeatureUniquePtr fix(GIntBig time2, const char* animal, int year = 2004, int month = 5,
                          int day = 1) const {
    OGRFeatureUniquePtr f(OGRFeature::CreateFeature(defn_));
    f->SetFID(7);
    f->SetField("Time2", time2);
    f->SetField("AnimalID", animal);
    f->SetField(f->GetFieldIndex("Date"), year, month, day);
    return f;
  }

  bool keeps(const std::string& clause, const OGRFeature& f) const {
    return gdal::WhereFilter::compile(clause, *defn_).matches(f);
  }

  host::Status compileStatus(const std::string& clause) const {
    try {
      gdal::WhereFilter::compile(clause, *defn_);
    } catch (const host::Error& e) {
      return e.status();
    }
    return host::kOk;
  }

  OGRFeatureDefn* defn_ = new OGRFeatureDefn("fixes");
};

}  // namespace

TEST_F(WhereFilterTest, ComparisonsAndLogic) {
  auto f = fix(1084982400, "W0208");
  EXPECT_TRUE(keeps("", *f));
  EXPECT_TRUE(keeps("Time2 = 1084982400", *f));
  EXPECT_TRUE(keeps("time2 >= 1.0849824e9 AND animalid = 'W0208'", *f));
  EXPECT_TRUE(keeps("Time2 < 0 OR NOT (AnimalID <> 'W0208')", *f));
  EXPECT_TRUE(keeps("Time2 = '1084982400'", *f));  // text that reads wholly as a number
  EXPECT_TRUE(keeps("FID = 7 AND \"AnimalID\" = 'W0208'", *f));
  EXPECT_TRUE(keeps("Date >= '2004-05-01' AND Date < '2004-05-01T00:00:01'", *f));
  EXPECT_FALSE(keeps("Time2 != 1084982400", *f));
}

TEST_F(WhereFilterTest, TextIsComparedByteWise) {
  auto f = fix(1, "a1");
  EXPECT_TRUE(keeps("AnimalID = 'a1'", *f));
  EXPECT_FALSE(keeps("AnimalID = 'A1'", *f));
  EXPECT_TRUE(keeps("AnimalID > 'A1'", *f));  // 'a' (0x61) sorts after 'A' (0x41)
  auto quoted = fix(1, "O'Neil");
  EXPECT_TRUE(keeps("AnimalID = 'O''Neil'", *quoted));
}

TEST_F(WhereFilterTest, NullsAreUnknownSoNeitherSideSelectsThem) {
  auto f = fix(1, "x");  // Dist is null
  EXPECT_FALSE(keeps("Dist = 0", *f));
  EXPECT_FALSE(keeps("Dist <> 0", *f));
  EXPECT_FALSE(keeps("NOT (Dist = 0)", *f));
  EXPECT_TRUE(keeps("Dist IS NULL", *f));
  EXPECT_FALSE(keeps("Dist IS NOT NULL", *f));
  EXPECT_TRUE(keeps("Dist = 0 OR Time2 = 1", *f));
}

TEST_F(WhereFilterTest, MalformedClausesAreRefusedWithTheirText) {
  for (const char* bad :
       {"Time2 =", "Time2 1", "Nope = 1", "AnimalID = 5", "Time2 = 'abc'", "Date = 3", "(Time2 = 1",
        "AnimalID = 'open", "Time2 = 1 AND", "Time2 ! 1", "Date = 'yesterday'"}) {
    EXPECT_EQ(compileStatus(bad), host::kInvalidArgument) << bad;
  }
  try {
    gdal::WhereFilter::compile("Nope = 1", *defn_);
    FAIL();
  } catch (const host::Error& e) {
    EXPECT_NE(e.description().find("Nope = 1"), std::string::npos);
  }
  // Nesting deep enough to exhaust the stack of a naive recursive parser is refused instead.
  EXPECT_EQ(compileStatus(std::string(100000, '(') + "Time2 = 1" + std::string(100000, ')')),
            host::kInvalidArgument);
  EXPECT_EQ(compileStatus(std::string(150, '(') + "Time2 = 1" + std::string(150, ')')), host::kOk);
}
