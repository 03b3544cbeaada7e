#pragma once

// What the orvexcore commands that save their results as polygon shapefiles share: the save
// dialog, the output folder, the feature class, number fields wide enough for their values,
// and the layer that shows the result.

#include <filesystem>
#include <memory>
#include <string>

#include "core/data/host_context.h"
#include "core/data/host_failure.h"
#include "host/application.h"
#include "host/field.h"
#include "host/status.h"
#include "host/ui_services.h"
#include "host/workspace.h"

namespace orvex::core {

/// Width (characters, sign and decimal point included) and decimals of a .dbf number field.
struct NumberFormat {
  int width = 0;
  int decimals = 0;
  bool operator==(const NumberFormat&) const = default;
};

/// The widest number field a .dbf holds.
inline constexpr int kMaxNumberWidth = 254;

/// The smallest change to `requested` that holds the text "%.*f" of `value` whole: the field is
/// widened to the text's length (up to kMaxNumberWidth), and only when even that is too narrow
/// are decimals given up, so no value is ever cut, refused or starred by the .dbf writer. A
/// format that already fits, a width of 0 (the platform's default) and a non-finite value
/// (stored as null) leave `requested` unchanged. Applied value by value it only ever widens the
/// field or drops decimals, so earlier values keep fitting.
NumberFormat fitNumberFormat(NumberFormat requested, double value);

/// The Save As dialog of a shapefile: titled `title`, "Shapefiles (*.shp)|*.shp", ".shp" added
/// to a bare name, read-only files hidden, asking before overwriting.
host::FileDialogOptions shapefileSaveDialog(std::string title);

/// Opens the folder of the shapefile `chosen` names ("." for a bare name) as a workspace,
/// puts the file name into `name`, and deletes a deletable feature class of that name.
/// @return the host's status; on failure `workspace` is left null and `failure` holds the
///         host's text, for the caller to report with its own source location.
host::Status openOutputWorkspace(host::Application& application, const std::filesystem::path& chosen,
                                 std::shared_ptr<host::Workspace>& workspace, std::string& name,
                                 HostFailure& failure);

/// A new polygon feature class `name` with a "shape" field and `fields`, or, when the name is
/// still taken (an old file that could not be deleted), the existing one, which the features
/// are appended to. Null, with the host's failure in `failure`, when neither can be had.
std::shared_ptr<host::FeatureClass> createOutputFeatureClass(host::Workspace& workspace,
                                                             const std::string& name,
                                                             const host::Fields& fields,
                                                             HostFailure& failure);

/// Adds the written `featureClass` as a layer named `name` on top of the focus map and
/// refreshes the view's geography. Needs a refreshed context.
/// @return the host's status; on failure nothing is refreshed and `failure` holds the host's
///         text, for the caller to report.
host::Status showOutputLayer(HostContext& context, std::shared_ptr<host::FeatureClass> featureClass,
                             const std::string& name, HostFailure& failure);

}  // namespace orvex::core
