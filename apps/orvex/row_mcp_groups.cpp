#include "apps/orvex/row_mcp_groups.h"

#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "host/error.h"
#include "host/table.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/headless_layers.h"

namespace orvex::cli {
namespace {

/// Orders the values of one field: numbers by value, then texts byte-wise, then dates.
struct GroupKey {
  int kind = 0;  // 0 number, 1 text, 2 date
  double number = 0.0;
  std::string text;

  static GroupKey of(const host::Value& value) {
    switch (value.type()) {
      case host::ValueType::Text:
        return {1, 0.0, value.toText()};
      case host::ValueType::Date:
        return {2, value.date()->unixSeconds(), value.toText()};
      default:
        return {0, value.toDouble(), value.toText()};
    }
  }
  bool operator<(const GroupKey& other) const {
    return std::tie(kind, number, text) < std::tie(other.kind, other.number, other.text);
  }
};

/// The index of the --by field in the layer's feature class.
int byFieldIndex(const host::FeatureLayer& layer, const std::string& field) {
  const int index = layer.featureClass()->findField(field);
  if (index < 0)
    throw host::Error(host::kInvalidArgument,
                      "Layer '" + layer.name() + "' has no field \"" + field + "\" (--by)");
  return index;
}

std::vector<std::shared_ptr<host::Layer>> groupsOf(platform::headless::HeadlessApplication& application,
                                                   const host::FeatureLayer& layer,
                                                   const std::string& field) {
  const std::shared_ptr<host::FeatureClass> featureClass = layer.featureClass();
  const int index = byFieldIndex(layer, field);

  std::map<GroupKey, std::vector<host::ObjectId>> groups;
  int withoutValue = 0;
  const auto cursor = layer.selection().search();
  while (const auto row = cursor->next()) {
    const host::Value& value = row->value(index);
    if (value.isEmpty()) {
      ++withoutValue;
      continue;
    }
    groups[GroupKey::of(value)].push_back(row->oid());
  }
  if (withoutValue > 0)
    application.note(layer.name() + ": " + std::to_string(withoutValue) +
                     " selected features without a value of " + field + " are left out");

  std::vector<std::shared_ptr<host::Layer>> layers;
  for (auto& [key, ids] : groups) {
    auto group = std::make_shared<platform::headless::HeadlessFeatureLayer>(featureClass, key.text,
                                                                            layer.spatialReference());
    group->replaceSelection(host::SelectionSet(featureClass, std::move(ids)));
    layers.push_back(std::move(group));
  }
  return layers;
}

}  // namespace

int groupLayersByField(platform::headless::HeadlessApplication& application, const std::string& field) {
  platform::headless::HeadlessMap& map = application.focusMap();
  const std::vector<std::shared_ptr<host::Layer>> before = map.layers();
  std::vector<std::shared_ptr<host::Layer>> after;
  int whole = 0;
  for (const auto& layer : before) {
    const auto featureLayer = std::dynamic_pointer_cast<host::FeatureLayer>(layer);
    if (!featureLayer || !featureLayer->featureClass()) {
      after.push_back(layer);
      continue;
    }
    std::vector<std::shared_ptr<host::Layer>> groups;
    if (featureLayer->featureClass()->shapeType() == host::GeometryType::Point)
      groups = groupsOf(application, *featureLayer, field);
    if (groups.empty()) {
      ++whole;
      after.push_back(layer);
    }
    for (auto& group : groups) after.push_back(std::move(group));
  }
  for (const auto& layer : before) map.removeLayer(layer);
  for (auto& layer : after) map.appendLayer(std::move(layer));
  return whole;
}

void nameAnimalField(platform::headless::HeadlessApplication& application, const std::string& field) {
  const auto layer = std::dynamic_pointer_cast<platform::headless::HeadlessFeatureLayer>(
      application.document()->selectedLayer());
  if (!layer || !layer->featureClass()) return;
  byFieldIndex(*layer, field);
  layer->setAnimalField(field);
}

}  // namespace orvex::cli
