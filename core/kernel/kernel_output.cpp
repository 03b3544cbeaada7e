#include "core/kernel/kernel_output.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "core/data/host_failure.h"
#include "core/data/orvex_utility.h"
#include "host/error.h"
#include "host/text.h"
#include "host/ui_services.h"
#include "host/workspace.h"

namespace orvex::core {
namespace {

// The schema's storage sizes and precisions.
constexpr int kDoubleLength = 8;
constexpr int kIntegerLength = 4;
constexpr int kIntegerPrecision = 20;
constexpr int kTextLength = 21;
constexpr int kTextPrecision = 20;

/// Storage keyword of the feature class; shapefiles ignore it.
constexpr const char* kConfigKeyword = "augh";

host::Ring ringOf(const KernelEngine& engine, std::int32_t ring) {
  host::Ring points;
  const std::int32_t count = engine.ring_point_count(ring);
  points.reserve(static_cast<std::size_t>(count) + 1);
  for (std::int32_t k = 0; k < count; ++k) {
    const RingPoint p = engine.ring_point(ring, k);
    points.push_back(host::Point{p.x, p.y});
  }
  host::closeRing(points);
  return points;
}

/// The format that holds every value whole: the shared .dbf rule applied value by value,
/// which only ever widens the field or drops decimals, so earlier values keep fitting.
McpNumberFormat fittedFormat(std::initializer_list<double> values) {
  McpNumberFormat format = kKernelDoubleFormat;
  for (const double value : values) format = fitMcpNumberFormat(format, value);
  return format;
}

template <typename Member>
McpNumberFormat fittedFormat(std::span<const KernelFeature> features, Member member) {
  McpNumberFormat format = kKernelDoubleFormat;
  for (const KernelFeature& feature : features) format = fitMcpNumberFormat(format, feature.*member);
  return format;
}

void addDouble(host::Fields& fields, const char* name, McpNumberFormat format) {
  // The names are fixed and distinct, so the collection cannot refuse them.
  addField(fields, name, host::FieldType::Double, kDoubleLength, format.width, format.decimals);
}

/// A new feature class, or, when the name is still taken (an old file that could not be
/// deleted), the existing one, which the features are appended to.
std::shared_ptr<host::FeatureClass> outputFeatureClass(host::Workspace& workspace, const std::string& name,
                                                       const host::Fields& fields, HostFailure& failure) {
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields = fields;
  definition.shapeFieldName = "shape";
  definition.featureType = host::FeatureType::Simple;
  definition.configKeyword = kConfigKeyword;
  try {
    if (auto created = workspace.createFeatureClass(definition)) return created;
  } catch (const host::Error& error) {
    failure = HostFailure::from(error);
  }
  try {
    return workspace.openFeatureClass(name);
  } catch (const host::Error& error) {
    failure = HostFailure::from(error);
  }
  return nullptr;
}

}  // namespace

std::vector<KernelLevelRings> kernelLevels(const KernelEngine& engine, ContourKind contour) {
  std::vector<KernelLevelRings> levels;
  KernelLevelRings current;
  const auto visit = [&](std::int32_t ring, bool closesLevel) {
    current.rings.push_back(ringOf(engine, ring));
    if (!closesLevel) return;
    current.volume = engine.ring_volume(ring);
    current.density = engine.ring_density(ring);
    levels.push_back(std::move(current));
    current = KernelLevelRings{};
  };

  const std::int32_t count = engine.ring_count();
  if (contour == ContourKind::Density) {
    for (std::int32_t ring = 0; ring < count; ++ring) visit(ring, engine.end_of_level(ring));
  } else {
    for (std::int32_t ring = count - 1; ring >= 0; --ring) visit(ring, engine.start_of_level(ring));
  }
  return levels;
}

KernelFeature kernelFeature(const host::GeometryService& geometry, const KernelLevelRings& level,
                            const KernelOptions& options, const host::SpatialReferencePtr& spatialReference) {
  host::Polygon polygon;
  for (const host::Ring& ring : level.rings) {
    if (!options.smooth) {
      polygon.rings.push_back(ring);
      continue;
    }
    const host::Geometry smoothed =
        geometry.smooth(host::Geometry(host::Polygon{{ring}}, spatialReference), 0.0);
    if (const host::Polygon* rings = smoothed.polygon())
      polygon.rings.insert(polygon.rings.end(), rings->rings.begin(), rings->rings.end());
  }

  host::Geometry shape(std::move(polygon), spatialReference);
  if (options.densify) shape = geometry.densify(shape, options.densifyLength, 0.0);

  KernelFeature feature;
  feature.volume = level.volume;
  feature.density = level.density;
  const double area = geometry.area(shape);
  feature.area = std::isfinite(area) ? area : 0.0;
  if (host::Polygon* result = shape.polygon()) feature.polygon = std::move(*result);
  return feature;
}

host::Fields kernelOutputFields(host::SpatialReferencePtr spatialReference,
                                std::span<const KernelFeature> features, const KernelRunValues& run) {
  host::Fields fields;
  fields.add(host::FieldDef::shape(
      "shape", host::GeometryDef{host::GeometryType::Polygon, false, false, std::move(spatialReference)}));
  addDouble(fields, "Volume", fittedFormat(features, &KernelFeature::volume));
  addDouble(fields, "Density", fittedFormat(features, &KernelFeature::density));
  addField(fields, "KernType", host::FieldType::String, kTextLength, kTextPrecision, 0);
  addDouble(fields, "h", fittedFormat({run.h}));
  addDouble(fields, "href", fittedFormat({run.href}));
  addField(fields, "NPoints", host::FieldType::Integer, kIntegerLength, kIntegerPrecision, 0);
  addDouble(fields, "Area", fittedFormat(features, &KernelFeature::area));
  return fields;
}

std::string kernelSaveTitle(double hValue) { return host::cformat("Save As  for h = %0.1f", hValue); }

host::Status saveKernelRun(HostContext& context, const KernelEngine& engine, const KernelOptions& options,
                           double hValue, const KernelRunValues& run) {
  host::Application& application = context.application();
  host::UiServices& ui = application.ui();

  host::FileDialogOptions dialog;
  dialog.title = kernelSaveTitle(hValue);
  dialog.filter = "Shapefiles (*.shp)|*.shp";
  dialog.defaultExtension = "shp";
  dialog.hideReadOnly = true;
  dialog.overwritePrompt = true;
  const std::optional<std::filesystem::path> chosen = ui.saveFile(dialog);
  if (!chosen) return host::kOk;

  std::filesystem::path folder = chosen->parent_path();
  if (folder.empty()) folder = ".";
  const std::string name = chosen->filename().string();

  std::shared_ptr<host::Workspace> workspace;
  HostFailure failure;
  if (host::failed(openShapefileWorkspace(application, folder, workspace, &failure)))
    return reportHostFailure(ui, failure, kKernelSource, kKernelWorkspaceLine);
  if (!workspace) return host::kFail;
  deleteExistingFeatureClass(*workspace, name);

  const host::SpatialReferencePtr& spatialReference = context.spatialReference();
  std::vector<KernelFeature> features;
  try {
    for (const KernelLevelRings& level : kernelLevels(engine, options.contour))
      features.push_back(kernelFeature(application.geometry(), level, options, spatialReference));
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kKernelSource, __LINE__);
  }

