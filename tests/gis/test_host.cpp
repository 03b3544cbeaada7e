#include "gis/test_host.h"

#include <unistd.h>
#include <atomic>

namespace orvex::test {

TempFolder::TempFolder(const std::string& tag) {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("orvex_gis_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<host::Row> ReadAll(const host::FeatureClass& featureClass) {
  std::vector<host::Row> rows;
  auto cursor = featureClass.search();
  while (auto row = cursor->next()) rows.push_back(std::move(*row));
  return rows;
}

std::vector<std::string> FieldNames(const host::FeatureClass& featureClass) {
  std::vector<std::string> names;
  for (const auto& field : featureClass.fields()) names.push_back(field.name);
  return names;
}

}  // namespace orvex::test
