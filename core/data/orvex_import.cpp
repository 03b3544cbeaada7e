#include "core/data/orvex_import.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/data/host_failure.h"
#include "core/data/keepers_form.h"
#include "core/data/orvex_utility.h"
#include "core/data/shapefile_output.h"
#include "host/error.h"
#include "host/text.h"

namespace orvex::core {
namespace {

/// The insert cursor writes its buffer through after a file's first fix and every 20th one.
constexpr int kFlushInterval = 20;

/// Field indexes of one file's rows and of the output buffer, looked up on the file's first row.
struct FieldMap {
  int longitude = -1;
  int latitude = -1;
  std::array<int, kLotekFields.size()> input{};
  std::array<int, kLotekFields.size()> output{};
};

host::Status mapFields(host::UiServices& ui, const host::Row& row, const host::Row& buffer, FieldMap& map) {
  host::Status status = findField(ui, row, kLongitudeField, map.longitude);
  if (host::succeeded(status)) status = findField(ui, row, kLatitudeField, map.latitude);
  for (std::size_t i = 0; i < kLotekFields.size() && host::succeeded(status); ++i) {
    status = findField(ui, row, kLotekFields[i].input, map.input[i]);
    if (host::succeeded(status)) status = findField(ui, buffer, kLotekFields[i].output, map.output[i]);
  }
  return status;
}

std::string skippedRowsMessage(const std::filesystem::path& file, int skipped) {
  return skipped == 1 ? "1 row of the file " + file.string() + " has no coordinates and was not imported."
                      : std::to_string(skipped) + " rows of the file " + file.string() +
                            " have no coordinates and were not imported.";
}

/// Records the written point shapefile with its feature count (unknown when it cannot be read).
void recordImportOutput(host::RunRecord& record, const std::filesystem::path& path, const std::string& name,
                        host::FeatureClass& output) {
  std::optional<std::int64_t> features;
  try {
    features = output.featureCount();
  } catch (const host::Error&) {
  }
  record.output({.path = host::withDefaultExtension(path, "shp"),
                 .kind = host::OutputKind::Shapefile,
                 .layer = name,
                 .features = features});
}

}  // namespace

host::FileDialogOptions lotekOpenDialogOptions() {
  host::FileDialogOptions options;
  options.filter = "MDB Files|*.mdb";
  options.allowMultiple = true;
  return options;
}

host::FileDialogOptions lotekSaveDialogOptions() { return shapefileSaveDialog({}); }

orvex_import::orvex_import() : OrvexCommand(kOrvexImport) {}

host::Status orvex_import::onClick() {
  HostContext& ctx = context();
  const host::Status refreshed = ctx.refresh();
  if (host::failed(refreshed)) return refreshed;
  host::Application& application = ctx.application();
  host::UiServices& ui = application.ui();

  host::SpatialReferencePtr wgs84;
  try {
    wgs84 = application.spatialReferences().wgs84();
  } catch (const host::Error&) {
  }
  if (!wgs84) return -1;

  const std::vector<std::filesystem::path> files = ui.openFiles(lotekOpenDialogOptions());
  if (files.empty()) return host::kAbort;
  const std::optional<std::filesystem::path> outputPath = ui.saveFile(lotekSaveDialogOptions());
  if (!outputPath) return host::kAbort;
  const std::filesystem::path folder = outputPath->parent_path();
  const std::string outputName = outputPath->filename().string();

  std::shared_ptr<host::Workspace> workspace;
  HostFailure failure;
  if (host::failed(openShapefileWorkspace(application, folder, workspace, &failure)))
    return reportHostFailure(ui, failure, kImportSource, kOutputWorkspaceLine);

  host::RunRecord& record = application.runRecord();
  std::vector<LotekSource> sources;
  for (const std::filesystem::path& file : files) {
    LotekSource source;
    if (host::succeeded(openLotekSource(application, file, source)))
      sources.push_back(std::move(source));
    else  // the reason has been shown
      record.failure({.item = file.filename().string(),
                      .reason = "the file could not be read as a Lotek collar file",
                      .path = file});
  }
  if (sources.empty()) return host::kFail;

  std::shared_ptr<host::FeatureClass> output;
  const host::Status created = createOutput(*workspace, outputName, sources, output);
  if (host::failed(created)) return created;

  KeepersForm keepers;
  const int keep = ui.showModal(keepers);
  if (keep != KeepersForm::kInclude && keep != KeepersForm::kExclude) return host::kAbort;
  const std::string filter =
      keep == KeepersForm::kInclude ? kIncludeAcquiringFilter : kExcludeAcquiringFilter;

  host::Status copied = host::kOk;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const LotekSource& source = sources[i];
    record.report(static_cast<double>(i) / static_cast<double>(sources.size()),
                  source.file.filename().string());
    const host::Status status = copyFixes(source, filter, *wgs84, *output);
    if (host::failed(status)) {
      record.failure({.item = source.file.filename().string(),
                      .reason = "its fixes could not be copied",
                      .path = source.file});
      if (host::succeeded(copied)) copied = status;
    }
  }
  record.report(1.0, "Import Lotek");
  recordImportOutput(record, *outputPath, outputName, *output);

