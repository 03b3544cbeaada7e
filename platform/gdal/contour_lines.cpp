#include "platform/gdal/contour_lines.h"

#include <cpl_string.h>
#include <gdal_alg.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/gdal/gdal_session.h"

namespace orvex::platform::gdal {
namespace {

constexpr const char* kMemoryDriver = "Memory";

/// Shortest round-trip text of a level, independent of the C locale's decimal separator.
std::string levelText(double level) {
  char buffer[64];
  CPLsnprintf(buffer, sizeof buffer, "%.17g", level);
  return buffer;
}

}  // namespace

DatasetPtr contourBand(GDALRasterBand& band, std::span<const double> levels) {
  ensureGdalReady();
  std::vector<double> sorted(levels.begin(), levels.end());
  for (double level : sorted) {
    if (!std::isfinite(level)) fail("cannot contour at a level that is not a finite number");
  }
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());

  ErrorCollector errors;
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(kMemoryDriver);
  if (driver == nullptr) fail("GDAL has no in-memory vector driver");
  DatasetPtr out(driver->Create(kContourLayer, 0, 0, 0, GDT_Unknown, nullptr));
  if (!out) failWithGdal("cannot create the contour layer", &errors);

  GDALDataset* source = band.GetDataset();
  const OGRSpatialReference* srs = source != nullptr ? source->GetSpatialRef() : nullptr;
  OGRLayer* layer =
      out->CreateLayer(kContourLayer, const_cast<OGRSpatialReference*>(srs), wkbLineString, nullptr);
  if (layer == nullptr) failWithGdal("cannot create the contour layer", &errors);
  OGRFieldDefn id(kContourIdField, OFTInteger);
  OGRFieldDefn value(kContourField, OFTReal);
  if (layer->CreateField(&id) != OGRERR_NONE || layer->CreateField(&value) != OGRERR_NONE) {
    failWithGdal("cannot create the fields of the contour layer", &errors);
  }
  if (sorted.empty()) return out;

  std::string fixed = "FIXED_LEVELS=";
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i > 0) fixed += ',';
    fixed += levelText(sorted[i]);
  }
  CPLStringList options;
  options.AddString(fixed.c_str());
  options.SetNameValue("ID_FIELD", "0");
  options.SetNameValue("ELEV_FIELD", "1");
  if (GDALContourGenerateEx(GDALRasterBand::ToHandle(&band), OGRLayer::ToHandle(layer), options.List(),
                            nullptr, nullptr) != CE_None) {
    const std::string name =
        source != nullptr ? std::string(source->GetDescription()) : std::string("raster");
    failWithGdal("cannot contour \"" + name + "\"", &errors);
  }
  return out;
}

}  // namespace orvex::platform::gdal
