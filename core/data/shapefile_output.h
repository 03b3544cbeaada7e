#pragma once

// What the orvexcore commands that save their results as polygon shapefiles share: the save
// dialog, the output folder, the feature class, number fields wide enough for their values,
// and the layer that shows the result.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/data/host_context.h"
#include "core/data/host_failure.h"
#include "host/application.h"
#include "host/field.h"
#include "host/run_record.h"
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

/// Where a result is saved: the file the save dialog chose, its folder opened as a workspace
/// and the name of the feature class (the file name).
struct OutputTarget {
  std::filesystem::path chosen{};
  std::shared_ptr<host::Workspace> workspace{};
  std::string name{};
  /// The feature class was there already and could not be deleted (the host keeps files in
  /// use): the features are appended to it.
  bool appended = false;
};

/// Asks with `dialog` where to save the result `item`, opens the chosen folder ("." for a bare
/// name) and deletes a deletable feature class of that name. On success `target` holds where
/// to save and the status is the host's. Otherwise `target` stays empty and:
/// - a cancelled dialog records `item` as cancelled, with the dialog's values, and gives kOk;
/// - a folder the host cannot open is shown as "<host text>\n<source>(<workspaceLine>)" and
///   gives the host's failure status; a host that gives no workspace without failing, kFail.
host::Status chooseOutputTarget(host::Application& application, const host::FileDialogOptions& dialog,
                                const std::string& item, std::string_view source, int workspaceLine,
                                std::optional<OutputTarget>& target);

/// A new polygon feature class named as `target` says, in its workspace, with a "shape" field
/// and `fields`, or, when the name is still taken (an old file that could not be deleted), the
/// existing one, which the features are appended to (`target.appended` is then set). Null, with
/// the host's failure in `failure`, when neither can be had.
std::shared_ptr<host::FeatureClass> createOutputFeatureClass(OutputTarget& target, const host::Fields& fields,
                                                             HostFailure& failure);

/// Records `featureClass`, written to `target` with `features` features, as a shapefile output
/// of the run (the chosen file, ".shp" added to a name without an extension) with `values`,
/// then adds it as a layer named after the file on top of the focus map and refreshes the
/// view's geography. Needs a refreshed context. An output appended to is recorded as the file
/// holds it: every feature of the class, and the areas recorded for the file earlier in the
/// run (with their decimals, the field's) before `values.areas`.
/// @return the host's status; a layer the host cannot add is shown as
///         "<host text>\n<source>(<line>)", and nothing is refreshed.
host::Status recordAndShowOutput(HostContext& context, const OutputTarget& target,
                                 std::shared_ptr<host::FeatureClass> featureClass, std::int64_t features,
                                 host::RecordValues values, std::string_view source, int line);

}  // namespace orvex::core