  const std::shared_ptr<host::FeatureClass> featureClass =
      outputFeatureClass(*workspace, name, kernelOutputFields(spatialReference, features, run), failure);
  if (!featureClass) return reportHostFailure(ui, failure, kKernelSource, __LINE__);

  try {
    const std::unique_ptr<host::InsertCursor> cursor = featureClass->insert(true);
    const std::string kernelType(kernelTypeName(run.kernel));
    for (KernelFeature& feature : features) {
      host::Row buffer = featureClass->createRowBuffer();
      buffer.setShape(host::Geometry(std::move(feature.polygon), spatialReference));
      for (const auto& [field, value] : {std::pair<const char*, host::Value>{"Volume", feature.volume},
                                         {"Density", feature.density},
                                         {"KernType", kernelType},
                                         {"h", run.h},
                                         {"href", run.href},
                                         {"NPoints", run.nPoints},
                                         {"Area", feature.area}}) {
        const host::Status written = setNamedValue(ui, buffer, field, value);
        if (host::failed(written)) return written;  // shown by setNamedValue
      }
      cursor->insert(buffer);
    }
    cursor->flush();
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kKernelSource, __LINE__);
  }

  if (host::failed(addFeatureLayer(context, featureClass, name, nullptr, &failure)))
    return reportHostFailure(ui, failure, kKernelSource, __LINE__);
  if (host::ActiveView* view = context.activeView()) view->partialRefresh(host::ViewPhase::Geography);
  return host::kOk;
}

}  // namespace orvex::core
