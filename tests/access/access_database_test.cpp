#include "platform/access/access_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lotek_fixture.h"

using namespace orvex::access;
using orvex::access::testing::FixtureCopy;
using orvex::access::testing::lotekFolder;
using orvex::access::testing::readCsv;

namespace {

struct LotekFile {
  std::string file;
  std::vector<std::string> tables;
  std::string fixTable;
  int rows;
  int acquiring;
};

// Counts from the fixtures' README (rows and the Acquiring share of the FixStatus counts).
const std::vector<LotekFile> kFiles = {
    {"collar_a.mdb", {"GPS_3301"}, "GPS_3301", 300, 30},
    {"collar_b.mdb", {"GPS_3302"}, "GPS_3302", 200, 16},
    {"collar_nulls.mdb", {"GPS_3303"}, "GPS_3303", 20, 0},
    {"collar_missing_fields.mdb", {"GPS_3304"}, "GPS_3304", 25, 2},
    {"collar_second_table.mdb", {"Settings", "GPS_3305"}, "GPS_3305", 30, 3},
};

// Names the case in test output instead of dumping the struct's bytes.
[[maybe_unused]] void PrintTo(const LotekFile& f, std::ostream* os) { *os << f.file; }

std::string stem(const std::string& file) { return file.substr(0, file.find('.')); }

std::int32_t intOf(const AccessValue& v) { return std::get<std::int32_t>(v); }

}  // namespace

class LotekFiles : public ::testing::TestWithParam<LotekFile> {
 protected:
  void SetUp() override { ORVEX_REQUIRE_LOTEK(); }
  AccessDatabase open() const { return AccessDatabase::open(lotekFolder() / GetParam().file); }
};

INSTANTIATE_TEST_SUITE_P(Fixtures, LotekFiles, ::testing::ValuesIn(kFiles),
                         [](const ::testing::TestParamInfo<LotekFile>& param) {
                           return stem(param.param.file);
                         });

// The import reads the first table the file lists, so the order must be the catalog's
// (`mdb-tables` lists Settings before GPS_3305).
TEST_P(LotekFiles, ListsUserTablesInFileOrder) { EXPECT_EQ(open().tableNames(), GetParam().tables); }

TEST_P(LotekFiles, CountsRowsWithBothImportFilters) {
  const AccessTable table = open().openTable(GetParam().fixTable);
  EXPECT_EQ(table.count(), GetParam().rows);
  EXPECT_EQ(table.count("ID > 0"), GetParam().rows);
  EXPECT_EQ(table.count("FixStatus <> 'Acquiring'"), GetParam().rows - GetParam().acquiring);
}

// Every cell the import copies, against the fixture's expected CSV: same rows, same order.
TEST_P(LotekFiles, ValuesMatchExpectedCsv) {
  const AccessTable table = open().openTable(GetParam().fixTable);
  const auto expected = readCsv(lotekFolder() / "expected" / (stem(GetParam().file) + "_all.csv"));
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(GetParam().rows));

  const int id = table.findColumn("ID"), collar = table.findColumn("CollarID"),
            date = table.findColumn("Date"), time2 = table.findColumn("Time2"),
            status = table.findColumn("FixStatus"), lon = table.findColumn("LongitudeCorrectedData"),
            lat = table.findColumn("LatitudeCorrectredData");
  ASSERT_TRUE(id >= 0 && collar >= 0 && date >= 0 && time2 >= 0 && status >= 0 && lon >= 0 && lat >= 0);

  AccessCursor cursor = table.search("ID > 0");
  std::size_t n = 0;
  while (cursor.next()) {
    ASSERT_LT(n, expected.size());
    const auto& want = expected[n];
    const auto& row = cursor.row();
    SCOPED_TRACE("ID " + want.at("ID"));
    EXPECT_EQ(intOf(row[id]), std::stoi(want.at("ID")));
    EXPECT_EQ(std::get<std::string>(row[collar]), want.at("CollarID"));
    EXPECT_EQ(intOf(row[time2]), std::stol(want.at("Time2")));
    EXPECT_EQ(std::get<std::string>(row[status]), want.at("FixStatus"));
    // The Date column holds the same instant as Time2, to the second (exact: whole seconds).
    EXPECT_EQ(std::get<AccessDate>(row[date]).unixSeconds(), std::stod(want.at("Time2")));
    for (const auto& [column, name] :
         {std::pair{lon, "LongitudeCorrectedData"}, {lat, "LatitudeCorrectredData"}}) {
      if (want.at(name).empty()) {
        EXPECT_TRUE(isNull(row[column])) << name;
      } else {
        EXPECT_EQ(intOf(row[column]), std::stol(want.at(name))) << name;
      }
    }
    ++n;
  }
  EXPECT_EQ(n, expected.size());
}

