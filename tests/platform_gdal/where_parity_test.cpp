// The Access and OGR dialects of the one where-clause engine agree on the clauses both accept:
// the same rows, held as Access cells and as OGR features, keep the same ids.

#include <gtest/gtest.h>
#include <ogr_feature.h>

#include <optional>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/value.h"
#include "platform/access/access_error.h"
#include "platform/access/where_clause.h"
#include "platform/gdal/where_filter.h"

namespace mdb = orvex::access;
namespace gdal = orvex::platform::gdal;

namespace {

struct ParityRow {
  int id;
  std::optional<std::string> status;
  std::optional<double> dist;
  orvex::host::CivilTime when;
};

const std::vector<ParityRow> kRows = {{1, "A", 0.5, {2004, 5, 1, 0, 0, 0}},
                                      {2, "a", std::nullopt, {2004, 5, 1, 12, 0, 0}},
                                      {3, "B", 2.0, {2004, 5, 2, 6, 30, 15}},
                                      {4, std::nullopt, 1.0, {1899, 12, 29, 6, 0, 0}},
                                      {5, "O'Neil", -3.0, {2004, 5, 1, 12, 0, 1}}};

class WhereParity : public ::testing::Test {
 protected:
  WhereParity() {
    OGRFieldDefn id("ID", OFTInteger), status("Status", OFTString), dist("Dist", OFTReal),
        when("When", OFTDateTime);
    for (OGRFieldDefn* f : {&id, &status, &dist, &when}) defn_->AddFieldDefn(f);
    defn_->Reference();
    for (const ParityRow& r : kRows) {
      OGRFeatureUniquePtr f(OGRFeature::CreateFeature(defn_));
      f->SetFID(r.id);
      f->SetField("ID", r.id);
      if (r.status) f->SetField("Status", r.status->c_str());
      if (r.dist) f->SetField("Dist", *r.dist);
      f->SetField(3, r.when.year, r.when.month, r.when.day, r.when.hour, r.when.minute,
                  static_cast<float>(r.when.second));
      features_.push_back(std::move(f));
      const double seconds = orvex::host::Date::fromCivil(r.when).unixSeconds();
      cells_.push_back({r.id, r.status ? mdb::AccessValue{*r.status} : mdb::AccessValue{},
                        r.dist ? mdb::AccessValue{*r.dist} : mdb::AccessValue{},
                        mdb::AccessDate::fromUnixSeconds(seconds)});
    }
  }
  ~WhereParity() override {
    features_.clear();
    defn_->Release();
  }

  std::vector<int> keptByAccess(const std::string& clause) const {
    const auto compiled =
        mdb::WhereClause::compile(clause, kColumns, mdb::WhereClause::TextComparison::Binary);
    std::vector<int> ids;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      if (compiled.matches(cells_[i])) ids.push_back(kRows[i].id);
    }
    return ids;
  }
  std::vector<int> keptByOgr(const std::string& clause) const {
    const auto compiled = gdal::WhereFilter::compile(clause, *defn_);
    std::vector<int> ids;
    for (const auto& f : features_) {
      if (compiled.matches(*f)) ids.push_back(static_cast<int>(f->GetFID()));
    }
    return ids;
  }

  const std::vector<mdb::AccessColumn> kColumns = {{"ID", mdb::ColumnType::LongInteger, 4, 4},
                                                   {"Status", mdb::ColumnType::Text, 20, 10},
                                                   {"Dist", mdb::ColumnType::Double, 8, 7},
                                                   {"When", mdb::ColumnType::DateTime, 8, 8}};
  OGRFeatureDefn* defn_ = new OGRFeatureDefn("fixes");
  std::vector<OGRFeatureUniquePtr> features_;
  std::vector<std::vector<mdb::AccessValue>> cells_;
};

}  // namespace

TEST_F(WhereParity, BothDialectsKeepTheSameRows) {
  struct Case {
    const char* clause;
    std::vector<int> kept;  // worked out by hand from kRows
  };
  const Case cases[] = {
      {"", {1, 2, 3, 4, 5}},
      {"ID > 2", {3, 4, 5}},
      {"id <= 3 AND Status = 'a'", {2}},
      {"Status > 'B'", {2, 5}},  // bytes: 'a' (0x61) and 'O' (0x4F) sort after 'B' (0x42)
      {"Status = 'O''Neil'", {5}},
      {"Status <> 'A'", {2, 3, 5}},  // a null status is unknown, never kept
      {"NOT (Status <> 'A')", {1}},
      {"Dist IS NULL OR Status IS NULL", {2, 4}},
      {"NOT Dist IS NULL AND Dist < 1", {1, 5}},
      {"Dist >= -3 AND NOT (Dist = 2)", {1, 4, 5}},
      {"Dist > 0 OR ID = 2", {1, 2, 3, 4}},         // unknown OR true is true
      {"NOT (Dist > 0 AND ID = 2)", {1, 3, 4, 5}},  // unknown AND false is false
      {"ID = '3' OR ID = +5 OR ID = -1", {3, 5}},
      {"When >= '2004-05-01 12:00' AND When < '2004-05-02'", {2, 5}},
      {"When < '1899-12-30'", {4}},
      {"((ID = 1 OR ID = 2)) AND (Dist > 0 OR Dist IS NULL)", {1, 2}},
      {"ID > 1.5e0 AND ID < 4.5", {2, 3, 4}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keptByAccess(c.clause), c.kept) << c.clause;
    EXPECT_EQ(keptByOgr(c.clause), c.kept) << c.clause;
  }
}

TEST_F(WhereParity, BothDialectsRefuseTheSameMistakes) {
  for (const char* bad : {"ID >", "ID > 0 AND", "(ID > 0", "ID == 1", "ID > 1x", "Nope = 1", "Status = 5",
                          "ID = 'abc'", "When = 'yesterday'", "ID = Dist", "Status = 'open"}) {
    EXPECT_THROW(keptByAccess(bad), mdb::AccessError) << bad;
    EXPECT_THROW(keptByOgr(bad), orvex::host::Error) << bad;
  }
}
