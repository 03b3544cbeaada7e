#include "range/bbmm/bbmm_input.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <variant>

#include "host/error.h"
#include "host/layer.h"
#include "host/table.h"
#include "host/text.h"

namespace orvex::range {
namespace {

// Animals sort numerically by a number ID and by text otherwise, as the unique-value list does.
using AnimalKey = std::variant<double, std::string>;

int RequireField(const host::FeatureClass& features, const std::string& name, const char* role) {
  const int index = features.findField(name);
  if (index < 0)
    throw host::Error(host::kNotFound, std::string("The ") + role + " field '" + name +
                                           "' is not in the layer '" + features.name() + "'");
  return index;
}

std::string FixName(host::ObjectId oid) { return "fix " + std::to_string(oid); }

// The time of a fix in seconds, or the reason it has none.
std::optional<std::string> ReadTime(const host::Value& value, const std::string& field, host::ObjectId oid,
                                    double& time) {
  if (value.isText()) return "the time field '" + field + "' holds text, not seconds (" + FixName(oid) + ")";
  if (!value.isNumeric()) return FixName(oid) + " has no time in '" + field + "'";
  time = value.toDouble();
  if (!std::isfinite(time)) return FixName(oid) + " has a time that is not a finite number";
  return std::nullopt;
}

void SortByTime(BbmmAnimal& animal) {
  std::vector<std::size_t> order(animal.t.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&animal](std::size_t a, std::size_t b) { return animal.t[a] < animal.t[b]; });
  const auto permute = [&order](std::vector<double>& values) {
    if (values.empty()) return;
    std::vector<double> sorted(values.size());
    for (std::size_t i = 0; i < order.size(); ++i) sorted[i] = values[order[i]];
    values = std::move(sorted);
  };
  for (std::vector<double>* values : {&animal.x, &animal.y, &animal.t, &animal.sigma2}) permute(*values);
}

void CheckAnimal(BbmmAnimal& animal) {
  if (animal.problem) return;
  if (animal.t.size() < 3) {
    animal.problem = "it has " + std::to_string(animal.t.size()) + " fixes; a bridge needs 3 at least";
    return;
  }
  SortByTime(animal);
  if (animal.t.front() == animal.t.back())
    animal.problem =
        "its times do not increase: every fix has the time " + host::numberText(animal.t.front());
}

}  // namespace

std::vector<BbmmAnimal> ReadBbmmAnimals(const host::FeatureLayer& layer, const BbmmSettings& settings) {
  const std::shared_ptr<host::FeatureClass> features = layer.featureClass();
  if (!features) throw host::Error(host::kNotFound, "The layer '" + layer.name() + "' has no data source");
  const int idIndex = RequireField(*features, settings.idField, "ID");
  const int timeIndex = RequireField(*features, settings.timeField, "time");
  const int errorIndex =
      settings.sigma2Field.empty() ? -1 : RequireField(*features, settings.sigma2Field, "location error");

  std::map<AnimalKey, BbmmAnimal> animals;
  const std::unique_ptr<host::Cursor> rows =
      settings.useSelectedOnly ? layer.selection().search() : features->search();
  while (const std::optional<host::Row> row = rows->next()) {
    const host::Value& id = row->value(idIndex);
    if (id.isEmpty() || (id.isText() && id.text()->empty())) continue;
    const AnimalKey key = id.isText() ? AnimalKey(*id.text()) : AnimalKey(id.toDouble());
    BbmmAnimal& animal = animals[key];
    if (animal.id.empty()) animal.id = id.toText();
    if (animal.problem) continue;
    const host::Point* point = row->shape().point();
    if (point == nullptr || point->isEmpty()) {
      animal.problem = FixName(row->oid()) + " has no point";
      continue;
    }
    double time = 0.0;
    if (auto bad = ReadTime(row->value(timeIndex), settings.timeField, row->oid(), time)) {
      animal.problem = std::move(bad);
      continue;
    }
    if (errorIndex >= 0) {
      const host::Value& error = row->value(errorIndex);
      const double sigma2 = error.isNumeric() ? error.toDouble() : std::nan("");
      if (!(sigma2 > 0.0 && std::isfinite(sigma2))) {
        animal.problem =
            FixName(row->oid()) + " has no positive location error in '" + settings.sigma2Field + "'";
        continue;
      }
      animal.sigma2.push_back(sigma2);
    }
    animal.x.push_back(point->x);
    animal.y.push_back(point->y);
    animal.t.push_back(time);
  }
  std::vector<BbmmAnimal> result;
  result.reserve(animals.size());
  for (auto& [key, animal] : animals) {
    CheckAnimal(animal);
    result.push_back(std::move(animal));
  }
  return result;
}

}  // namespace orvex::range
