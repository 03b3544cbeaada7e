#include "apps/orvex/kde_plots.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/pictures/picture_writer.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
namespace pictures = platform::pictures;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const pictures::Colour kScoreColour{0.12, 0.35, 0.70};
const pictures::Colour kChosenColour{0.05, 0.55, 0.20};
const pictures::Colour kReferenceColour{0.40, 0.40, 0.40};
const pictures::Colour kFailureColour{0.80, 0.05, 0.05};
const pictures::Colour kIsoplethColour{0.10, 0.10, 0.35};
const pictures::Colour kFixColour{0.05, 0.45, 0.85};

// A bridge's Gaussian tails leave a trace of density far from the track: the map leaves blank
// the cells below this fraction of the largest, so that it shows where the animal went.
constexpr double kBridgeBlankFraction = 1e-3;

std::string shortNumber(double value) { return host::cformat("%.4g", value); }

/// Reads the polygons or lines of one shapefile as outlines.
void addOutlines(const fs::path& file, std::vector<std::vector<pictures::PlotPoint>>& outlines) {
  const auto features =
      platform::gdal::openShapefileWorkspace(file.parent_path())->openFeatureClass(file.filename().string());
  if (!features) return;
  const auto cursor = features->search();
  while (const auto row = cursor->next()) {
    const auto add = [&](const std::vector<host::Point>& path) {
      auto& outline = outlines.emplace_back();
      for (const host::Point& p : path) outline.push_back({p.x, p.y});
    };
    if (const host::Polygon* polygon = row->shape().polygon())
      for (const host::Ring& ring : polygon->rings) add(ring);
    if (const host::Polyline* line = row->shape().polyline())
      for (const host::Path& path : line->paths) add(path);
  }
}

pictures::RasterLayer readRaster(const fs::path& folder, const std::string& name) {
  const auto raster = platform::gdal::openRasterWorkspace(folder)->openRaster(name);
  if (!raster) throw host::Error(host::kFileNotFound, "no raster " + name + " in " + folder.string());
  pictures::RasterLayer layer;
  layer.columns = raster->columns();
  layer.rows = raster->rows();
  const host::Envelope extent = raster->extent();
  layer.x = {extent.xmin, extent.xmax};
  layer.y = {extent.ymin, extent.ymax};
  std::vector<float> cells(static_cast<std::size_t>(layer.columns) * static_cast<std::size_t>(layer.rows));
  raster->band(0)->readRows(0, layer.rows, cells);
  layer.values.assign(cells.begin(), cells.end());
  return layer;
}

std::vector<pictures::PlotPoint> readFixes(const fs::path& pointFile, const std::string& idField,
                                           const std::string& animal) {
  std::vector<pictures::PlotPoint> fixes;
  const fs::path file = fs::absolute(pointFile);
  const auto features =
      platform::gdal::openShapefileWorkspace(file.parent_path())->openFeatureClass(file.filename().string());
  if (!features) return fixes;
  const int field = features->fields().find(idField);
  if (field < 0) return fixes;
  const auto cursor = features->search();
  while (const auto row = cursor->next()) {
    const host::Point* point = row->shape().point();
    if (point != nullptr && !row->value(field).isEmpty() && row->value(field).toText() == animal)
      fixes.push_back({point->x, point->y});
  }
  return fixes;
}

}  // namespace

std::vector<KdeAnimalRun> kdeRunsOf(const host::RunRecord& record, const std::string& estimator) {
  std::vector<KdeAnimalRun> runs;
  for (const host::OutputRecord& output : record.outputs()) {
    if (output.kind != host::OutputKind::Raster) continue;
    KdeAnimalRun run;
    run.animal = output.values.animal;
    run.raster = output.layer.empty() ? output.path.stem().string() : output.layer;
    run.rasterFile = output.path;
    run.h = output.values.h.value_or(kNaN);
    run.href = output.values.href.value_or(kNaN);
    run.minimized = output.values.minimised.value_or(false);
    for (const host::ProfilePoint& point : output.values.profile)
      run.profile.push_back({point.h, point.score});
    if (!run.profile.empty()) run.estimator = estimator;
    for (const host::OutputRecord& other : record.outputs()) {
      const std::string name = other.path.stem().string();
      if (other.kind == host::OutputKind::Shapefile && name.starts_with(run.raster + "_") &&
          name.find("poly") != std::string::npos && name.find("donut") == std::string::npos)
        run.isoplethFiles.push_back(other.path);
    }
    runs.push_back(std::move(run));
  }
  return runs;
}

std::vector<KdeAnimalRun> bridgeRunsOf(const host::RunRecord& record) {
  std::vector<KdeAnimalRun> runs = kdeRunsOf(record, "log-likelihood");
  for (std::size_t i = 0; KdeAnimalRun & run : runs) {
    while (record.outputs()[i].kind != host::OutputKind::Raster) ++i;
    run.h = record.outputs()[i++].values.sigma1.value_or(kNaN);
    run.parameter = "s1";
    run.minimized = true;
    run.blankFraction = kBridgeBlankFraction;
  }
  return runs;
}