  if (host::failed(addFeatureLayer(ctx, output, outputName, nullptr, &failure)))
    return reportHostFailure(ui, failure, kImportSource, kAddLayerLine);
  if (ctx.activeView() != nullptr) ctx.activeView()->partialRefresh(host::ViewPhase::Geography);
  return copied;
}

host::Status orvex_import::createOutput(host::Workspace& workspace, const std::string& name,
                                        const std::vector<LotekSource>& sources,
                                        std::shared_ptr<host::FeatureClass>& output) {
  LotekTextWidths widths{};
  for (const LotekSource& source : sources)
    for (std::size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], source.textWidths[i]);

  deleteExistingFeatureClass(workspace, name);
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.shapeFieldName = kLotekShapeField;
  definition.featureType = host::FeatureType::Simple;
  definition.configKeyword = kLotekConfigKeyword;
  definition.fields = lotekOutputFields(context().spatialReference(), widths);
  try {
    output = workspace.createFeatureClass(definition);
  } catch (const host::Error& creationError) {
    // An existing class that could not be deleted: the fixes are appended to it.
    try {
      output = workspace.openFeatureClass(name);
    } catch (const host::Error&) {
      output.reset();
    }
    if (!output)
      return reportHostFailure(context().application().ui(), creationError, kImportSource, kCreateOutputLine);
  }
  if (!output) return host::kFail;
  return host::kOk;
}

host::Status orvex_import::copyFixes(const LotekSource& source, const std::string& filter,
                                     const host::SpatialReference& wgs84, host::FeatureClass& output) {
  host::Application& application = context().application();
  host::UiServices& ui = application.ui();
  const host::SpatialReferenceFactory& references = application.spatialReferences();
  const host::SpatialReference& target = *context().spatialReference();

  int line = kSelectLine;
  int skipped = 0;
  try {
    const int count = source.table->rowCount(filter);
    line = kSearchLine;
    auto cursor = source.table->search(filter);
    line = kInsertLine;
    auto insert = output.insert(true);
    FieldMap fields;
    for (int i = 0; i < count; ++i) {
      line = kSearchLine;
      std::optional<host::Row> row = cursor->next();
      if (!row) break;
      line = kInsertLine;
      host::Row buffer = output.createRowBuffer();
      if (i == 0) {
        const host::Status mapped = mapFields(ui, *row, buffer, fields);
        if (host::failed(mapped)) return mapped;
      }
      const host::Value& longitude = row->value(fields.longitude);
      const host::Value& latitude = row->value(fields.latitude);
      if (longitude.isEmpty() || latitude.isEmpty()) {
        ++skipped;  // a fix without a position cannot be placed
        continue;
      }
      const host::Point stored{lotekDegrees(longitude.toInt32()), lotekDegrees(latitude.toInt32())};
      buffer.setShape(
          host::Geometry(references.project(stored, wgs84, target), context().spatialReference()));
      for (std::size_t k = 0; k < kLotekFields.size(); ++k)
        if (fields.input[k] != -1 && fields.output[k] != -1)
          buffer.setValue(fields.output[k], row->value(fields.input[k]));
      insert->insert(buffer);
      if (i % kFlushInterval == 0) {
        line = kFlushLine;
        insert->flush();
      }
    }
    line = kFlushLine;
    insert->flush();
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kImportSource, line);
  }
  if (skipped > 0) ui.messageBox(skippedRowsMessage(source.file, skipped));
  return host::kOk;
}

std::unique_ptr<host::Command> makeOrvexImport() { return std::make_unique<orvex_import>(); }

}  // namespace orvex::core
