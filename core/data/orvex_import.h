#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "core/data/lotek_source.h"
#include "core/data/orvex_command.h"
#include "host/table.h"

namespace orvex::core {

/// Options of the import's file dialogs.
host::FileDialogOptions lotekOpenDialogOptions();
host::FileDialogOptions lotekSaveDialogOptions();

/// The command "Import Lotek MDB Files" (orvex_import): the fix tables of one or more Lotek
/// collar files become one point shapefile in the focus map's coordinate system (WGS 1984 when
/// the map has none), added to the map as a new layer.
///
/// A click asks for the .mdb files, the output shapefile and whether to keep fixes still
/// "Acquiring" (`KeepersForm`), then copies the files in the order chosen. Fixes are
/// projected from their stored WGS 1984 positions; the eleven fields of `kLotekFields` are
/// copied, a field absent on either side staying empty.
///
/// Files that cannot be read, have no fix table or have non-integer coordinates are reported,
/// naming the file, and left out; the others go on. When no file can be read at all the
/// command ends before the output is touched, so an existing shapefile is not lost for
/// nothing. Rows without coordinates are left out and counted in one message per file.
/// Cancelling any dialog ends the command quietly with kAbort (after "Keepers?", the empty
/// output stays).
class orvex_import final : public OrvexCommand {
 public:
  orvex_import();
  host::Status onClick() override;

 private:
  /// Creates the empty output (replacing a deletable one of that name), or opens the
  /// existing one to append to when it cannot be replaced.
  host::Status createOutput(host::Workspace& workspace, const std::string& name,
                            const std::vector<LotekSource>& sources,
                            std::shared_ptr<host::FeatureClass>& output);
  /// Appends the fixes of one file that pass `filter`.
  host::Status copyFixes(const LotekSource& source, const std::string& filter,
                         const host::SpatialReference& wgs84, host::FeatureClass& output);
};

/// A new Lotek import command, for the module's class table and for tests.
std::unique_ptr<host::Command> makeOrvexImport();

}  // namespace orvex::core