// The rows the "Exclude" filter keeps, less those without coordinates, are the expected fixes.
TEST_P(LotekFiles, ExcludeFilterKeepsExpectedFixes) {
  const AccessTable table = open().openTable(GetParam().fixTable);
  std::vector<std::int32_t> ids;
  AccessCursor cursor = table.search("FixStatus <> 'Acquiring' AND LongitudeCorrectedData IS NOT NULL");
  while (cursor.next()) ids.push_back(intOf(cursor.row()[0]));
  std::vector<std::int32_t> expected;
  for (const auto& row : readCsv(lotekFolder() / "expected" / (stem(GetParam().file) + "_fixes.csv"))) {
    expected.push_back(std::stoi(row.at("ID")));
  }
  EXPECT_EQ(ids, expected);
}

class LotekTables : public ::testing::Test {
 protected:
  void SetUp() override { ORVEX_REQUIRE_LOTEK(); }
};

TEST_F(LotekTables, FixTableColumnsHaveAccessTypes) {
  const auto table = AccessDatabase::open(lotekFolder() / "collar_a.mdb").openTable("GPS_3301");
  const std::vector<std::pair<std::string, ColumnType>> expected = {
      {"ID", ColumnType::LongInteger},
      {"CollarID", ColumnType::Text},
      {"Time1", ColumnType::Text},
      {"Date", ColumnType::DateTime},
      {"DOP", ColumnType::Single},
      {"ReceiverStatus", ColumnType::LongInteger},
      {"Convergence", ColumnType::LongInteger},
      {"Activity", ColumnType::LongInteger},
      {"TTFF", ColumnType::LongInteger},
      {"Temperature", ColumnType::Single},
      {"Time2", ColumnType::LongInteger},
      {"FixStatus", ColumnType::Text},
      {"LongitudeCorrectedData", ColumnType::LongInteger},
      {"LatitudeCorrectredData", ColumnType::LongInteger}};
  ASSERT_EQ(table.columns().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(table.columns()[i].name, expected[i].first);
    EXPECT_EQ(table.columns()[i].type, expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(table.columns()[1].size, 20) << "CollarID is Text(20)";
  EXPECT_EQ(table.columns()[2].size, 8) << "Time1 is Text(8)";
  EXPECT_EQ(table.columns()[11].size, 30) << "FixStatus is Text(30)";
  EXPECT_EQ(columnTypeName(table.columns()[3].type), "Date/Time");
}

TEST_F(LotekTables, MissingFieldsAreAbsentNotEmpty) {
  const auto table = AccessDatabase::open(lotekFolder() / "collar_missing_fields.mdb").openTable("GPS_3304");
  EXPECT_EQ(table.columns().size(), 12u);
  EXPECT_EQ(table.findColumn("Temperature"), -1);
  EXPECT_EQ(table.findColumn("Activity"), -1);
  EXPECT_EQ(table.findColumn("fixstatus"), table.findColumn("FixStatus")) << "names ignore case";
  EXPECT_GE(table.findColumn("TTFF"), 0);
}

// collar_nulls: the README lists every NULL cell; no other cell may read as NULL.
TEST_F(LotekTables, NullCellsAreExactlyTheStoredOnes) {
  const auto table = AccessDatabase::open(lotekFolder() / "collar_nulls.mdb").openTable("GPS_3303");
  const std::map<std::string, std::set<int>> nulls = {{"DOP", {3, 7, 12}},
                                                      {"Temperature", {5, 12, 18}},
                                                      {"Time1", {9, 15}},
                                                      {"LongitudeCorrectedData", {11}},
                                                      {"LatitudeCorrectredData", {11}}};
  AccessCursor cursor = table.search();
  int rows = 0;
  while (cursor.next()) {
    ++rows;
    const int id = intOf(cursor.row()[0]);
    for (std::size_t c = 0; c < table.columns().size(); ++c) {
      const auto it = nulls.find(table.columns()[c].name);
      const bool expectNull = it != nulls.end() && it->second.count(id) > 0;
      EXPECT_EQ(isNull(cursor.row()[c]), expectNull) << table.columns()[c].name << " of ID " << id;
    }
  }
  EXPECT_EQ(rows, 20);
  EXPECT_EQ(table.count("FixStatus <> 'Acquiring'"), 20);
  EXPECT_EQ(table.count("DOP IS NULL"), 3);
  EXPECT_EQ(table.count("DOP > 0"), 17) << "NULL DOP is neither above nor below a number";
}

TEST_F(LotekTables, UncertainStatusKeepsAll24Characters) {
  const auto table = AccessDatabase::open(lotekFolder() / "collar_a.mdb").openTable("GPS_3301");
  AccessCursor cursor = table.search("FixStatus = 'resolved qfp (uncertain)'");
  int n = 0;
  while (cursor.next()) {
    const auto& text = std::get<std::string>(cursor.row()[table.findColumn("FixStatus")]);
    EXPECT_EQ(text, "Resolved QFP (Uncertain)");
    EXPECT_EQ(text.size(), 24u);
    ++n;
  }
  EXPECT_EQ(n, 25) << "README: 25 Uncertain fixes in collar_a";
}

TEST_F(LotekTables, SettingsTableIsReadableToo) {
  const auto db = AccessDatabase::open(lotekFolder() / "collar_second_table.mdb");
  const auto settings = db.openTable("settings");
  EXPECT_EQ(settings.name(), "Settings");
  EXPECT_EQ(settings.count(), 3);
  EXPECT_EQ(settings.findColumn("LatitudeCorrectredData"), -1);
}

// libmdb has one page buffer per file: cursors that take turns must each still read their own
// page, and a cursor keeps the file open after the database object is gone.
TEST_F(LotekTables, InterleavedCursorsAndOutlivedDatabase) {
  std::optional<AccessCursor> a, b;
  {
    const auto db = AccessDatabase::open(lotekFolder() / "collar_b.mdb");
    const auto table = db.openTable("GPS_3302");
    a.emplace(table.search("ID > 0"));
    b.emplace(table.search("FixStatus <> 'Acquiring'"));
  }
  std::vector<std::int32_t> all, fixes;
  bool moreA = true, moreB = true;
  while (moreA || moreB) {
    if (moreA && (moreA = a->next())) all.push_back(intOf(a->row()[0]));
    for (int i = 0; i < 3 && moreB; ++i) {
      if ((moreB = b->next())) fixes.push_back(intOf(b->row()[0]));
    }
  }
  ASSERT_EQ(all.size(), 200u);
  for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], static_cast<std::int32_t>(i + 1));
  EXPECT_EQ(fixes.size(), 184u);
  EXPECT_TRUE(std::is_sorted(fixes.begin(), fixes.end()));
  EXPECT_FALSE(a->next()) << "a finished cursor stays finished";
  EXPECT_TRUE(a->row().empty());
}

TEST_F(LotekTables, LookupErrorsNameTheFileAndTable) {
  const auto db = AccessDatabase::open(lotekFolder() / "collar_a.mdb");
  try {
    (void)db.openTable("GPS_9999");
    FAIL() << "no error";
  } catch (const AccessError& e) {
    EXPECT_NE(std::string(e.what()).find("collar_a.mdb' has no table 'GPS_9999'"), std::string::npos)
        << e.what();
  }
  try {
    (void)db.openTable("GPS_3301").search("Temperatur > 5");
    FAIL() << "no error";
  } catch (const AccessError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("collar_a.mdb', table 'GPS_3301': Unknown column \"Temperatur\""), std::string::npos)
        << what;
  }
  EXPECT_THROW((void)db.openTable("MSysObjects"), AccessError) << "system tables are not user tables";
}
