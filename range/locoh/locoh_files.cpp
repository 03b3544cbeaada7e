#include "range/locoh/locoh_files.h"

#include <cmath>
#include <map>
#include <memory>
#include <variant>

#include "host/cursor.h"
#include "host/field.h"
#include "host/geometry.h"
#include "host/number_list.h"
#include "host/table.h"
#include "host/workspace.h"

namespace orvex::range {
namespace {

// Areas to a millionth of a square map unit, up to 10^17 of them; percents to 4 decimals.
constexpr int kAreaWidth = 24;
constexpr int kAreaDecimals = 6;
constexpr int kPercentWidth = 10;
constexpr int kPercentDecimals = 4;
constexpr double kLargestK = 1e9;

std::shared_ptr<host::FeatureClass> CreatePolygons(host::Workspace& workspace, const std::string& name,
                                                   const host::SpatialReferencePtr& crs,
                                                   const std::vector<host::FieldDef>& fields) {
  if (workspace.exists(name)) workspace.deleteDataset(name);
  host::FeatureClassSpec spec;
  spec.name = name;
  spec.fields.add(
      host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Polygon, false, false, crs}));
  for (const host::FieldDef& field : fields) spec.fields.add(field);
  return workspace.createFeatureClass(spec);
}

host::FieldDef AreaField() {
  return host::FieldDef("Area", host::FieldType::Double, 0, kAreaWidth, kAreaDecimals);
}
host::FieldDef PercentField() {
  return host::FieldDef("Percent", host::FieldType::Double, 0, kPercentWidth, kPercentDecimals);
}
host::FieldDef CountField(const char* name) { return host::FieldDef(name, host::FieldType::Integer, 0, 10); }
host::Value Count(std::size_t count) { return host::Value(static_cast<std::int32_t>(count)); }

// Animals sort numerically by a number ID and by text otherwise, as the other tools list them.
using AnimalKey = std::variant<double, std::string>;

}  // namespace

std::vector<LocohAnimal> read_locoh_animals(host::Cursor& rows, int id_field) {
  std::map<AnimalKey, LocohAnimal> animals;
  while (const std::optional<host::Row> row = rows.next()) {
    const host::Value& id = row->value(id_field);
    if (id.isEmpty() || (id.isText() && id.text()->empty())) continue;
    const host::Point* point = row->shape().point();
    if (point == nullptr || point->isEmpty()) continue;
    LocohAnimal& animal = animals[id.isText() ? AnimalKey(*id.text()) : AnimalKey(id.toDouble())];
    if (animal.id.empty()) animal.id = id.toText();
    animal.x.push_back(point->x);
    animal.y.push_back(point->y);
    animal.oids.push_back(row->oid());
  }
  std::vector<LocohAnimal> result;
  result.reserve(animals.size());
  for (auto& [key, animal] : animals) result.push_back(std::move(animal));
  return result;
}

std::optional<LocohMethod> locoh_method_of(const std::string& text) {
  if (text == "k") return LocohMethod::k;
  if (text == "r") return LocohMethod::r;
  if (text == "a") return LocohMethod::a;
  return std::nullopt;
}

const char* locoh_method_name(LocohMethod method) {
  return method == LocohMethod::k ? "k" : method == LocohMethod::r ? "r" : "a";
}

std::string locoh_parameter_problem(LocohMethod method, std::optional<double> value) {
  if (method == LocohMethod::k) {
    if (!value || !(*value >= 1.0) || *value != std::floor(*value) || *value > kLargestK)
      return "k must be a whole number >= 1";
  } else if (!value || !(*value > 0.0) || !std::isfinite(*value)) {
    return "r and a must be positive distances in map units";
  }
  return {};
}

std::optional<std::vector<double>> locoh_percents_of(const std::string& text) {
  const host::NumberList list = host::parseNumberList(text, host::kWholeNumberList);
  if (!list.ok()) return std::nullopt;
  for (const double p : list.values)
    if (!(p > 0.0 && p <= 100.0)) return std::nullopt;
  return list.values;
}

std::string locoh_file_stem(const std::string& id) {
  std::string stem;
  for (const char c : id) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.';
    stem += kept ? c : '_';
  }
  return stem.empty() ? std::string("animal") : stem;
}

std::vector<double> write_locoh_isopleths(host::Workspace& workspace, const std::string& name,
                                          const host::SpatialReferencePtr& crs,
                                          const std::vector<LocohIsopleth>& isopleths) {
  const auto features =
      CreatePolygons(workspace, name, crs, {PercentField(), AreaField(), CountField("NFixes")});
  const auto cursor = features->insert(true);
  host::Row buffer = features->createRowBuffer();
  std::vector<double> areas;
  for (const LocohIsopleth& isopleth : isopleths) {
    buffer.setShape(isopleth.polygon.isEmpty() ? host::Geometry() : host::Geometry(isopleth.polygon, crs));
    buffer.setValue(buffer.findField("Percent"), host::Value(isopleth.percent));
    buffer.setValue(buffer.findField("Area"), host::Value(isopleth.area));
    buffer.setValue(buffer.findField("NFixes"), Count(isopleth.fixes));
    cursor->insert(buffer);
    areas.push_back(isopleth.area);
  }
  cursor->flush();
  return areas;
}

void write_locoh_hulls(host::Workspace& workspace, const std::string& name,
                       const host::SpatialReferencePtr& crs, const LocohHulls& hulls,
                       const std::vector<host::ObjectId>& fix_ids) {
  const auto features = CreatePolygons(
      workspace, name, crs,
      {CountField("Order"), CountField("FixFID"), CountField("NFixes"), AreaField(), PercentField()});
  const auto cursor = features->insert(true);
  host::Row buffer = features->createRowBuffer();
  const auto total = static_cast<double>(hulls.distinct_fixes);
  for (std::size_t i = 0; i < hulls.hulls.size(); ++i) {
    const LocohHull& hull = hulls.hulls[i];
    if (hull.x.size() < 3) continue;  // a set of one or two fixes, or on a line: no polygon
    host::Ring ring;
    for (std::size_t k = 0; k < hull.x.size(); ++k) ring.push_back({hull.x[k], hull.y[k]});
    ring.push_back(ring.front());
    buffer.setShape(host::Geometry(host::Polygon{{std::move(ring)}}, crs));
    buffer.setValue(buffer.findField("Order"), Count(i + 1));
    buffer.setValue(buffer.findField("FixFID"), host::Value(fix_ids[hull.fix]));
    buffer.setValue(buffer.findField("NFixes"), Count(hull.set_size));
    buffer.setValue(buffer.findField("Area"), host::Value(hull.area));
    buffer.setValue(buffer.findField("Percent"),
                    host::Value(100.0 * static_cast<double>(hull.cumulative_fixes) / total));
    cursor->insert(buffer);
  }
  cursor->flush();
}

}  // namespace orvex::range
