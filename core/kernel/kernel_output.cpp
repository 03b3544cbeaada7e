#include "core/kernel/kernel_output.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "core/data/host_failure.h"
#include "core/data/orvex_utility.h"
#include "core/data/shapefile_output.h"
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
NumberFormat fittedFormat(std::initializer_list<double> values) {
  NumberFormat format = kKernelDoubleFormat;
  for (const double value : values) format = fitNumberFormat(format, value);
  return format;
}

template <typename Member>
NumberFormat fittedFormat(std::span<const KernelFeature> features, Member member) {
  NumberFormat format = kKernelDoubleFormat;
  for (const KernelFeature& feature : features) format = fitNumberFormat(format, feature.*member);
  return format;
}

void addDouble(host::Fields& fields, const char* name, NumberFormat format) {
  // The names are fixed and distinct, so the collection cannot refuse them.
  addField(fields, name, host::FieldType::Double, kDoubleLength, format.width, format.decimals);
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

  host::FileDialogOptions dialog = shapefileSaveDialog(kernelSaveTitle(hValue));
  dialog.values = kernelRecordValues(hValue, run);
  std::optional<OutputTarget> target;
  const host::Status chosen = chooseOutputTarget(application, dialog, kernelItemName(hValue), kKernelSource,
                                                 kKernelWorkspaceLine, target);
  if (!target) return chosen;

  const host::SpatialReferencePtr& spatialReference = context.spatialReference();
  std::vector<KernelFeature> features;
  try {
    for (const KernelLevelRings& level : kernelLevels(engine, options.contour))
      features.push_back(kernelFeature(application.geometry(), level, options, spatialReference));
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kKernelSource, __LINE__);
  }

  HostFailure failure;
  const std::shared_ptr<host::FeatureClass> featureClass =
      createOutputFeatureClass(*target, kernelOutputFields(spatialReference, features, run), failure);
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

  host::RecordValues values = std::move(dialog.values);
  for (const KernelFeature& feature : features) values.areas.push_back(feature.area);
  values.areaDecimals = fittedFormat(features, &KernelFeature::area).decimals;
  const host::Status shown =
      recordAndShowOutput(context, *target, featureClass, static_cast<std::int64_t>(features.size()),
                          std::move(values), kKernelSource, __LINE__);
  return host::failed(shown) ? shown : host::kOk;
}

std::string kernelItemName(double hValue) { return "h = " + host::numberText(hValue); }

host::RecordValues kernelRecordValues(double hValue, const KernelRunValues& run) {
  return {.h = run.h, .href = run.href, .hListed = hValue};
}

}  // namespace orvex::core
