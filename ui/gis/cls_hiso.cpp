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

Output MakeOutput(host::Application& application, const std::string& folder, const std::string& name,
                  host::GeometryType type, host::SpatialReferencePtr spatialReference,
                  const std::vector<FieldValues>& fields) {
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

void clsHISO::Run(host::Application& application) {
  linesClass_.reset();
  polysClass_.reset();
  donutsClass_.reset();

  if (datasetSet_) band_ = dataset_->band(0);
  const host::SpatialReferencePtr spatialReference = datasetSet_ ? dataset_->spatialReference() : nullptr;
  host::RasterBand& band = *band_;

  // Statistics over every cell, then one pass of single-row reads: edge maximum and histogram.
  const int width = band.width();
  const int height = band.height();
  const host::RasterStatistics statistics = band.computeStatistics();
  const double bandMaximum = statistics.maximum;
  std::optional<gis::VolumeHistogram> histogram;
  try {
    histogram.emplace(statistics.minimum, statistics.maximum);
  } catch (const std::domain_error&) {
    // A flat raster: the edge maximum is still measured before the run stops.
  }
  maxEdgeValue_ = 0.0;
  gis::EdgeMaximum edge;
  std::vector<float> row(static_cast<std::size_t>(width > 0 ? width : 0));
  for (int r = 0; r < height && width > 0; ++r) {
    band.readRows(r, 1, row);
    edge.AddRow(row, r, height);
    if (histogram) histogram->AddRow(row);
  }
  maxEdgeValue_ = edge.Value();
  if (!histogram) {
    throw host::Error(host::error_number::kDivisionByZero,
                      "The raster's minimum (" + host::numberText(statistics.minimum) +
                          ") equals its maximum (" + host::numberText(statistics.maximum) +
                          "): it holds no volume to draw isopleths from.");
  }
  if (percentages_.empty()) {
    throw host::Error(host::error_number::kSubscriptOutOfRange, "No isopleth percentages were given.");
  }

  // Level values, largest first for ascending percentages.
  std::vector<double> levels;
  try {
    levels = histogram->LevelValues(percentages_);
  } catch (const std::domain_error& e) {
    throw host::Error(host::error_number::kSubscriptOutOfRange, e.what());
  }
  const std::size_t levelCount = levels.size();

  std::vector<host::ContourLine> contours;
  try {
    contours = band.contour(levels);
  } catch (...) {
    status_ = hiso_status::kContouringFailed;
    throw;
  }

  // Each contour line belongs to the level nearest its value (a tie keeps the lower index).
  std::vector<std::size_t> levelOf;
  std::vector<double> contourValues;
  std::vector<double> linePercents;
  for (const host::ContourLine& c : contours) {
    const auto i = static_cast<std::size_t>(gis::NearestLevelIndex(levels, c.contour));
    levelOf.push_back(i);
    contourValues.push_back(c.contour);
    linePercents.push_back(percentages_[i]);
  }

  // Output shapefiles, in the order lines, polygons, donuts.
  std::vector<double> outerLevels{bandMaximum};
  outerLevels.insert(outerLevels.end(), levels.begin(), levels.end());
  std::vector<double> outerPercents{0.0};
  outerPercents.insert(outerPercents.end(), percentages_.begin(), percentages_.end());
  std::optional<Output> lines;
  std::optional<Output> polys;
  std::optional<Output> donuts;
  if (lines_) {
    lines = MakeOutput(application, folder_, name_ + "_line", host::GeometryType::Polyline, spatialReference,
                       {{"ISOPLETH", contourValues}, {"PERCENT", linePercents}});
    linesClass_ = lines->featureClass;
  }
  if (polys_) {
    polys = MakeOutput(application, folder_, name_ + "_poly", host::GeometryType::Polygon, spatialReference,
                       {{"ISOPLETH", levels}, {"PERCENT", percentages_}});
    polysClass_ = polys->featureClass;
  }
  if (donuts_) {
    donuts = MakeOutput(application, folder_, name_ + "_donut", host::GeometryType::Polygon, spatialReference,
                        {{"ISOPLETH1", outerLevels},
                         {"ISOPLETH2", levels},
                         {"PERCENT1", outerPercents},
                         {"PERCENT2", percentages_}});
    donutsClass_ = donuts->featureClass;
  }

  if (lines) {
    for (std::size_t j = 0; j < contours.size(); ++j) {
      lines->Insert(host::Geometry(contours[j].line, spatialReference), {contourValues[j], linePercents[j]});
    }
  }

  if (polys || donuts) {
    const host::GeometryService& geometry = application.geometry();
    std::vector<host::Polygon> linePolygons;
    try {
      for (const host::ContourLine& c : contours)
        linePolygons.push_back(PolygonFromContour(geometry, c.line));
    } catch (...) {
      status_ = hiso_status::kPolygonFailed;
      throw;
    }

    // Level polygons from the largest percentage down; polygon features as each is completed.
    std::vector<std::optional<host::Polygon>> levelPolygons(levelCount);
    for (std::size_t i = levelCount; i-- > 0;) {
      std::vector<host::Polygon> parts;
      for (std::size_t j = 0; j < contours.size(); ++j) {
        if (levelOf[j] == i) parts.push_back(linePolygons[j]);
      }
      levelPolygons[i] = AssembleLevelPolygon(geometry, parts);
      if (polys && levelPolygons[i]) {
        polys->Insert(host::Geometry(*levelPolygons[i], spatialReference), {levels[i], percentages_[i]});
      }
    }

    // Donuts from the smallest percentage outward: the core, then each ring between levels.
    if (donuts) {
      for (std::size_t i = 0; i < levelCount; ++i) {
        if (!levelPolygons[i]) {
          throw host::Error(host::error_number::kObjectNotSet,
                            "No contour line was found at the " + PercentText(percentages_[i]) +
                                " level (value " + host::numberText(levels[i]) +
                                "), so its donut cannot be built.");
        }
        if (i == 0) {
          donuts->Insert(host::Geometry(*levelPolygons[0], spatialReference),
                         {bandMaximum, levels[0], 0.0, percentages_[0]});
        } else {
          const host::Polygon ring =
              geometry.simplify(geometry.difference(*levelPolygons[i], *levelPolygons[i - 1]));
          donuts->Insert(host::Geometry(ring, spatialReference),
                         {levels[i - 1], levels[i], percentages_[i - 1], percentages_[i]});
        }
      }
    }
  }

  // Finish each output, then its measurement fields with progress on the status bar.
  if (lines) {
    lines->Finish();
    gis::CalculateLengthField(application, *lines->featureClass, true, "", 0.0);
  }
  for (std::optional<Output>* polygonOutput : {&polys, &donuts}) {
    if (!*polygonOutput) continue;
    (*polygonOutput)->Finish();
    gis::CalculateAreaField(application, *(*polygonOutput)->featureClass, "AREA", 1.0, true);
    gis::CalculatePerimeterField(application, *(*polygonOutput)->featureClass, "PERIMETER", 1.0, true);
  }
}

}  // namespace orvex::ui
