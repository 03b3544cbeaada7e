#include "apps/orvex/mcp_curve.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>

#include "apps/orvex/global_options.h"
#include "apps/orvex/row_mcp.h"
#include "apps/orvex/save_answers.h"
#include "host/environment.h"
#include "host/error.h"
#include "host/table.h"
#include "host/text.h"
#include "host/workspace.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/vector_copy.h"
#include "platform/pictures/picture_writer.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
namespace pictures = platform::pictures;

constexpr std::size_t kFewestFixes = 3;  // an MCP needs three fixes
constexpr int kKeyStride = 1000000;      // curve key = layer index x stride + number of fixes
constexpr const char* kKeyField = "CurveKey";
constexpr const char* kScratchTemplate = "{layer}_mcp{percent}.shp";
const pictures::Colour kCurveColour{0.12, 0.35, 0.70};

/// The fixes of one layer in time order ("Time2" when the layer has it, else file order).
struct Layer {
  std::string name;
  std::vector<std::pair<double, host::Point>> timedFixes;
};

std::shared_ptr<host::FeatureClass> openShapefile(const fs::path& file) {
  const fs::path absolute = fs::absolute(file);
  return platform::gdal::openShapefileWorkspace(absolute.parent_path())
      ->openFeatureClass(absolute.filename().string());
}

/// Adds the fixes of one layer (named `name`, or by the --by field) to `layers`, sorted by name.
void readLayer(host::FeatureClass& features, const std::string& name, const CommandArgs& args,
               const host::QueryFilter& filter, std::vector<Layer>& layers) {
  const int byField = args.given("by") ? features.fields().find(args.textOf("by")) : -1;
  const int timeField = features.fields().find("Time2");
  std::map<std::string, std::size_t> index;
  const std::size_t first = layers.size();
  const auto cursor = features.search(filter);
  while (const auto row = cursor->next()) {
    const host::Point* point = row->shape().point();
    if (point == nullptr || std::isnan(point->x) || std::isnan(point->y)) continue;
    std::string animal = name;
    if (byField >= 0) {
      if (row->value(byField).isEmpty()) continue;
      animal = row->value(byField).toText();
    }
    auto [found, added] = index.emplace(animal, layers.size());
    if (added) layers.push_back({animal, {}});
    const double time = timeField >= 0 && row->value(timeField).isNumeric() ? row->value(timeField).toDouble()
                                                                            : static_cast<double>(row->oid());
    layers[found->second].timedFixes.emplace_back(time, *point);
  }
  std::sort(layers.begin() + static_cast<std::ptrdiff_t>(first), layers.end(),
            [](const Layer& a, const Layer& b) { return a.name < b.name; });
}

/// The shapefiles a data file gives: itself, or the copies of another vector file's layers in
/// `scratch`, named as the MCP run's layers of them are; none for a raster.
std::vector<fs::path> shapefilesOf(const std::string& file, const fs::path& scratch) {
  const fs::path named(file);
  if (host::iequals(named.extension().string(), ".shp")) return {named};
  const fs::path data = platform::headless::namedFile(named).file;
  if (host::iequals(data.extension().string(), ".tif") || !platform::headless::isVectorFile(data)) return {};
  std::vector<fs::path> copies;
  for (const auto& copy : platform::headless::copyNamedFile(named, scratch)) copies.push_back(copy.shp);
  return copies;
}

