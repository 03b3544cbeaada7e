#include "core/data/lotek_source.h"

#include <algorithm>

#include "core/data/host_failure.h"
#include "core/data/orvex_utility.h"
#include "host/error.h"

namespace orvex::core {
namespace {

bool hasCoordinateFields(const host::Table& table) {
  return table.findField(kLongitudeField) >= 0 && table.findField(kLatitudeField) >= 0;
}

bool isIntegerField(const host::Table& table, std::string_view name) {
  const host::FieldType type = table.fields().at(table.findField(name)).type;
  return type == host::FieldType::Integer || type == host::FieldType::SmallInteger;
}

/// The longest text each copied field takes over every row. Numbers and dates count with
/// their text form, which is what a text output field would receive.
LotekTextWidths measureTextWidths(const host::Table& table) {
  LotekTextWidths widths{};
  std::array<int, kLotekFields.size()> index{};
  for (std::size_t i = 0; i < kLotekFields.size(); ++i)
    index[i] = kLotekFields[i].type == host::FieldType::String ? table.findField(kLotekFields[i].input) : -1;

  auto cursor = table.search();
  while (auto row = cursor->next()) {
    for (std::size_t i = 0; i < kLotekFields.size(); ++i) {
      if (index[i] < 0) continue;
      const host::Value& value = row->value(index[i]);
      if (value.isEmpty()) continue;
      widths[i] = std::max(widths[i], static_cast<int>(value.toText().size()));
    }
  }
  return widths;
}

}  // namespace

std::string noFixTableMessage(const std::filesystem::path& file) {
  return "The file " + file.string() + " has no table with the fields \"" + std::string(kLongitudeField) +
         "\" and \"" + std::string(kLatitudeField) + "\". It is not imported.";
}

std::string coordinatesNotIntegersMessage(const std::filesystem::path& file, const std::string& table) {
  return "The coordinate fields \"" + std::string(kLongitudeField) + "\" and \"" +
         std::string(kLatitudeField) + "\" of table " + table + " in the file " + file.string() +
         " are not integer fields. The file is not imported.";
}

host::Status openLotekSource(host::Application& application, const std::filesystem::path& file,
                             LotekSource& source) {
  host::UiServices& ui = application.ui();
  source = LotekSource{};
  source.file = file;

  HostFailure failure;
  if (host::failed(openAccessWorkspace(application, file, source.workspace, &failure)))
    return reportHostFailure(ui, failure, kImportSource, kOpenFileLine);

  std::vector<std::string> names;
  try {
    names = source.workspace->tableNames();
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kImportSource, kListTablesLine);
  }

  try {
    for (const std::string& name : names) {
      auto table = source.workspace->openTable(name);
      if (table && hasCoordinateFields(*table)) {
        source.table = std::move(table);
        break;
      }
    }
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kImportSource, kFirstTableLine);
  }
  if (!source.table) {
    ui.messageBox(noFixTableMessage(file));
    return host::kNotFound;
  }
  if (!isIntegerField(*source.table, kLongitudeField) || !isIntegerField(*source.table, kLatitudeField)) {
    ui.messageBox(coordinatesNotIntegersMessage(file, source.table->name()));
    return host::kInvalidArgument;
  }

  try {
    source.textWidths = measureTextWidths(*source.table);
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kImportSource, kSelectLine);
  }
  return host::kOk;
}

}  // namespace orvex::core
