#pragma once

// Shared pieces of the KDE dialog tests: a temporary folder, point shapefiles made for a
// test, a raster layer, and a headless host whose map shows them, with the dialog open on it.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/field.h"
#include "host/raster.h"
#include "host/table.h"
#include "host/workspace.h"
#include "platform/common/form_driver.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"
#include "support/files.h"
#include "support/headless_options.h"
#include "support/temp_folder.h"
#include "ui/kde/frm_kde.h"

namespace orvex::test {

inline std::string ReadFile(const std::filesystem::path& file) { return readAll(file); }

inline void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

/// One fix of a test layer: its text ID, whole-number ID and position.
struct Fix {
  std::string id;
  int number = 0;
  double x = 0.0;
  double y = 0.0;
};

/// Writes folder/name.shp with the fields "AnimalID" (text), "Num" (integer) and "Weight"
/// (real), one point per fix in the given order.
inline std::filesystem::path WritePoints(const std::filesystem::path& folder, const std::string& name,
                                         const std::vector<Fix>& fixes) {
  platform::headless::HeadlessApplication app;
  auto workspace = app.workspaces().openShapefileWorkspace(folder);
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields.add(
      host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point, false, false, {}}));
  definition.fields.add(host::FieldDef("AnimalID", host::FieldType::String, 20));
  definition.fields.add(host::FieldDef("Num", host::FieldType::Integer, 9));
  definition.fields.add(host::FieldDef("Weight", host::FieldType::Double, 12));
  auto features = workspace->createFeatureClass(definition);
  auto insert = features->insert(true);
  host::Row buffer = features->createRowBuffer();
  for (const Fix& fix : fixes) {
    buffer.setValue(features->findField("AnimalID"), host::Value(fix.id));
    buffer.setValue(features->findField("Num"), host::Value(static_cast<std::int32_t>(fix.number)));
    buffer.setValue(features->findField("Weight"), host::Value(1.5));
    buffer.setShape(host::Geometry(host::Point{fix.x, fix.y}));
    insert->insert(buffer);
  }
  insert->flush();
  return folder / (name + ".shp");
}

/// Animals worked out by hand in the table tests: A, four fixes on a 4 x 3 rectangle; B, three
/// fixes of a right triangle; C, a single fix.
inline std::vector<Fix> HandFixes() {
  return {{"A", 1, 0, 0},     {"A", 1, 4, 0},     {"A", 1, 4, 3},     {"A", 1, 0, 3},
          {"B", 2, 100, 100}, {"B", 2, 103, 100}, {"B", 2, 100, 104}, {"C", 3, 50, 50}};
}

/// `count` fixes of one animal on a sunflower spiral around (cx, cy), reaching `radius`:
/// spread evenly enough for a cross-validated bandwidth well above a cell of radius / 10.
inline std::vector<Fix> SpiralFixes(const std::string& id, int number, double cx, double cy, int count,
                                    double radius) {
  constexpr double kGoldenAngle = 2.399963229728653;
  std::vector<Fix> fixes;
  for (int i = 0; i < count; ++i) {
    const double r = radius * std::sqrt((i + 0.5) / count);
    fixes.push_back({id, number, cx + r * std::cos(i * kGoldenAngle), cy + r * std::sin(i * kGoldenAngle)});
  }
  return fixes;
}

/// Two animals "east" (1) and "west" (2) of 40 fixes each, 5000 units apart.
inline std::vector<Fix> TwoAnimals() {
  std::vector<Fix> fixes = SpiralFixes("east", 1, 15000, 10000, 40, 1000);
  const std::vector<Fix> west = SpiralFixes("west", 2, 10000, 10000, 40, 1000);
  fixes.insert(fixes.end(), west.begin(), west.end());
  return fixes;
}

/// A one-band GeoTIFF folder/name.tif of 10 x 8 cells of 25 units at (1000, 2000).
inline std::filesystem::path WriteRaster(const std::filesystem::path& folder, const std::string& name) {
  platform::headless::HeadlessApplication app;
  host::RasterSpec definition;
  definition.name = name;
  definition.originX = 1000.0;
  definition.originY = 2000.0;
  definition.cellSize = 25.0;
  definition.rows = 8;
  definition.columns = 10;
  app.workspaces().openRasterWorkspace(folder)->createRaster(definition);
  return folder / (name + ".tif");
}

/// A headless host with the dialog open on its map. Message boxes are recorded; Yes/No
/// questions take their default (Yes) unless a policy is given.
struct DialogHost {
  TempFolder folder;
  std::ostringstream messages;
  platform::headless::HeadlessApplication app;
  std::unique_ptr<ui::frmKDE> form;

  explicit DialogHost(platform::headless::ChoicePolicy choices = platform::headless::ChoicePolicy::Ask)
      : app(quietOptions(messages, choices)) {}

  /// Adds the files as layers; `where` selects features (empty: every feature selected).
  void Load(std::vector<std::filesystem::path> files, std::string where = {}) {
    platform::headless::MapSource source;
    source.files = std::move(files);
    source.where = std::move(where);
    platform::headless::loadMapSource(app, source);
  }

  /// Makes and loads the dialog (as showModal would before a person acts on it).
  ui::frmKDE& Open() {
    form = std::make_unique<ui::frmKDE>(app, nullptr);
    form->load();
    return *form;
  }

  /// The hand-worked layer "tracks", every fix selected, and the dialog open on it.
  ui::frmKDE& OpenOnHandLayer() {
    Load({WritePoints(folder.path(), "tracks", HandFixes())});
    return Open();
  }

  platform::FormDriver Driver() { return platform::FormDriver(*form); }
  host::Control& Control(const char* name) { return form->control(name); }

  /// Chooses the layer and the ID field on the "Input Data" tab.
  void Choose(const std::string& layer, const std::string& field) {
    platform::FormDriver driver = Driver();
    driver.select("cmbPntL", layer);
    driver.select("cmbUIDFLD", field);
  }

  std::vector<std::string> MessageTexts() {
    std::vector<std::string> texts;
    for (const auto& record : app.scriptedUi().messages()) texts.push_back(record.message.text);
    return texts;
  }
  const host::Message* LastMessage() {
    const auto& records = app.scriptedUi().messages();
    return records.empty() ? nullptr : &records.back().message;
  }
};

/// The rows of a grid control as text, cells joined by "|".
inline std::vector<std::string> GridLines(const host::Control& grid) {
  std::vector<std::string> lines;
  const auto join = [](const std::vector<std::string>& cells) {
    std::string line;
    for (const std::string& cell : cells) line += (line.empty() ? "" : "|") + cell;
    return line;
  };
  lines.push_back(join(grid.grid().columns));
  for (const auto& row : grid.grid().rows) lines.push_back(join(row));
  return lines;
}

}  // namespace orvex::test
