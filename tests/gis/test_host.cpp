#include "gis/test_host.h"

namespace orvex::test {

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
