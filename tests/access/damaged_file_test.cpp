// Damaged, truncated and foreign files must give an AccessError naming the file: never a crash,
// a hang, an exit from inside libmdb, or a table that silently reads short.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "lotek_fixture.h"
#include "platform/access/access_database.h"

using namespace orvex::access;
using orvex::access::testing::FixtureCopy;
using orvex::access::testing::lotekFolder;

namespace {

using orvex::access::testing::fixDataPages;
using orvex::access::testing::kFirstRowOffset;
using orvex::access::testing::kJet4Page;
using orvex::access::testing::kRowCountOffset;
using orvex::access::testing::u32At;

constexpr std::size_t kPage = kJet4Page;

void putU16(std::vector<char>& bytes, std::size_t at, std::uint16_t v) {
  std::memcpy(bytes.data() + at, &v, sizeof v);
}

std::uint16_t u16At(const std::vector<char>& bytes, std::size_t at) {
  std::uint16_t v;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

/// The first data page of the fix table and the table definition page that owns it.
std::pair<std::size_t, std::uint32_t> firstFixDataPage(const std::vector<char>& bytes) {
  const auto fix = fixDataPages(bytes);
  if (fix.pages.empty()) return {0, 0};
  return {fix.pages.front(), fix.owner};
}

std::string errorReading(const std::filesystem::path& path) {
  try {
    const auto db = AccessDatabase::open(path);
    for (const auto& name : db.tableNames()) (void)db.openTable(name).count();
  } catch (const AccessError& e) {
    return e.what();
  }
  return "(no error)";
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

class DamagedFiles : public ::testing::Test {
 protected:
  void SetUp() override { ORVEX_REQUIRE_LOTEK(); }
};

// The shared fixture: the first 40,960 bytes of collar_a. libmdb alone lists no table and
// reports success; the reader must say the file is cut short.
TEST_F(DamagedFiles, TruncatedFixtureGivesAClearError) {
  const std::string error = errorReading(lotekFolder() / "corrupt_truncated.mdb");
  EXPECT_NE(error.find("corrupt_truncated.mdb"), std::string::npos) << error;
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
  EXPECT_NE(error.find("10 pages"), std::string::npos) << error;
}

// Every cut of collar_a, at each page boundary and inside pages, fails cleanly.
TEST_F(DamagedFiles, EveryTruncationOfAFileIsRefused) {
  FixtureCopy copy("collar_a.mdb");
  const std::size_t full = copy.bytes().size();
  for (std::size_t length = 0; length < full; length += kPage / 2) {
    for (const std::size_t cut : {length, length + 1}) {
      copy.write(cut);
      const std::string error = errorReading(copy.path());
      EXPECT_TRUE(contains(error, "collar_a.mdb")) << "cut at " << cut << ": " << error;
    }
  }
  copy.write();
  EXPECT_EQ(errorReading(copy.path()), "(no error)") << "the whole copy still reads";
}

TEST_F(DamagedFiles, ForeignAndMissingFilesAreRefused) {
  FixtureCopy copy("collar_a.mdb");
  std::memcpy(copy.bytes().data() + 4, "Standard XYZ DB", 15);
  copy.write();
  EXPECT_TRUE(contains(errorReading(copy.path()), "is not an Access database")) << errorReading(copy.path());
  copy.write(0);
  EXPECT_TRUE(contains(errorReading(copy.path()), "is not an Access database (only 0 bytes)"));
  EXPECT_TRUE(contains(errorReading(copy.path().parent_path() / "absent.mdb"), "absent.mdb' does not exist"));
  EXPECT_TRUE(contains(errorReading(copy.path().parent_path()), "is not a regular file"));
}

// A row whose offset carries the deleted flag is not a row. A row moved to another place
// leaves a pointer (row byte, three page bytes) in its slot, and the moved row is flagged
// deleted so that a scan reaches it only through the pointer.
TEST_F(DamagedFiles, DeletedRowsAreSkippedAndMovedRowsFollowed) {
  FixtureCopy copy("collar_a.mdb");
  const auto [page, owner] = firstFixDataPage(copy.bytes());
  ASSERT_NE(page, 0u);
  const std::size_t slot0 = page * kPage + kFirstRowOffset;
  const std::uint16_t row0 = u16At(copy.bytes(), slot0);
  const std::uint16_t row1 = u16At(copy.bytes(), slot0 + 2);
  const std::vector<char> intact = copy.bytes();

  putU16(copy.bytes(), slot0, static_cast<std::uint16_t>(row0 | 0x8000));
  copy.write();
  {
    const auto table = AccessDatabase::open(copy.path()).openTable("GPS_3301");
    EXPECT_EQ(table.count(), 299);
    EXPECT_EQ(table.count("ID = 1"), 0) << "the first row on the first data page is ID 1";
  }

  // Move row 1 (ID 2) "away" into its own slot: row 0's slot points to it, row 1 is flagged.
  copy.bytes() = intact;
  putU16(copy.bytes(), slot0, static_cast<std::uint16_t>(row0 | 0x4000));
  putU16(copy.bytes(), slot0 + 2, static_cast<std::uint16_t>(row1 | 0x8000));
  const std::size_t pointer = page * kPage + (row0 & 0x1FFF);
  copy.bytes()[pointer] = 1;
  copy.bytes()[pointer + 1] = static_cast<char>(page & 0xFF);
  copy.bytes()[pointer + 2] = static_cast<char>((page >> 8) & 0xFF);
  copy.bytes()[pointer + 3] = static_cast<char>((page >> 16) & 0xFF);
  copy.write();
  {
    const auto table = AccessDatabase::open(copy.path()).openTable("GPS_3301");
    EXPECT_EQ(table.count(), 299);
    EXPECT_EQ(table.count("ID = 1"), 0);
    EXPECT_EQ(table.count("ID = 2"), 1) << "reached through the pointer, once";
    AccessCursor cursor = table.search();
    ASSERT_TRUE(cursor.next());
    EXPECT_EQ(std::get<std::int32_t>(cursor.row()[0]), 2) << "in the place of the pointer";
    ASSERT_TRUE(cursor.next());
    EXPECT_EQ(std::get<std::int32_t>(cursor.row()[0]), 3);
  }

  // A pointer past the end of the file.
  copy.bytes()[pointer + 3] = 0x7F;
  copy.write();
  const std::string error = errorReading(copy.path());
  EXPECT_TRUE(contains(error, "was moved to row 1 of page")) << error;
  EXPECT_TRUE(contains(error, "beyond the end of the file")) << error;
  EXPECT_TRUE(contains(error, "table 'GPS_3301'")) << error;
}

TEST_F(DamagedFiles, ImpossibleRowCountsAndOffsetsAreRefused) {
  FixtureCopy copy("collar_a.mdb");
  const auto [page, owner] = firstFixDataPage(copy.bytes());
  ASSERT_NE(page, 0u);
  const std::vector<char> intact = copy.bytes();

  putU16(copy.bytes(), page * kPage + kRowCountOffset, 0xFFFF);
  copy.write();
  EXPECT_TRUE(contains(errorReading(copy.path()), "claims 65535 rows")) << errorReading(copy.path());

  copy.bytes() = intact;
  putU16(copy.bytes(), page * kPage + kFirstRowOffset, 2);  // a row inside the page header
  copy.write();
  EXPECT_TRUE(contains(errorReading(copy.path()), "impossible position")) << errorReading(copy.path());
}

TEST_F(DamagedFiles, BrokenTableDefinitionNamesTheTable) {
  FixtureCopy copy("collar_a.mdb");
  const auto [page, owner] = firstFixDataPage(copy.bytes());
  ASSERT_NE(owner, 0u);
  copy.bytes()[owner * kPage] = 0x01;  // the definition page no longer says what it is
  copy.write();
  const auto db = AccessDatabase::open(copy.path());
  ASSERT_EQ(db.tableNames(), std::vector<std::string>{"GPS_3301"}) << "the catalog is intact";
  try {
    (void)db.openTable("GPS_3301");
    FAIL() << "no error";
  } catch (const AccessError& e) {
    EXPECT_TRUE(contains(e.what(), "collar_a.mdb")) << e.what();
    EXPECT_TRUE(contains(e.what(), "definition of table 'GPS_3301'")) << e.what();
  }
}

// A table page map that names a page past the end of the file (the file's own page map left
// intact, so only the table check can catch it). libmdb would exit the process on an indirect
// map page it cannot read.
TEST_F(DamagedFiles, TablePageMapBeyondTheFileIsRefused) {
  FixtureCopy copy("collar_a.mdb");
  const auto [page, owner] = firstFixDataPage(copy.bytes());
  ASSERT_NE(owner, 0u);
  // Move the base of the table's inline page map far past the end of the file. The map record
  // is found through the definition: one byte of row and three of page, at offset 55 in Jet 4.
  const std::size_t tdef = owner * kPage;
  const std::uint32_t mapRecord = u32At(copy.bytes(), tdef + 55);  // row (1 byte) + page (3 bytes)
  const std::uint32_t mapPage = mapRecord >> 8;
  const std::uint32_t mapRow = mapRecord & 0xFF;
  const std::size_t rowStart = u16At(copy.bytes(), mapPage * kPage + kFirstRowOffset + 2 * mapRow) & 0x1FFF;
  const std::size_t map = mapPage * kPage + rowStart;
  // Type 0 keeps the bitmap inline after its base page; type 1 lists map pages. Either way the
  // four bytes after the type byte are a page number: the base, or the first map page.
  const char mapType = copy.bytes()[map];
  ASSERT_TRUE(mapType == 0 || mapType == 1);
  const std::uint32_t farAway = 100000;
  std::memcpy(copy.bytes().data() + map + 1, &farAway, sizeof farAway);
  copy.write();
  const std::string error = errorReading(copy.path());
  EXPECT_TRUE(contains(error, "the page map of table 'GPS_3301'")) << error;
  EXPECT_TRUE(contains(error, "page 100000, beyond the end of the file")) << error;
}
