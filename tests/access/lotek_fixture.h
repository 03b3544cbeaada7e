#pragma once

// Access to the Lotek collar fixtures of the shared data folder, and a reader for their
// expected-value CSV files.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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

// Jet 4 layout (all fixtures are Jet 4): page size, and where a data page keeps its owner (the
// table definition page), its row count and its row offsets.
inline constexpr std::size_t kJet4Page = 4096;
inline constexpr std::size_t kOwnerOffset = 4;
inline constexpr std::size_t kRowCountOffset = 12;
inline constexpr std::size_t kFirstRowOffset = 14;

inline std::uint32_t u32At(const std::vector<char>& bytes, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

/// The data pages (in file order) of the table owning the most data pages, the fix table, and
/// that table's definition page.
struct FixPages {
  std::uint32_t owner = 0;
  std::vector<std::size_t> pages;
};

inline FixPages fixDataPages(const std::vector<char>& bytes) {
  std::map<std::uint32_t, std::vector<std::size_t>> owned;
  for (std::size_t p = 1; p < bytes.size() / kJet4Page; ++p) {
    if (bytes[p * kJet4Page] == 1) owned[u32At(bytes, p * kJet4Page + kOwnerOffset)].push_back(p);
  }
  FixPages best;
  for (auto& [owner, pages] : owned) {
    if (pages.size() > best.pages.size()) best = FixPages{owner, pages};
  }
  return best;
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
