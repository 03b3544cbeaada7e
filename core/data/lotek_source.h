#pragma once

// One Lotek collar file opened for import: its Access workspace, the fix table chosen in it
// and the widths its text values need.

#include <filesystem>
#include <memory>
#include <string>

#include "core/data/lotek_schema.h"
#include "host/application.h"
#include "host/status.h"
#include "host/table.h"
#include "host/workspace.h"

namespace orvex::core {

/// Source name and lines of the import's host failure reports.
inline constexpr const char* kImportSource = "orvex_import";
inline constexpr int kOutputWorkspaceLine = 171;
inline constexpr int kCreateOutputLine = 236;
inline constexpr int kOpenFileLine = 281;
inline constexpr int kListTablesLine = 286;
inline constexpr int kFirstTableLine = 299;
inline constexpr int kSelectLine = 318;
inline constexpr int kSearchLine = 321;
inline constexpr int kInsertLine = 352;
inline constexpr int kFlushLine = 361;
inline constexpr int kAddLayerLine = 392;

struct LotekSource {
  std::filesystem::path file{};
  std::shared_ptr<host::Workspace> workspace{};
  std::shared_ptr<host::Table> table{};
  /// The longest text of each copied field over every row of the table.
  LotekTextWidths textWidths{};
};

/// "The file <file> has no table with the fields ..." message for a file without a fix table.
std::string noFixTableMessage(const std::filesystem::path& file);
/// Message for a fix table whose coordinate fields are not integers.
std::string coordinatesNotIntegersMessage(const std::filesystem::path& file, const std::string& table);

/// Opens a collar file and chooses its fix table: the first table, in the file's own order,
/// that has both coordinate fields. Then reads the table once to learn how wide its text
/// values are.
///
/// Every failure is shown to the user, naming the file, and returned; the file is then left
/// out and the caller goes on with the next one:
/// - host failures opening the file, listing or opening its tables, or reading its rows: the
///   host's error text (which names the file) followed by "\norvex_import(<line>)";
/// - no table with both coordinate fields: `noFixTableMessage`, status kNotFound;
/// - coordinate fields that are not integers: `coordinatesNotIntegersMessage`, status
///   kInvalidArgument.
host::Status openLotekSource(host::Application& application, const std::filesystem::path& file,
                             LotekSource& source);

}  // namespace orvex::core
