#pragma once

// The small layer through which the orvexcore commands reach shapefiles, Access files, fields
// and layers. Every routine returns a host status (negative: failure) and lets no exception
// escape. Routines that report their own failures say so; the others hand the failure back
// (status and, on request, the host's error text) for the caller to report with its own
// source location.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/data/host_context.h"
#include "core/data/host_failure.h"
#include "host/application.h"
#include "host/field.h"
#include "host/layer.h"
#include "host/row.h"
#include "host/status.h"
#include "host/ui_services.h"
#include "host/value.h"
#include "host/workspace.h"

namespace orvex::core {

/// Source name and lines of the failures the routines below report themselves.
inline constexpr const char* kUtilitySource = "orvex_utility";
inline constexpr int kSetNamedValueLine = 227;
inline constexpr int kFindFieldLine = 626;

/// Appends a field (name, type, length, precision, scale, exactly as given) to `fields`.
/// Fails without a message when the collection refuses it (a name taken, an empty name).
host::Status addField(host::Fields& fields, std::string name, host::FieldType type, int length, int precision,
                      int scale, HostFailure* failure = nullptr);

/// The host's shapefile workspace on `folder`, or the host's failure (a missing folder) with
/// `workspace` left null. No message.
host::Status openShapefileWorkspace(host::Application& application, const std::filesystem::path& folder,
                                    std::shared_ptr<host::Workspace>& workspace,
                                    HostFailure* failure = nullptr);

/// The host's read-only Access workspace on an .mdb file, or the host's failure (missing,
/// not an Access file, damaged). No message.
host::Status openAccessWorkspace(host::Application& application, const std::filesystem::path& file,
                                 std::shared_ptr<host::Workspace>& workspace, HostFailure* failure = nullptr);

/// Deletes the feature class `name` when the workspace holds one and reports that it can be
/// deleted now. Nothing is reported: a class that stays is met again when the caller creates
/// its output.
void deleteExistingFeatureClass(host::Workspace& workspace, std::string_view name);

/// Writes `value` into the field called `fieldName` of a row buffer.
/// @return 0 when written; 1 when the row has no such field (nothing written, not a failure);
///         a host failure (a maintained field, a bad value) after showing the host's error
///         text followed by "\norvex_utility(227)".
host::Status setNamedValue(host::UiServices& ui, host::Row& row, std::string_view fieldName,
                           const host::Value& value);

/// The index of the field `fieldName` in `row` (letter case ignored), -1 when absent.
/// @return 0, or a host failure after showing its text followed by "\norvex_utility(626)".
host::Status findField(host::UiServices& ui, const host::Row& row, std::string_view fieldName, int& index);

/// Adds a new feature layer for `featureClass`, named `layerName` and drawn in the context's
/// coordinate system, on top of the focus map. Needs a refreshed context.
/// @return the host's status; no message.
host::Status addFeatureLayer(HostContext& context, std::shared_ptr<host::FeatureClass> featureClass,
                             std::string layerName, std::shared_ptr<host::FeatureLayer>* layer = nullptr,
                             HostFailure* failure = nullptr);

/// Reads the field `fieldName` of `row` into `text` when its value is text.
/// @return 0 with the text; -1 (text untouched) when the field is missing, empty or of
///         another type.
host::Status readTextValue(const host::Row& row, std::string_view fieldName, std::string& text);

}  // namespace orvex::core
