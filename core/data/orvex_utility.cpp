#include "core/data/orvex_utility.h"

#include <exception>

#include "host/error.h"

namespace orvex::core {
namespace {

/// Result of `readTextValue` for anything but a text value.
constexpr host::Status kNoText = -1;
/// Result of `setNamedValue` for a field the row does not have.
constexpr host::Status kFieldNotPresent = host::kFalse;

host::Status fail(const host::Error& error, HostFailure* failure) {
  if (failure != nullptr) *failure = HostFailure::from(error);
  return error.status();
}

}  // namespace

host::Status addField(host::Fields& fields, std::string name, host::FieldType type, int length, int precision,
                      int scale, HostFailure* failure) {
  try {
    host::FieldDef field;
    field.name = std::move(name);
    field.type = type;
    field.length = length;
    field.precision = precision;
    field.scale = scale;
    fields.add(std::move(field));
    return host::kOk;
  } catch (const host::Error& error) {
    return fail(error, failure);
  }
}

host::Status openShapefileWorkspace(host::Application& application, const std::filesystem::path& folder,
                                    std::shared_ptr<host::Workspace>& workspace, HostFailure* failure) {
  workspace.reset();
  try {
    workspace = application.workspaces().openShapefileWorkspace(folder);
    return workspace ? host::kOk : host::kFail;
  } catch (const host::Error& error) {
    return fail(error, failure);
  }
}

host::Status openAccessWorkspace(host::Application& application, const std::filesystem::path& file,
                                 std::shared_ptr<host::Workspace>& workspace, HostFailure* failure) {
  workspace.reset();
  try {
    workspace = application.workspaces().openAccessWorkspace(file);
    return workspace ? host::kOk : host::kFail;
  } catch (const host::Error& error) {
    return fail(error, failure);
  }
}

void deleteExistingFeatureClass(host::Workspace& workspace, std::string_view name) {
  try {
    if (workspace.openFeatureClass(name) && workspace.canDelete(name)) workspace.deleteDataset(name);
  } catch (const host::Error&) {
    // Deliberately quiet: the caller's creation of the class then fails or appends.
  }
}

host::Status setNamedValue(host::UiServices& ui, host::Row& row, std::string_view fieldName,
                           const host::Value& value) {
  try {
    const int index = row.findField(fieldName);
    if (index < 0) return kFieldNotPresent;
    row.setValue(index, value);
    return host::kOk;
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kUtilitySource, kSetNamedValueLine);
  }
}

host::Status findField(host::UiServices& ui, const host::Row& row, std::string_view fieldName, int& index) {
  index = -1;
  try {
    index = row.findField(fieldName);
    return host::kOk;
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kUtilitySource, kFindFieldLine);
  }
}

host::Status addFeatureLayer(HostContext& context, std::shared_ptr<host::FeatureClass> featureClass,
                             std::string layerName, std::shared_ptr<host::FeatureLayer>* layer,
                             HostFailure* failure) {
  if (layer != nullptr) layer->reset();
  if (!featureClass) return host::kInvalidPointer;
  if (!context.focusMap()) return host::kUnexpected;
  try {
    auto added = context.focusMap()->addFeatureLayer(std::move(featureClass), std::move(layerName),
                                                     context.spatialReference());
    if (!added) return host::kFail;
    if (layer != nullptr) *layer = std::move(added);
    return host::kOk;
  } catch (const host::Error& error) {
    return fail(error, failure);
  }
}

host::Status readTextValue(const host::Row& row, std::string_view fieldName, std::string& text) {
  try {
    const int index = row.findField(fieldName);
    if (index < 0) return kNoText;
    const std::string* value = row.value(index).text();
    if (value == nullptr) return kNoText;
    text = *value;
    return host::kOk;
  } catch (const host::Error&) {
    return kNoText;
  }
}

}  // namespace orvex::core
