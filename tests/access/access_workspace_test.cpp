// The Access file through the host interface, as the Lotek import sees it: the first table
// of the workspace, a count and a search with the same filter, values looked up by name.

#include "platform/access/access_workspace.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/error.h"
#include "lotek_fixture.h"
#include "support/host_status.h"

using orvex::access::openAccessWorkspace;
using orvex::access::testing::FixtureCopy;
using orvex::access::testing::lotekFolder;
using orvex::access::testing::readCsv;
using orvex::test::statusOf;
namespace host = orvex::host;

namespace {

std::string descriptionOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const host::Error& e) {
    return e.description();
  }
  return "(no error)";
}

}  // namespace

class AccessWorkspace : public ::testing::Test {
 protected:
  void SetUp() override { ORVEX_REQUIRE_LOTEK(); }
};

TEST_F(AccessWorkspace, FirstTableIsTheCatalogFirst) {
  const auto ws = openAccessWorkspace(lotekFolder() / "collar_second_table.mdb");
  EXPECT_EQ(ws->kind(), host::WorkspaceKind::AccessFile);
  EXPECT_EQ(ws->tableNames(), (std::vector<std::string>{"Settings", "GPS_3305"}));
  EXPECT_TRUE(ws->exists("GPS_3305"));
  EXPECT_FALSE(ws->exists("gps_3305")) << "Access tables are named exactly";
  EXPECT_EQ(ws->openTable("gps_3305"), nullptr);
  EXPECT_EQ(ws->openFeatureClass("GPS_3305"), nullptr) << "a plain table is no feature class";
  const auto first = ws->openTable(ws->tableNames().front());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name(), "Settings");
  EXPECT_EQ(first->rowCount(), 3);
}

TEST_F(AccessWorkspace, FieldTypesFollowTheColumns) {
  const auto table = openAccessWorkspace(lotekFolder() / "collar_a.mdb")->openTable("GPS_3301");
  ASSERT_NE(table, nullptr);
  const host::Fields& f = table->fields();
  ASSERT_EQ(f.count(), 14);
  EXPECT_EQ(f.at(f.find("ID")).type, host::FieldType::Integer);
  EXPECT_EQ(f.at(f.find("CollarID")).type, host::FieldType::String);
  EXPECT_EQ(f.at(f.find("CollarID")).length, 20);
  EXPECT_EQ(f.at(f.find("Date")).type, host::FieldType::Date);
  EXPECT_EQ(f.at(f.find("DOP")).type, host::FieldType::Single);
  EXPECT_EQ(f.at(f.find("FixStatus")).length, 30);
  EXPECT_EQ(table->findField("latitudecorrectreddata"), 13);
  EXPECT_EQ(table->findField("Temperatur"), -1);
}

// The import's two filters and its per-row reads, against the expected CSV.
TEST_F(AccessWorkspace, ImportFiltersCountAndSearchTheSameRows) {
  const auto table = openAccessWorkspace(lotekFolder() / "collar_b.mdb")->openTable("GPS_3302");
  for (const std::string where : {"ID > 0", "FixStatus <> 'Acquiring'"}) {
    const int count = table->rowCount(where);
    auto cursor = table->search(where);
    int n = 0;
    while (auto row = cursor->next()) ++n;
    EXPECT_EQ(n, count) << where;
  }
  EXPECT_EQ(table->rowCount("ID > 0"), 200);
  EXPECT_EQ(table->rowCount("FixStatus <> 'Acquiring'"), 184);

  const auto expected = readCsv(lotekFolder() / "expected" / "collar_b_fixes.csv");
  auto cursor = table->search("FixStatus <> 'Acquiring'");
  std::size_t i = 0;
  while (auto row = cursor->next()) {
    ASSERT_LT(i, expected.size());
    EXPECT_EQ(*row->value("ID").int32(), std::stoi(expected[i].at("ID")));
    EXPECT_EQ(*row->value("FixStatus").text(), expected[i].at("FixStatus"));
    EXPECT_EQ(row->value("LongitudeCorrectedData").toInt32(),
              std::stol(expected[i].at("LongitudeCorrectedData")));
    EXPECT_EQ(row->value("LatitudeCorrectredData").toInt32(),
              std::stol(expected[i].at("LatitudeCorrectredData")));
    // Date/Time to host Date: the same instant as Time2, exactly (whole seconds).
    EXPECT_EQ(row->value("Date").date()->unixSeconds(), std::stod(expected[i].at("Time2")));
    EXPECT_EQ(row->value("Date").date()->toIso8601(), expected[i].at("DateTime").substr(0, 19));
    // A Single reads as the double of the stored float.
    EXPECT_TRUE(row->value("DOP").real() != nullptr);
    ++i;
  }
  EXPECT_EQ(i, expected.size());
}

TEST_F(AccessWorkspace, NullCellsAreEmptyValues) {
  const auto table = openAccessWorkspace(lotekFolder() / "collar_nulls.mdb")->openTable("GPS_3303");
  const auto row = table->row(11);
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->oid(), 11);
  EXPECT_EQ(*row->value("ID").int32(), 11);
  EXPECT_TRUE(row->value("LongitudeCorrectedData").isEmpty());
  EXPECT_TRUE(row->value("LatitudeCorrectredData").isEmpty());
  EXPECT_FALSE(row->value("DOP").isEmpty());
  EXPECT_EQ(table->rowCount("DOP IS NULL"), 3);
  EXPECT_EQ(table->rowCount("NOT (DOP > 2)"), 20 - 3 - table->rowCount("DOP > 2"))
      << "an empty DOP is neither above 2 nor not above it";
  EXPECT_FALSE(table->row(21).has_value());
  EXPECT_FALSE(table->row(0).has_value());
}

