// libFuzzer target for the Access reader and its where-clause compiler.
//
// An input starting with "WHERE:" is a where clause, compiled against a fixed column set and
// run on a few rows; any other input is an Access file, opened and read completely (every
// table, every row). The only acceptable failure is an AccessError.

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/access/access_database.h"

namespace {

using namespace orvex::access;

void fuzzWhereClause(std::string_view text) {
  static const std::vector<AccessColumn> columns = {{"ID", ColumnType::LongInteger, 4, 4},
                                                    {"FixStatus", ColumnType::Text, 30, 10},
                                                    {"DOP", ColumnType::Single, 4, 6},
                                                    {"Date", ColumnType::DateTime, 8, 8},
                                                    {"Flag", ColumnType::Boolean, 1, 1}};
  static const std::vector<std::vector<AccessValue>> rows = {
      {1, std::string("Acquiring"), 1.5f, AccessDate{37622.5}, true},
      {AccessValue{}, AccessValue{}, AccessValue{}, AccessValue{}, false},
      {-7, std::string(""), -0.0f, AccessDate{-1.25}, false}};
  try {
    const WhereClause clause = WhereClause::compile(text, columns);
    for (const auto& row : rows) (void)clause.matches(row);
  } catch (const AccessError&) {
  }
}

void fuzzFile(const std::uint8_t* data, std::size_t size) {
  // libmdb reads files, not buffers, and the reader checks the file's length on disk.
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("orvex_fuzz_mdb_" + std::to_string(::getpid()) + ".mdb");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    const AccessDatabase db = AccessDatabase::open(path);
    for (const auto& name : db.tableNames()) {
      AccessCursor cursor = db.openTable(name).search();
      while (cursor.next()) {
      }
    }
  } catch (const AccessError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::string_view kWherePrefix = "WHERE:";
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.substr(0, kWherePrefix.size()) == kWherePrefix) {
    fuzzWhereClause(input.substr(kWherePrefix.size()));
  } else {
    fuzzFile(data, size);
  }
  return 0;
}
