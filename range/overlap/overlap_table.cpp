#include "range/overlap/overlap_table.h"

#include <cmath>
#include <fstream>

#include "host/error.h"
#include "host/text.h"

namespace orvex::range {
namespace {

/// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + '"';
}

/// Full precision: the text reads back as the same double.
std::string NumberCell(double value) { return std::isnan(value) ? "NaN" : host::cformat("%.17g", value); }

}  // namespace

int overlap_index_of(const std::string& name) {
  for (std::size_t i = 0; i < kOverlapIndexNames.size(); ++i)
    if (name == kOverlapIndexNames[i]) return static_cast<int>(i);
  return -1;
}

std::vector<std::vector<double>> write_overlap_csv(const std::filesystem::path& path,
                                                   const std::vector<std::string>& animals,
                                                   const OverlapMatrices& matrices, OverlapIndex index) {
  const std::size_t n = animals.size();
  std::vector<std::vector<double>> rows(n);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "animal";
  for (const std::string& animal : animals) out << ',' << CsvField(animal);
  out << '\n';
  for (std::size_t i = 0; i < n; ++i) {
    out << CsvField(animals[i]);
    for (std::size_t j = 0; j < n; ++j) {
      rows[i].push_back(matrices.at(index, i, j));
      out << ',' << NumberCell(rows[i].back());
    }
    out << '\n';
  }
  out.close();
  if (!out) throw host::Error(host::kDataError, "cannot write " + path.string());
  return rows;
}

}  // namespace orvex::range