std::vector<Layer> readLayers(const CommandArgs& args, host::SpatialReferencePtr& crs) {
  std::vector<Layer> layers;
  host::QueryFilter filter(args.where);
  if (!args.objectIds.empty())
    filter.objectIds = std::vector<host::ObjectId>(args.objectIds.begin(), args.objectIds.end());
  const host::ScratchFolder copies;
  for (const std::string& file : args.files)
    for (const fs::path& shapefile : shapefilesOf(file, copies.path())) {
      const auto features = openShapefile(shapefile);
      if (!features) continue;
      if (!crs) crs = features->spatialReference();
      readLayer(*features, shapefile.stem().string(), args, filter, layers);
    }
  for (Layer& layer : layers)
    std::stable_sort(layer.timedFixes.begin(), layer.timedFixes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  return layers;
}

/// The area of each MCP a run recorded, by the file it wrote, as the file holds it.
using AreasByFile = std::map<fs::path, double>;

fs::path fileKey(const fs::path& file) { return fs::absolute(file).lexically_normal(); }

AreasByFile recordedAreas(const Subcommand& mcp) {
  AreasByFile areas;
  for (const host::OutputRecord& output : mcp.summary().outputs()) {
    const std::vector<double> stored = storedAreas(output.values);
    if (output.kind == host::OutputKind::Shapefile && !stored.empty())
      areas[fileKey(output.path)] = stored.front();
  }
  return areas;
}

/// The area of the MCP written to `file`; nothing when it was not written.
std::optional<double> areaOf(const AreasByFile& areas, const fs::path& file) {
  const auto found = areas.find(fileKey(file));
  if (found == areas.end()) return std::nullopt;
  return found->second;
}

GlobalOptions quietly(const GlobalOptions& global) {
  GlobalOptions quiet = global;
  quiet.yes = true;
  quiet.no = false;
  quiet.quiet = true;
  return quiet;
}

/// Runs the MCP command once more, its report muted and without curves of its own; returns
/// the subcommand with what it recorded.
std::unique_ptr<Subcommand> runMcpAgain(CommandArgs args, const GlobalOptions& global, int& exitCode) {
  args.flag("curve") = false;
  std::unique_ptr<Subcommand> mcp = makeMcpSubcommand();
  MutedOutput muted;
  exitCode = mcp->run(args, quietly(global));
  return mcp;
}

void percentageCurves(const CommandArgs& args, const GlobalOptions& global, const fs::path& scratch,
                      std::vector<McpCurves>& curves) {
  CommandArgs rerun = args;
  std::string list;
  for (const double p : curvePercentages()) list += (list.empty() ? "" : ",") + host::numberText(p);
  rerun.text("percent") = list;
  rerun.flag("all-points") = false;
  rerun.text("out") = (scratch / kScratchTemplate).string();
  rerun.outputs.clear();
  int ignored = kExitSuccess;
  const AreasByFile areas = recordedAreas(*runMcpAgain(rerun, global, ignored));
  for (McpCurves& curve : curves)
    for (const double p : curvePercentages())
      if (const auto area = areaOf(
              areas,
              scratch / expandMcpTemplate(kScratchTemplate, fileNamePart(curve.layer), host::numberText(p))))
        curve.byPercentage.push_back({p, *area});
}

void fixCountCurves(const std::vector<Layer>& layers, const host::SpatialReferencePtr& crs,
                    const GlobalOptions& global, const fs::path& scratch, std::vector<McpCurves>& curves) {
  const fs::path steps = scratch / "steps";
  fs::create_directories(steps);
  const auto workspace = platform::gdal::openShapefileWorkspace(steps);
  host::FeatureClassSpec spec;
  spec.name = "curve_fixes.shp";
  spec.fields.add(
      host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point, false, false, crs}));
  spec.fields.add(host::FieldDef(kKeyField, host::FieldType::Integer, 4, 10));
  {
    const auto features = workspace->createFeatureClass(spec);
    const auto cursor = features->insert(true);
    host::Row buffer = features->createRowBuffer();
    const int keyField = buffer.findField(kKeyField);
    for (std::size_t i = 0; i < layers.size(); ++i)
      for (const std::size_t n : curveFixCounts(layers[i].timedFixes.size())) {
        for (std::size_t k = 0; k < n; ++k) {
          buffer.setShape(host::Geometry(layers[i].timedFixes[k].second, crs));
          buffer.setValue(keyField, host::Value(static_cast<std::int32_t>(i * kKeyStride + n)));
          cursor->insert(buffer);
        }
      }
    cursor->flush();
  }
  CommandArgs rerun;
  rerun.files = {(steps / spec.name).string()};
  rerun.text("by") = kKeyField;
  rerun.flag("all-points") = true;
  rerun.text("out") = (steps / "k{layer}.shp").string();
  int ignored = kExitSuccess;
  const AreasByFile areas = recordedAreas(*runMcpAgain(rerun, global, ignored));
  for (std::size_t i = 0; i < layers.size(); ++i)
    for (const std::size_t n : curveFixCounts(layers[i].timedFixes.size()))
      if (const auto area = areaOf(areas, steps / ("k" + std::to_string(i * kKeyStride + n) + ".shp")))
        curves[i].byFixCount.push_back({static_cast<double>(n), *area});
}

