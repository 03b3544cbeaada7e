#pragma once

// Shared pieces of the KDE batch tests: CR LF lines, point shapefiles made for a test, and a
// headless host whose map shows them (with the shared temporary folder and file reading).

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/field.h"
#include "host/table.h"
#include "host/workspace.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"
#include "support/files.h"
#include "support/headless_options.h"
#include "support/temp_folder.h"

namespace orvex::test {

/// The lines of a CR LF file; a line ended by a bare LF is marked with "<LF>" so that a wrong
/// line end shows in a comparison.
inline std::vector<std::string> ReadCrLfLines(const std::filesystem::path& file) {
  const std::string text = readAll(file);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no line end>");
      break;
    }
    if (end > start && text[end - 1] == '\r') {
      lines.push_back(text.substr(start, end - 1 - start));
    } else {
      lines.push_back(text.substr(start, end - start) + "<LF>");
    }
    start = end + 1;
  }
  return lines;
}

/// One fix of a test layer.
struct TestFix {
  host::Value id;
  double x = 0.0;
  double y = 0.0;
  bool nullShape = false;
};

/// Writes folder/name.shp with the field "AnimalID" (text when the first ID is text, else
/// integer) and one point per fix, in the given order.
inline std::filesystem::path WritePointShapefile(const std::filesystem::path& folder, const std::string& name,
                                                 const std::vector<TestFix>& fixes,
                                                 host::SpatialReferencePtr spatialReference = {}) {
  platform::gdal::GdalWorkspaceFactory factory;
  auto workspace = factory.openShapefileWorkspace(folder);
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields.add(host::FieldDef::shape(
      "Shape", host::GeometryDef{host::GeometryType::Point, false, false, std::move(spatialReference)}));
  const bool text = !fixes.empty() && fixes.front().id.isText();
  definition.fields.add(
      host::FieldDef("AnimalID", text ? host::FieldType::String : host::FieldType::Integer, text ? 20 : 9));
  auto features = workspace->createFeatureClass(definition);
  auto insert = features->insert(true);
  host::Row buffer = features->createRowBuffer();
  const int idIndex = features->findField("AnimalID");
  for (const TestFix& fix : fixes) {
    buffer.setValue(idIndex, fix.id);
    buffer.setShape(fix.nullShape ? host::Geometry() : host::Geometry(host::Point{fix.x, fix.y}));
    insert->insert(buffer);
  }
  insert->flush();
  return folder / (name + ".shp");
}

/// A headless host whose message boxes are printed into `messages` and recorded.
struct BatchHost {
  std::ostringstream messages;
  platform::headless::HeadlessApplication app;

  explicit BatchHost(platform::headless::ChoicePolicy choices = platform::headless::ChoicePolicy::Ask)
      : app(quietOptions(messages, choices)) {}

  /// Adds the files as layers (every feature selected unless `where` says otherwise).
  void load(std::vector<std::filesystem::path> files, std::string where = {}) {
    platform::headless::MapSource source;
    source.files = std::move(files);
    source.where = std::move(where);
    platform::headless::loadMapSource(app, source);
  }

  /// Texts of the message boxes shown so far.
  std::vector<std::string> messageTexts() {
    std::vector<std::string> texts;
    for (const auto& record : app.scriptedUi().messages()) texts.push_back(record.message.text);
    return texts;
  }
  bool shown(const std::string& fragment) {
    for (const std::string& text : messageTexts()) {
      if (text.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
};

}  // namespace orvex::test
