#include "platform/gdal/movebank_import.h"

#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <set>

#include "host/error.h"
#include "host/text.h"
#include "host/value.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/vector_output_dataset.h"

namespace orvex::platform::gdal {
namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
constexpr double kZoneWidth = 6.0;  // degrees of longitude
constexpr int kZones = 60;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr int kTime2Width = 14;  // digits: seconds up to the year 5000 and beyond, either sign
constexpr int kMinAnimalWidth = 20;
constexpr int kMaxTextWidth = 254;  // the widest text field a .dbf holds

/// Longitude folded into [-180, 180).
double foldLongitude(double degrees) {
  double folded = std::fmod(degrees + 180.0, 360.0);
  if (folded < 0.0) folded += 360.0;
  return folded - 180.0;
}

double median(std::vector<double> values) {
  const std::size_t half = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half), values.end());
  const double upper = values[half];
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half));
  return (lower + upper) / 2.0;
}

SpatialRefPtr targetReference(const MovebankImportOptions& options, std::optional<UtmChoice>& utm,
                              const std::vector<MovebankFix>& fixes) {
  SpatialRefPtr srs(new OGRSpatialReference());
  const std::string text(host::trim(options.crs));
  ErrorCollector errors;
  if (text.empty() || host::iequals(text, "auto")) {
    utm = chooseUtmZone(fixes);
    if (srs->importFromEPSG(utm->epsg()) != OGRERR_NONE)
      failWithGdal("cannot make EPSG:" + std::to_string(utm->epsg()), &errors);
  } else if (srs->SetFromUserInput(text.c_str()) != OGRERR_NONE) {
    failWithGdal("\"" + text + "\" is not a coordinate system", &errors, host::kInvalidArgument);
  }
  srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

std::string timeOfDay(std::int64_t seconds) {
  const std::int64_t ofDay = ((seconds % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
  return host::cformat("%02d:%02d:%02d", static_cast<int>(ofDay / 3600), static_cast<int>(ofDay / 60 % 60),
                       static_cast<int>(ofDay % 60));
}

host::CivilTime dateOf(std::int64_t seconds) {
  const std::int64_t day =
      seconds >= 0 ? seconds / kSecondsPerDay : (seconds - kSecondsPerDay + 1) / kSecondsPerDay;
  return host::Date::fromUnixSeconds(static_cast<double>(day * kSecondsPerDay)).toCivil();
}

void addField(OGRLayer& layer, const char* name, OGRFieldType type, int width) {
  OGRFieldDefn field(name, type);
  field.SetWidth(width);
  if (layer.CreateField(&field) != OGRERR_NONE) failWithGdal(std::string("cannot add the field ") + name);
}

void writeFixes(const MovebankImportOptions& options, const std::vector<MovebankFix>& fixes,
                OGRSpatialReference& target, MovebankImportReport& report) {
  VectorOutput out = openVectorOutput(options.output, options.output.stem().string(), options.replace);
  report.layer = out.layer;
  ErrorCollector errors;
  // Identifiers are UTF-8 and may be in any script: a shapefile written in GDAL's default
  // code page (Latin-1) turned every other letter into '?', two animals into one.
  CPLStringList layerOptions;
  if (vectorFormatOf(options.output) == VectorFormat::Shapefile)
    layerOptions.SetNameValue("ENCODING", "UTF-8");
  OGRLayer* layer = out.dataset->CreateLayer(out.layer.c_str(), &target, wkbPoint, layerOptions.List());
  if (layer == nullptr)
    failWithGdal("cannot create the layer " + out.layer + " in " + options.output.string(), &errors);

  std::size_t animalWidth = kMinAnimalWidth;
  for (const MovebankFix& fix : fixes) animalWidth = std::max(animalWidth, fix.animal.size());
  addField(*layer, "AnimalID", OFTString,
           static_cast<int>(std::min<std::size_t>(animalWidth, kMaxTextWidth)));
  addField(*layer, "Time2", OFTInteger64, kTime2Width);
  addField(*layer, "Time1", OFTString, 8);
  addField(*layer, "Date", OFTDate, 0);

  OGRSpatialReference wgs84;
  wgs84.importFromEPSG(4326);
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  TransformPtr transform(OGRCreateCoordinateTransformation(&wgs84, &target));
  if (!transform) failWithGdal("cannot project from WGS 84 to " + report.crsName, &errors);

  for (const MovebankFix& fix : fixes) {
    double x = fix.longitude, y = fix.latitude;
    if (!transform->Transform(1, &x, &y) || !std::isfinite(x) || !std::isfinite(y))
      fail(host::cformat("cannot project the fix of %s at %.6f, %.6f into ", fix.animal.c_str(),
                         fix.longitude, fix.latitude) +
           report.crsName);
    FeaturePtr feature(OGRFeature::CreateFeature(layer->GetLayerDefn()));
    OGRPoint point(x, y);
    feature->SetGeometry(&point);
    feature->SetField("AnimalID", fix.animal.c_str());
    feature->SetField("Time2", static_cast<GIntBig>(fix.seconds));
    feature->SetField("Time1", timeOfDay(fix.seconds).c_str());
    const host::CivilTime date = dateOf(fix.seconds);
    feature->SetField(layer->GetLayerDefn()->GetFieldIndex("Date"), date.year, date.month, date.day);
    if (layer->CreateFeature(feature.get()) != OGRERR_NONE)
      failWithGdal("cannot write to " + options.output.string(), &errors);
  }
  out.commit(options.output, errors);  // one transaction also makes a GeoPackage import fast
  report.written = fixes.size();
}

}  // namespace

UtmChoice chooseUtmZone(std::span<const MovebankFix> fixes) {
  if (fixes.empty()) fail("no fixes to choose a UTM zone for", host::kInvalidArgument);
  double sumSin = 0.0, sumCos = 0.0;
  std::vector<double> latitudes;
  latitudes.reserve(fixes.size());
  for (const MovebankFix& fix : fixes) {
    sumSin += std::sin(fix.longitude * kRadiansPerDegree);
    sumCos += std::cos(fix.longitude * kRadiansPerDegree);
    latitudes.push_back(fix.latitude);
  }
  UtmChoice choice;
  choice.centralLongitude = foldLongitude(std::atan2(sumSin, sumCos) / kRadiansPerDegree);
  choice.zone =
      std::clamp(static_cast<int>(std::floor((choice.centralLongitude + 180.0) / kZoneWidth)) + 1, 1, kZones);
  choice.medianLatitude = median(std::move(latitudes));
  choice.north = choice.medianLatitude >= 0.0;
  const double meridian = -180.0 + (choice.zone - 0.5) * kZoneWidth;
  for (const MovebankFix& fix : fixes)
    choice.widestOffset = std::max(choice.widestOffset, std::fabs(foldLongitude(fix.longitude - meridian)));
  return choice;
}

MovebankImportReport importMovebank(const MovebankImportOptions& options) {
  ensureGdalReady();
  vectorFormatOf(options.output);  // refuse a wrong output before reading anything
  MovebankImportReport report;
  std::vector<MovebankFix> fixes;
  for (const std::filesystem::path& input : options.inputs) {
    std::ifstream in(input, std::ios::binary);
    if (!in) fail("cannot read " + input.string(), host::kFileNotFound);
    readMovebankCsv(in, input.string(), options.read, fixes, report.counts);
  }
  if (fixes.empty())
    fail("no fix of sensor type \"" + options.read.sensor + "\" with coordinates in the input",
         host::kDataError);

  std::stable_sort(fixes.begin(), fixes.end(), [](const MovebankFix& a, const MovebankFix& b) {
    if (a.animal != b.animal) return a.animal < b.animal;
    if (a.seconds != b.seconds) return a.seconds < b.seconds;
    if (a.fraction != b.fraction) return a.fraction < b.fraction;
    return a.order < b.order;
  });
  std::set<std::string_view> animals;
  for (const MovebankFix& fix : fixes) animals.insert(fix.animal);
  report.animals = animals.size();

  const SpatialRefPtr target = targetReference(options, report.utm, fixes);
  report.crsName = target->GetName() != nullptr ? target->GetName() : "unnamed coordinate system";
  const char* authority = target->GetAuthorityName(nullptr);
  if (authority != nullptr && host::iequals(authority, "EPSG"))
    report.epsg = std::atoi(target->GetAuthorityCode(nullptr));
  report.wideSpread = report.utm && report.utm->widestOffset > kWideSpreadDegrees;
  report.output = options.output;
  writeFixes(options, fixes, *target, report);
  return report;
}

}  // namespace orvex::platform::gdal
