#include "ui/gis/cls_hiso.h"

#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include "host/error.h"
#include "host/text.h"
#include "ui/gis/host_references.h"
#include "ui/gis/isopleth_polygons.h"
#include "ui/gis/measure_fields.h"
#include "ui/gis/shapefile_utils.h"
#include "ui/gis/volume_histogram.h"

namespace orvex::ui {

namespace {

using gis::AddDoubleField;
using gis::AssembleLevelPolygon;
using gis::CreateShapefileFeatureClass;
using gis::PolygonFromContour;

/// Run-time error number of an allocation failure (the host's numbering has no name for it).
constexpr std::int32_t kOutOfMemoryNumber = 7;

/// One output shapefile being written: its class, a buffered insert cursor and one reusable
/// feature buffer.
struct Output {
  std::shared_ptr<host::FeatureClass> featureClass;
  std::unique_ptr<host::InsertCursor> cursor;
  host::Row buffer;
  std::vector<int> fields;

  void Insert(host::Geometry shape, std::initializer_list<double> values) {
    buffer.setShape(std::move(shape));
    std::size_t i = 0;
    for (const double v : values) buffer.setValue(fields[i++], host::Value(v));
    cursor->insert(buffer);
  }
  /// Writes the buffered features through and releases the cursor and the buffer.
  void Finish() {
    cursor->flush();
    cursor.reset();
    buffer = host::Row();
  }
};

struct FieldValues {
  const char* name;
  std::vector<double> values;  // what the field will hold, so that it is made wide enough
};

/// Where a run writes: the output folder, the base name its suffixes are added to, and the
/// raster's spatial reference.
struct OutputSpec {
  host::Application& application;
  const std::string& folder;
  const std::string& baseName;
  host::SpatialReferencePtr spatialReference;
};

Output MakeOutput(const OutputSpec& spec, const char* suffix, host::GeometryType type,
                  const std::vector<FieldValues>& fields) {
  host::Application& application = spec.application;
  const std::string& folder = spec.folder;
  const std::string name = spec.baseName + suffix;
  host::SpatialReferencePtr spatialReference = spec.spatialReference;
  Output out;
  out.featureClass =
      CreateShapefileFeatureClass(application, folder, name, type, false, false, spatialReference, false);
  if (!out.featureClass) {
    throw host::Error(host::error_number::kFileAlreadyExists,
                      "Cannot create output file '" + name + ".shp' in '" + folder + "': it already exists.");
  }
  for (const FieldValues& field : fields) {
    const int index =
        AddDoubleField(application.ui(), field.name, out.featureClass.get(), 0, 0, field.values);
    if (index < 0) {
      throw host::Error(host::kFail,
                        "Cannot add the field \"" + std::string(field.name) + "\" to '" + name + "'.");
    }
    out.fields.push_back(index);
  }
  out.cursor = out.featureClass->insert(true);
  out.buffer = out.featureClass->createRowBuffer();
  return out;
}

std::string PercentText(double p) { return host::numberText(p) + " %"; }

/// What one pass over the raster learns: the band's maximum, the largest value on its edge and
/// the volume histogram (none for a flat raster).
struct RasterScan {
  double minimum = 0.0;
  double bandMaximum = 0.0;
  double edgeMaximum = 0.0;
  std::optional<gis::VolumeHistogram> histogram;
};

/// Statistics over every cell, then one pass of single-row reads: edge maximum and histogram.
RasterScan ScanRaster(host::RasterBand& band) {
  const int width = band.width();
  const int height = band.height();
  const host::RasterStatistics statistics = band.computeStatistics();
  RasterScan scan;
  scan.minimum = statistics.minimum;
  scan.bandMaximum = statistics.maximum;
  try {
    scan.histogram.emplace(statistics.minimum, statistics.maximum);
  } catch (const std::domain_error&) {
    // A flat raster: the edge maximum is still measured before the run stops.
  }
  gis::EdgeMaximum edge;
  std::vector<float> row(static_cast<std::size_t>(width > 0 ? width : 0));
  for (int r = 0; r < height && width > 0; ++r) {
    band.readRows(r, 1, row);
    edge.AddRow(row, r, height);
    if (scan.histogram) scan.histogram->AddRow(row);
  }
  scan.edgeMaximum = edge.Value();
  return scan;
}

/// The level values of the percentages, largest first for ascending percentages.
std::vector<double> LevelValues(const RasterScan& scan, const std::vector<double>& percentages) {
  if (!scan.histogram) {
    throw host::Error(host::error_number::kDivisionByZero,
                      "The raster's minimum (" + host::numberText(scan.minimum) + ") equals its maximum (" +
                          host::numberText(scan.bandMaximum) +
                          "): it holds no volume to draw isopleths from.");
  }
  if (percentages.empty()) {
    throw host::Error(host::error_number::kSubscriptOutOfRange, "No isopleth percentages were given.");
  }
  try {
    return scan.histogram->LevelValues(percentages);
  } catch (const std::domain_error& e) {
    throw host::Error(host::error_number::kSubscriptOutOfRange, e.what());
  }
}

/// The contour lines with the level each belongs to: the level nearest its value (a tie keeps
/// the lower index), and that level's percentage.
struct ContourSet {
  std::vector<host::ContourLine> lines;
  std::vector<std::size_t> levelOf;
  std::vector<double> values;
  std::vector<double> percents;
};

ContourSet ContoursByLevel(std::vector<host::ContourLine> lines, const std::vector<double>& levels,
                           const std::vector<double>& percentages) {
  ContourSet set;
  set.lines = std::move(lines);
  for (const host::ContourLine& c : set.lines) {
    const auto i = static_cast<std::size_t>(gis::NearestLevelIndex(levels, c.contour));
    set.levelOf.push_back(i);
    set.values.push_back(c.contour);
    set.percents.push_back(percentages[i]);
  }
  return set;
}

/// The donut fields: each ring lies between an outer level (the band's maximum for the core)
/// and its own.
std::vector<FieldValues> DonutFields(double bandMaximum, const std::vector<double>& levels,
                                     const std::vector<double>& percentages) {
  std::vector<double> outerLevels{bandMaximum};
  outerLevels.insert(outerLevels.end(), levels.begin(), levels.end());
  std::vector<double> outerPercents{0.0};
  outerPercents.insert(outerPercents.end(), percentages.begin(), percentages.end());
  return {{"ISOPLETH1", outerLevels},
          {"ISOPLETH2", levels},
          {"PERCENT1", outerPercents},
          {"PERCENT2", percentages}};
}

/// The levels of one run, as the polygon and donut writers need them.
struct IsoplethLevels {
  const std::vector<double>& levels;
  const std::vector<double>& percentages;
  double bandMaximum;
  host::SpatialReferencePtr spatialReference;
};

/// One polygon per contour line.
std::vector<host::Polygon> LinePolygons(const host::GeometryService& geometry, const ContourSet& contours) {
  std::vector<host::Polygon> polygons;
  for (const host::ContourLine& c : contours.lines) polygons.push_back(PolygonFromContour(geometry, c.line));
  return polygons;
}

/// One polygon per level, assembled from the line polygons of that level (none when it has no
/// line), from the largest percentage down; each is written to `polys` as it is completed.
std::vector<std::optional<host::Polygon>> LevelPolygons(const host::GeometryService& geometry,
                                                        const ContourSet& contours,
                                                        const std::vector<host::Polygon>& linePolygons,
                                                        const IsoplethLevels& run, Output* polys) {
  std::vector<std::optional<host::Polygon>> levelPolygons(run.levels.size());
  for (std::size_t i = levelPolygons.size(); i-- > 0;) {
    std::vector<host::Polygon> parts;
    for (std::size_t j = 0; j < contours.lines.size(); ++j) {
      if (contours.levelOf[j] == i) parts.push_back(linePolygons[j]);
    }
    levelPolygons[i] = AssembleLevelPolygon(geometry, parts);
    if (polys && levelPolygons[i]) {
      polys->Insert(host::Geometry(*levelPolygons[i], run.spatialReference),
                    {run.levels[i], run.percentages[i]});
    }
  }
  return levelPolygons;
}

/// Donuts from the smallest percentage outward: the core, then each ring between levels.
void WriteDonuts(Output& donuts, const host::GeometryService& geometry,
                 const std::vector<std::optional<host::Polygon>>& levelPolygons, const IsoplethLevels& run) {
  for (std::size_t i = 0; i < levelPolygons.size(); ++i) {
    if (!levelPolygons[i]) {
      throw host::Error(host::error_number::kObjectNotSet,
                        "No contour line was found at the " + PercentText(run.percentages[i]) +
                            " level (value " + host::numberText(run.levels[i]) +
                            "), so its donut cannot be built.");
    }
    if (i == 0) {
      donuts.Insert(host::Geometry(*levelPolygons[0], run.spatialReference),
                    {run.bandMaximum, run.levels[0], 0.0, run.percentages[0]});
    } else {
      const host::Polygon ring =
          geometry.simplify(geometry.difference(*levelPolygons[i], *levelPolygons[i - 1]));
      donuts.Insert(host::Geometry(ring, run.spatialReference),
                    {run.levels[i - 1], run.levels[i], run.percentages[i - 1], run.percentages[i]});
    }
  }
}

/// Finishes each output, then fills its measurement fields with progress on the status bar.
void FinishOutputs(host::Application& application, std::optional<Output>& lines,
                   std::initializer_list<std::optional<Output>*> polygonOutputs) {
  if (lines) {
    lines->Finish();
    gis::CalculateLengthField(application, *lines->featureClass, true, "", 0.0);
  }
  for (std::optional<Output>* polygonOutput : polygonOutputs) {
    if (!*polygonOutput) continue;
    (*polygonOutput)->Finish();
    gis::CalculateAreaField(application, *(*polygonOutput)->featureClass, "AREA", 1.0, true);
    gis::CalculatePerimeterField(application, *(*polygonOutput)->featureClass, "PERIMETER", 1.0, true);
  }
}

}  // namespace

void clsHISO::SetIsoplethBoundaries(std::span<const double> percentages) {
  percentages_.assign(percentages.begin(), percentages.end());
}

void clsHISO::SetRasterDataset(std::shared_ptr<host::RasterDataset> dataset) {
  if (!dataset) {
    status_ = hiso_status::kNullRasterDataset;
    return;
  }
  dataset_ = std::move(dataset);
  datasetSet_ = true;
}

void clsHISO::SetRasterBand(std::shared_ptr<host::RasterBand> band) {
  if (!band) {
    status_ = hiso_status::kNullRasterBand;
    return;
  }
  band_ = std::move(band);
  bandSet_ = true;
}

void clsHISO::SetOutputFolder(const std::string& folder) {
  if (folder.empty()) {
    status_ = hiso_status::kEmptyOutputText;
    return;
  }
  folder_ = folder;
  if (!name_.empty()) locationSet_ = true;
}

void clsHISO::SetOutputName(const std::string& name) {
  if (name.empty()) {
    status_ = hiso_status::kEmptyOutputText;
    return;
  }
  name_ = name;
  if (!folder_.empty()) locationSet_ = true;
}

void clsHISO::CreateIsopleths() {
  trappedError_.clear();
  if (!datasetSet_ && !bandSet_) {
    status_ = hiso_status::kNoRaster;
    return;
  }
  if (!lines_ && !polys_ && !donuts_) {
    status_ = hiso_status::kNoOutputKind;
    return;
  }
  if (!locationSet_) {
    status_ = hiso_status::kNoOutputLocation;
    return;
  }
  host::Application* application =
      application_ != nullptr ? application_ : gis::SharedHostReferences().application;
  if (application == nullptr) {
    status_ = hiso_status::kNoHost;
    return;
  }

  // The band is released however the run ends; a band given directly must be given again.
  struct ReleaseBand {
    clsHISO& self;
    ~ReleaseBand() {
      self.band_.reset();
      self.bandSet_ = false;
    }
  } releaseBand{*this};

  const auto report = [&](std::int32_t number, const std::string& description) {
    trappedError_ = description.empty() ? "error " + std::to_string(number) : description;
    application->ui().messageBox(
        "CreateIsopleths " + std::to_string(status_) + "\n" + std::to_string(number) + "\n" + description,
        "Error", host::MessageButtons::Ok, host::MessageIcon::Critical);
  };
  try {
    Run(*application);
  } catch (const host::Error& e) {
    if (host::errorsPassThrough()) throw;
    report(e.number(), e.description());
  } catch (const std::bad_alloc&) {
    if (host::errorsPassThrough()) throw;
    report(kOutOfMemoryNumber, "Out of memory");
  } catch (const std::exception& e) {
    if (host::errorsPassThrough()) throw;
    report(host::error_number::kInvalidProcedureCall, e.what());
  }
}

host::IsoplethResult clsHISO::makeIsopleths(host::Application& application,
                                            const host::IsoplethRequest& request) {
  application_ = &application;
  SetCalculateLines(request.lines);
  SetCalculatePolys(request.polygons);
  SetCalculateDonuts(request.donuts);
  SetIsoplethBoundaries(request.percentages);
  SetOutputFolder(request.folder.string());
  SetOutputName(request.name);
  SetRasterDataset(request.raster);
  status_ = 0;
  CreateIsopleths();
  return {.status = status_, .lines = linesClass_, .polygons = polysClass_, .maxEdgeValue = maxEdgeValue_};
}

void clsHISO::Run(host::Application& application) {
  linesClass_.reset();
  polysClass_.reset();
  donutsClass_.reset();

  if (datasetSet_) band_ = dataset_->band(0);
  const host::SpatialReferencePtr spatialReference = datasetSet_ ? dataset_->spatialReference() : nullptr;
  host::RasterBand& band = *band_;

  maxEdgeValue_ = 0.0;
  RasterScan scan = ScanRaster(band);
  maxEdgeValue_ = scan.edgeMaximum;
  const std::vector<double> levels = LevelValues(scan, percentages_);

  ContourSet contours;
  try {
    contours = ContoursByLevel(band.contour(levels), levels, percentages_);
  } catch (...) {
    status_ = hiso_status::kContouringFailed;
    throw;
  }

  // Output shapefiles, in the order lines, polygons, donuts.
  const OutputSpec spec{application, folder_, name_, spatialReference};
  std::optional<Output> lines;
  std::optional<Output> polys;
  std::optional<Output> donuts;
  if (lines_) {
    lines = MakeOutput(spec, "_line", host::GeometryType::Polyline,
                       {{"ISOPLETH", contours.values}, {"PERCENT", contours.percents}});
    linesClass_ = lines->featureClass;
  }
  if (polys_) {
    polys = MakeOutput(spec, "_poly", host::GeometryType::Polygon,
                       {{"ISOPLETH", levels}, {"PERCENT", percentages_}});
    polysClass_ = polys->featureClass;
  }
  if (donuts_) {
    donuts = MakeOutput(spec, "_donut", host::GeometryType::Polygon,
                        DonutFields(scan.bandMaximum, levels, percentages_));
    donutsClass_ = donuts->featureClass;
  }

  if (lines) {
    for (std::size_t j = 0; j < contours.lines.size(); ++j) {
      lines->Insert(host::Geometry(contours.lines[j].line, spatialReference),
                    {contours.values[j], contours.percents[j]});
    }
  }
  if (polys || donuts) {
    const host::GeometryService& geometry = application.geometry();
    const IsoplethLevels isopleths{levels, percentages_, scan.bandMaximum, spatialReference};
    std::vector<host::Polygon> linePolygons;
    try {
      linePolygons = LinePolygons(geometry, contours);
    } catch (...) {
      status_ = hiso_status::kPolygonFailed;
      throw;
    }
    const auto levelPolygons =
        LevelPolygons(geometry, contours, linePolygons, isopleths, polys ? &*polys : nullptr);
    if (donuts) WriteDonuts(*donuts, geometry, levelPolygons, isopleths);
  }
  FinishOutputs(application, lines, {&polys, &donuts});
}

}  // namespace orvex::ui
