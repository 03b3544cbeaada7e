#pragma once

// Access to the Lotek collar fixtures of the shared data folder, and a reader for their
// expected-value CSV files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace orvex::access::testing {

inline std::filesystem::path lotekFolder() { return std::filesystem::path(ORVEX_SHARED_DATA) / "lotek"; }

/// Skips the calling test when the shared fixtures are not there.
#define ORVEX_REQUIRE_LOTEK()                                                                    \
  do {                                                                                           \
    if (!std::filesystem::is_directory(::orvex::access::testing::lotekFolder()))                 \
      GTEST_SKIP() << "Lotek fixtures not found in " << ::orvex::access::testing::lotekFolder(); \
  } while (0)

/// One row of an expected/*.csv file, by column name; empty text for an empty cell.
using CsvRow = std::map<std::string, std::string>;

/// Reads a comma-separated file with a header line (the fixture files use no quoting).
inline std::vector<CsvRow> readCsv(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<CsvRow> rows;
  std::string line;
  std::vector<std::string> header;
  auto split = [](const std::string& text) {
    std::vector<std::string> cells;
    std::stringstream stream(text);
    std::string cell;
    while (std::getline(stream, cell, ',')) cells.push_back(cell);
    if (!text.empty() && text.back() == ',') cells.emplace_back();
    return cells;
  };
  if (!std::getline(in, line)) return rows;
  header = split(line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const auto cells = split(line);
    CsvRow row;
    for (std::size_t i = 0; i < header.size(); ++i) row[header[i]] = i < cells.size() ? cells[i] : "";
    rows.push_back(std::move(row));
  }
  return rows;
}

/// A copy of a fixture in a fresh temporary folder, removed with the object; tests damage it.
class FixtureCopy {
 public:
  explicit FixtureCopy(const std::string& name) {
    folder_ = std::filesystem::temp_directory_path() /
              ("orvex_access_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    path_ = folder_ / name;
    std::filesystem::copy_file(lotekFolder() / name, path_,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(path_,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::ifstream in(path_, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
  }
  ~FixtureCopy() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  FixtureCopy(const FixtureCopy&) = delete;
  FixtureCopy& operator=(const FixtureCopy&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::vector<char>& bytes() { return bytes_; }

  /// Writes `bytes()` back, keeping only the first `length` bytes.
  void write(std::size_t length) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes_.data(), static_cast<std::streamsize>(std::min(length, bytes_.size())));
  }
  void write() const { write(bytes_.size()); }

 private:
  std::filesystem::path folder_;
  std::filesystem::path path_;
  std::vector<char> bytes_;
};

}  // namespace orvex::access::testing