// Object ids are row positions, independent of the filter, and an id list is delivered in
// its own order (this is how a selection set is searched).
TEST_F(AccessWorkspace, ObjectIdsAreStableRowPositions) {
  const auto table = openAccessWorkspace(lotekFolder() / "collar_a.mdb")->openTable("GPS_3301");
  auto filtered = table->search("ID > 295");
  std::vector<host::ObjectId> ids;
  while (auto row = filtered->next()) {
    EXPECT_EQ(row->oid(), *row->value("ID").int32()) << "IDs run 1..n in stored order";
    ids.push_back(row->oid());
  }
  EXPECT_EQ(ids, (std::vector<host::ObjectId>{296, 297, 298, 299, 300}));

  host::QueryFilter byIds;
  byIds.objectIds = std::vector<host::ObjectId>{7, 3, 999, 7, 5};
  auto cursor = table->search(byIds);
  std::vector<host::ObjectId> delivered;
  while (auto row = cursor->next()) delivered.push_back(row->oid());
  EXPECT_EQ(delivered, (std::vector<host::ObjectId>{7, 3, 5})) << "missing and repeated ids are skipped";

  const host::SelectionSet selection = table->select("ID <= 3");
  EXPECT_EQ(selection.count(), 3);
  auto inSelection = selection.search("ID > 1");
  int n = 0;
  while (inSelection->next()) ++n;
  EXPECT_EQ(n, 2);
}

TEST_F(AccessWorkspace, TextComparesByteForByteAsTheHostDialectSays) {
  const auto table = openAccessWorkspace(lotekFolder() / "collar_a.mdb")->openTable("GPS_3301");
  EXPECT_EQ(table->rowCount("FixStatus = 'Acquiring'"), 30);
  EXPECT_EQ(table->rowCount("FixStatus = 'acquiring'"), 0);
  EXPECT_EQ(table->rowCount("FixStatus <> 'acquiring'"), 300);
}

TEST_F(AccessWorkspace, ErrorsCarryHostStatuses) {
  EXPECT_EQ(statusOf([] { openAccessWorkspace(lotekFolder() / "absent.mdb"); }), host::kFileNotFound);
  EXPECT_EQ(statusOf([] { openAccessWorkspace(lotekFolder() / "corrupt_truncated.mdb"); }), host::kDataError);
  EXPECT_NE(descriptionOf([] {
              openAccessWorkspace(lotekFolder() / "corrupt_truncated.mdb");
            }).find("corrupt_truncated.mdb' is damaged or truncated"),
            std::string::npos);
  EXPECT_EQ(statusOf([] { openAccessWorkspace(lotekFolder() / "expected" / "collar_a_all.csv"); }),
            host::kDataError);

  const auto ws = openAccessWorkspace(lotekFolder() / "collar_a.mdb");
  const auto table = ws->openTable("GPS_3301");
  EXPECT_EQ(statusOf([&] { table->rowCount("Temperatur > 5"); }), host::kInvalidArgument);
  EXPECT_NE(descriptionOf([&] { table->search("ID >"); }).find("table 'GPS_3301': Syntax error"),
            std::string::npos);
  host::FieldDef field;
  field.name = "X";
  EXPECT_EQ(statusOf([&] { table->addField(field); }), host::kAccessDenied);
  EXPECT_EQ(statusOf([&] { table->insert(true); }), host::kAccessDenied);
  EXPECT_EQ(statusOf([&] { table->update({}); }), host::kAccessDenied);
  EXPECT_EQ(statusOf([&] { table->deleteRow(1); }), host::kAccessDenied);
  EXPECT_EQ(statusOf([&] { ws->createFeatureClass({}); }), host::kAccessDenied);
  EXPECT_FALSE(ws->canDelete("GPS_3301"));
  EXPECT_EQ(statusOf([&] { ws->deleteDataset("GPS_3301"); }), host::kAccessDenied);
  EXPECT_EQ(statusOf([&] { ws->deleteDataset("Nope"); }), host::kNotFound);
}

// A damaged row met in the middle of a walk surfaces as a host error, not a short table.
TEST_F(AccessWorkspace, DamageMidWalkIsAHostError) {
  FixtureCopy copy("collar_a.mdb");
  // Flag the first row of the table's last data page as moved; the pages before it still read.
  const auto fix = orvex::access::testing::fixDataPages(copy.bytes());
  ASSERT_GE(fix.pages.size(), 2u);
  const std::size_t slot =
      fix.pages.back() * orvex::access::testing::kJet4Page + orvex::access::testing::kFirstRowOffset;
  copy.bytes()[slot + 1] = static_cast<char>(copy.bytes()[slot + 1] | 0x40);
  copy.write();
  const auto table = openAccessWorkspace(copy.path())->openTable("GPS_3301");
  auto cursor = table->search();
  int delivered = 0;
  const host::Status status = statusOf([&] {
    while (cursor->next()) ++delivered;
  });
  EXPECT_EQ(status, host::kDataError);
  EXPECT_GT(delivered, 0) << "rows before the damaged page were delivered";
  EXPECT_LT(delivered, 300);
}