std::optional<pictures::Chart> profileChart(const KdeAnimalRun& run) {
  if (run.profile.empty()) return std::nullopt;
  pictures::Chart chart;
  const bool bandwidth = run.parameter == "h";
  const std::string score = bandwidth ? run.estimator + " score" : run.estimator;
  chart.title = "Animal " + run.animal + ": " + score + " against " + run.parameter;
  pictures::Series scores{score, run.profile, pictures::SeriesStyle::Line, kScoreColour};
  chart.series.push_back(std::move(scores));
  chart.marks.push_back({run.h, run.parameter + " = " + shortNumber(run.h), kChosenColour, false});
  if (!std::isnan(run.href))
    chart.marks.push_back({run.href, "href = " + shortNumber(run.href), kReferenceColour, true});
  if (!run.minimized) {
    const auto lowest = std::min_element(run.profile.begin(), run.profile.end(),
                                         [](const auto& a, const auto& b) { return a.y < b.y; });
    chart.note = run.estimator +
                 " function could not be minimized: the lowest score is at the end of the range, href used";
    chart.noteIsWarning = true;
    chart.marks.push_back({lowest->x, "lowest score, h = " + shortNumber(lowest->x), kFailureColour, true});
  } else {
    chart.note = bandwidth ? "Bandwidth represents minimized " + run.estimator
                           : run.parameter + " at the maximum of the " + run.estimator;
  }
  const auto xRange = pictures::xRangeOf(chart);
  const auto yRange = pictures::yRangeOf(chart);
  chart.x = pictures::niceAxis(run.parameter, xRange->min, xRange->max);
  chart.y = pictures::niceAxis(score, yRange->min, yRange->max);
  return chart;
}

pictures::MapPicture udMap(const KdeAnimalRun& run, UdMapData data) {
  pictures::MapPicture map;
  map.title = "Animal " + run.animal + ": utilisation distribution " + run.raster;
  map.note = run.parameter + " = " + shortNumber(run.h);
  double largest = 0.0;
  // The map shows the cells with density (a full extent with its buffer is mostly empty),
  // with a margin, or the whole raster when no cell has any.
  const pictures::RasterLayer& r = data.raster;
  const double cellX = r.columns > 0 ? (r.x.max - r.x.min) / r.columns : 0.0;
  const double cellY = r.rows > 0 ? (r.y.max - r.y.min) / r.rows : 0.0;
  pictures::Range xs{r.x.max, r.x.min}, ys{r.y.max, r.y.min};
  double blank = 0.0;  // cells at or below it are left blank
  if (run.blankFraction > 0.0)
    for (const double value : data.raster.values) blank = std::max(blank, run.blankFraction * value);
  for (std::size_t i = 0; i < data.raster.values.size(); ++i) {
    double& value = data.raster.values[i];
    if (!(value > blank)) {
      value = kNaN;  // no density: the background shows through
      continue;
    }
    largest = std::max(largest, value);
    const auto column = static_cast<double>(i % static_cast<std::size_t>(r.columns));
    const auto row = static_cast<double>(i / static_cast<std::size_t>(r.columns));
    xs = {std::min(xs.min, r.x.min + column * cellX), std::max(xs.max, r.x.min + (column + 1.0) * cellX)};
    ys = {std::min(ys.min, r.y.max - (row + 1.0) * cellY), std::max(ys.max, r.y.max - row * cellY)};
  }
  constexpr double kMargin = 0.1;  // of the width or height of the cells with density
  if (largest > 0.0) {
    const double pad = kMargin * std::max(xs.max - xs.min, ys.max - ys.min);
    map.x = {std::max(r.x.min, xs.min - pad), std::min(r.x.max, xs.max + pad)};
    map.y = {std::max(r.y.min, ys.min - pad), std::min(r.y.max, ys.max + pad)};
  } else {
    map.x = r.x;
    map.y = r.y;
  }
  data.raster.scale = {0.0, largest > 0.0 ? largest : 1.0};
  data.raster.legendTitle = "UD density";
  map.raster = std::move(data.raster);
  if (!data.isopleths.empty())
    map.paths.push_back({"isopleths", std::move(data.isopleths), kIsoplethColour, 1.5});
  map.points = std::move(data.fixes);
  map.pointColour = kFixColour;
  return map;
}

std::vector<fs::path> writeKdePlots(const std::vector<KdeAnimalRun>& runs, const fs::path& pointFile,
                                    const std::string& idField, host::RunRecord& record) {
  std::vector<fs::path> written;
  // Each picture is an item of its own: one that cannot be drawn fails alone, named.
  const auto write = [&](const KdeAnimalRun& run, const fs::path& base, const auto& writer) {
    const fs::path svg = fs::path(base).concat(".svg");
    const fs::path png = fs::path(base).concat(".png");
    try {
      writer(svg, png);
    } catch (const host::Error& error) {
      record.failure({.item = svg.filename().string(),
                      .reason = "no picture of animal " + run.animal + ": " + error.description(),
                      .path = svg,
                      .values = {.animal = run.animal}});
      return;
    }
    for (const fs::path& picture : {svg, png}) {
      record.output({.path = picture, .kind = host::OutputKind::Picture, .layer = picture.stem().string()});
      written.push_back(picture);
    }
  };
  for (const KdeAnimalRun& run : runs) {
    const fs::path folder = run.rasterFile.parent_path();
    if (const auto chart = profileChart(run))
      write(run, folder / (run.raster + "_profile"),
            [&](const fs::path& svg, const fs::path& png) { pictures::writeChart(*chart, svg, png); });
    write(run, folder / (run.raster + "_map"), [&](const fs::path& svg, const fs::path& png) {
      UdMapData data;
      data.raster = readRaster(folder, run.raster);
      for (const fs::path& file : run.isoplethFiles) addOutlines(file, data.isopleths);
      if (host::toLowerAscii(pointFile.extension().string()) == ".shp")
        data.fixes = readFixes(pointFile, idField, run.animal);
      pictures::writeMap(udMap(run, std::move(data)), svg, png);
    });
  }
  return written;
}

}  // namespace orvex::cli