pictures::Chart curveChart(std::string title, std::string xLabel,
                           const std::vector<pictures::PlotPoint>& points, double xMin) {
  pictures::Chart chart;
  chart.title = std::move(title);
  chart.series.push_back({"MCP area", points, pictures::SeriesStyle::LineAndMarkers, kCurveColour});
  const auto x = pictures::xRangeOf(chart);
  const auto y = pictures::yRangeOf(chart);
  chart.x = pictures::niceAxis(std::move(xLabel), std::min(xMin, x ? x->min : xMin), x ? x->max : 1.0);
  chart.y = pictures::niceAxis("area (squared map units)", 0.0, y ? y->max : 1.0);
  if (points.empty()) chart.note = "no MCP could be made";
  return chart;
}

}  // namespace

std::vector<double> curvePercentages() { return {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}; }

std::vector<std::size_t> curveFixCounts(std::size_t count, std::size_t wanted) {
  std::vector<std::size_t> counts;
  if (count < kFewestFixes) return counts;
  wanted = std::max<std::size_t>(wanted, 2);
  for (std::size_t k = 0; k < wanted; ++k) {
    const std::size_t n = kFewestFixes + (count - kFewestFixes) * k / (wanted - 1);
    if (counts.empty() || counts.back() != n) counts.push_back(n);
  }
  return counts;
}

pictures::Chart percentageChart(const McpCurves& curves) {
  pictures::Chart chart =
      curveChart("Layer " + curves.layer + ": MCP area against percentage of fixes (" + curves.style + ")",
                 "percentage of fixes", curves.byPercentage, 0.0);
  chart.x = pictures::niceAxis(chart.x.label, 0.0, 100.0, 11);
  return chart;
}

pictures::Chart fixCountChart(const McpCurves& curves) {
  return curveChart("Layer " + curves.layer + ": MCP area (all fixes) against number of fixes, in time order",
                    "number of fixes", curves.byFixCount, 0.0);
}

std::vector<fs::path> writeMcpCurves(const CommandArgs& args, const GlobalOptions& global,
                                     const fs::path& folder) {
  host::SpatialReferencePtr crs;
  const std::vector<Layer> layers = readLayers(args, crs);
  std::vector<McpCurves> curves;
  for (const Layer& layer : layers)
    curves.push_back({layer.name, args.given("style") ? args.textOf("style") : "Fixed Mean", {}, {}});
  if (curves.empty()) return {};
  const host::ScratchFolder scratch;
  percentageCurves(args, global, scratch.path(), curves);
  fixCountCurves(layers, crs, global, scratch.path(), curves);

  std::vector<fs::path> written;
  fs::create_directories(folder);
  for (const McpCurves& curve : curves) {
    for (const auto& [suffix, chart] :
         {std::pair{"_mcp_curve", percentageChart(curve)}, std::pair{"_mcp_fixes", fixCountChart(curve)}}) {
      const fs::path base = folder / (fileNamePart(curve.layer) + suffix);
      pictures::writeChart(chart, fs::path(base).concat(".svg"), fs::path(base).concat(".png"));
      written.push_back(fs::path(base).concat(".svg"));
      written.push_back(fs::path(base).concat(".png"));
    }
  }
  return written;
}

int runMcpIntoGeoPackage(const CommandArgs& args, const GlobalOptions& global, const GeoPackageTarget& target,
                         RunSummary& summary) {
  const host::ScratchFolder scratch;
  CommandArgs rerun = args;
  rerun.text("out") = (scratch.path() / target.fileTemplate).string();
  rerun.text("format").clear();
  rerun.flag("curve") = false;
  int code = kExitSuccess;
  summary.add(runMcpAgain(rerun, global, code)->summary());
  return gatherIntoGeoPackage(summary, target.geoPackage, global.yes, code);
}

}  // namespace orvex::cli
