#pragma once

// What a KDE batch run tells about each animal: to its host, the raster and isopleth shapefiles
// it wrote, with the bandwidths and the cross-validation search behind them; to the analysis
// log, the animal's block.

#include <cstdint>
#include <filesystem>
#include <string>

#include "host/raster.h"
#include "host/run_record.h"
#include "ui/gis/cls_hiso.h"
#include "ui/kde/analysis_log.h"
#include "ui/kde/cls_kernel_calculator.h"
#include "ui/kde/kde_batch.h"

namespace orvex::ui {

/// The values of an animal's kernel: the point layer, the animal's ID as the log shows it, the
/// bandwidth and href (map units) and, after a cross-validation search, whether it found a
/// minimum and the scores it computed.
host::RecordValues KdeAnimalValues(const std::string& pointLayer, const KdeAnimal& animal, bool textIds,
                                   const clsKernelCalculator& calculator);

/// Records the raster written for an animal, with its grid size.
void RecordKdeRaster(host::RunRecord& record, const host::RasterDataset& raster, host::RecordValues values);

/// Records the isopleth shapefiles `isopleths` wrote into `folder` for the raster `rasterName`
/// (lines, polygons, donuts, those it made), with the raster's values less its profile; a
/// failed isopleth run is recorded as a failed item.
void RecordKdeIsopleths(host::RunRecord& record, const clsHISO& isopleths,
                        const std::filesystem::path& folder, const std::string& rasterName,
                        host::RecordValues values);

/// How an animal's kernel ended: the raster's name, the calculator's status, whether the
/// bandwidth search failed, and the calculator's messages.
struct KdeAnimalOutcome {
  std::string rasterName{};
  std::int32_t errorStatus = 0;
  bool searchFailed = false;
  std::string warnings{};
};

/// The animal's block of the analysis log, from the calculator's state after its kernel.
LogAnimalBlock KdeAnimalLogBlock(const KdeSettings& settings, const KdeAnimal& animal, bool textIds,
                                 const clsKernelCalculator& calculator, const KdeAnimalOutcome& outcome);

}  // namespace orvex::ui
