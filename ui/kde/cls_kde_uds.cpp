#include "ui/kde/cls_kde_uds.h"

#include "host/application.h"
#include "ui/kde/kde_batch.h"

namespace orvex::ui {

host::KdeUdResult clsKDEUDs::makeKdeUds(host::Application& application, const host::KdeUdRequest& request) {
  KdeSettings settings;
  settings.pointLayer = request.pointLayer;
  settings.useSelectedOnly = request.selectedOnly;
  settings.idField = request.idField;
  settings.rescale = request.rescale;
  settings.fixedKernel = !request.adaptive;
  settings.bandwidth = request.bandwidth == "href"   ? KdeBandwidthChoice::Href
                       : request.bandwidth == "lscv" ? KdeBandwidthChoice::Lscv
                       : request.bandwidth == "bcv"  ? KdeBandwidthChoice::Bcv
                                                     : KdeBandwidthChoice::Manual;
  if (settings.bandwidth == KdeBandwidthChoice::Manual) settings.manualBandwidths = request.bandwidth;
  settings.extent = request.referenceLayer.empty() ? KdeExtentChoice::Full : KdeExtentChoice::Reference;
  settings.buffer = request.buffer;
  settings.referenceLayer = request.referenceLayer;
  settings.isopleths = false;
  settings.outputFolder = request.folder.string();
  settings.prefix = request.prefix;
  settings.cellSize = request.cellSize;
  settings.silent = true;

  const std::size_t before = application.runRecord().outputs().size();
  host::KdeUdResult result;
  result.completed = RunKdeBatch(application, settings) == KdeBatchResult::Completed;
  const auto& outputs = application.runRecord().outputs();
  for (std::size_t i = before; i < outputs.size(); ++i)
    if (outputs[i].kind == host::OutputKind::Raster)
      result.uds.push_back({outputs[i].values.animal, outputs[i].path});
  return result;
}

}  // namespace orvex::ui
