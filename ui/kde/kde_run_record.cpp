#include "ui/kde/kde_run_record.h"

#include <optional>

#include "host/table.h"

namespace orvex::ui {

host::RecordValues KdeAnimalValues(const std::string& pointLayer, const KdeAnimal& animal, bool textIds,
                                   const clsKernelCalculator& calculator) {
  host::RecordValues values{.inputLayer = pointLayer,
                            .animal = animal.displayId(textIds),
                            .h = calculator.GetBandwidth(),
                            .href = calculator.GetHREF()};
  if (const std::optional<CrossValidationProfile> profile = calculator.GetLSCVProfile()) {
    values.minimised = calculator.LSCVMinimized;
    for (std::size_t i = 0; i < profile->h.size() && i < profile->score.size(); ++i)
      values.profile.push_back({profile->h[i], profile->score[i]});
  }
  return values;
}

void RecordKdeRaster(host::RunRecord& record, const host::RasterDataset& raster, host::RecordValues values) {
  record.output({.path = raster.path(),
                 .kind = host::OutputKind::Raster,
                 .layer = raster.name(),
                 .columns = raster.columns(),
                 .rows = raster.rows(),
                 .values = std::move(values)});
}

void RecordKdeIsopleths(host::RunRecord& record, const clsHISO& isopleths,
                        const std::filesystem::path& folder, const std::string& rasterName,
                        host::RecordValues values) {
  values.profile.clear();  // the profile belongs to the raster's record
  for (const auto& featureClass : {isopleths.GetLinesFeatureClass(), isopleths.GetPolysFeatureClass(),
                                   isopleths.GetDonutsFeatureClass()}) {
    if (!featureClass) continue;
    const std::string layer = featureClass->name();
    record.output({.path = folder / (layer + ".shp"),
                   .kind = host::OutputKind::Shapefile,
                   .layer = layer,
                   .features = featureClass->featureCount(),
                   .values = values});
  }
  if (isopleths.GetErrorStatus() != 0 || !isopleths.GetTrappedError().empty()) {
    const std::string why = isopleths.GetTrappedError().empty()
                                ? "status " + std::to_string(isopleths.GetErrorStatus())
                                : isopleths.GetTrappedError();
    record.failure({.item = "isopleths of " + rasterName,
                    .reason = "the isopleths could not be built (" + why + ")",
                    .values = std::move(values)});
  }
}

LogAnimalBlock KdeAnimalLogBlock(const KdeSettings& settings, const KdeAnimal& animal, bool textIds,
                                 const clsKernelCalculator& calculator, const KdeAnimalOutcome& outcome) {
  LogAnimalBlock block;
  block.uniqueId = animal.displayId(textIds);
  if (textIds) block.namingId = animal.numericId;
  block.sampleSize = animal.count();
  block.bandwidth = calculator.GetBandwidth();
  block.href = calculator.GetHREF();
  block.estimator = settings.bandwidth;
  block.minimized = calculator.LSCVMinimized;
  block.searchFailed = outcome.searchFailed;
  block.verbose = settings.verbose;
  block.profile = calculator.GetLSCVProfile();
  block.columns = calculator.GetColumnCount();
  block.rows = calculator.GetRowCount();
  block.originX = calculator.GetOriginX();
  block.originY = calculator.GetOriginY();
  block.rasterName = outcome.rasterName;
  block.errorStatus = outcome.errorStatus;
  block.volume = calculator.GetKernelVolume();
  block.scalingText = settings.scaling;
  block.warnings = outcome.warnings;
  return block;
}

}  // namespace orvex::ui
