#include "core/kernel/orvex_kernel.h"

#include <vector>

#include "core/engine/kernel_engine.h"
#include "core/kernel/kernel_output.h"
#include "core/kernel/kernel_sheet.h"
#include "host/error.h"
#include "host/map.h"
#include "host/text.h"

namespace orvex::core {

std::string kernelNoUdMessage(double hValue) {
  return host::cformat("No utilisation distribution could be computed for h = %0.1f.", hValue);
}

std::string kernelTooSmallMessage(double hValue) {
  return host::cformat(
      "h = %g is too small for the grid: no grid node lies within the kernel's reach of a "
      "fix, so there is no utilisation distribution. Use a larger h.",
      hValue);
}

std::string kernelNoRingMessage(double hValue) {
  return host::cformat(
      "h = %g traces no contour on the grid: each level encloses no grid node. Use a larger h or "
      "a finer resolution.",
      hValue);
}

orvex_kernel::orvex_kernel() : OrvexCommand(kOrvexKernel) {}
orvex_kernel::~orvex_kernel() = default;

host::Status orvex_kernel::onClick() {
  // Without a refreshed context there is no map to read: the failure is shown by the context.
  const host::Status refreshed = context().refresh();
  if (host::failed(refreshed)) return refreshed;

  host::UiServices& ui = context().application().ui();
  std::vector<host::Feature> selected;
  try {
    selected = context().focusMap()->selectedFeatures();
  } catch (const host::Error&) {
    selected.clear();
  }
  host::RunRecord& record = context().application().runRecord();
  if (selected.empty()) {
    ui.messageBox(kKernelNoSelection);
    record.failure(
        {.item = "the selection", .reason = kKernelNoSelection, .kind = host::FailureKind::Skipped});
    return host::kOk;
  }

  const std::vector<KernelFix> fixes = usableFixes(selected);
  if (fixes.size() < static_cast<std::size_t>(kKernelMinimumFixes)) {
    ui.messageBox(kKernelFewPoints);
    record.failure({.item = "the selection", .reason = kKernelFewPoints});
    return host::kFail;
  }

  KernelEngine sheetEngine(static_cast<std::int32_t>(fixes.size()));
  loadKernelEngine(sheetEngine, fixes);
  sheetEngine.set_worker_threads(context().application().workerThreads());
  sheetEngine.set_exact_pair_sums(context().application().exactPairSums());
  KernelSheet sheet(ui, sheetEngine);
  if (ui.showModal(sheet) != host::dialog_result::kOk) {
    record.failure({.item = "the parameters",
                    .reason = "the parameter sheet was cancelled",
                    .kind = host::FailureKind::Cancelled});
    return host::kOk;
  }

  const KernelOptions options = sheet.options();
  // Every h of the list is run and the click returns the last run's status; a failed h is in
  // the run's record, so a host still sees it when a later h succeeds.
  host::Status status = host::kOk;
  const double share = 1.0 / static_cast<double>(options.hValues.size());
  for (std::size_t i = 0; i < options.hValues.size(); ++i) {
    const double hValue = options.hValues[i];
    if (!record.report(static_cast<double>(i) * share, kernelItemName(hValue))) {
      record.failure({.item = kernelItemName(hValue),
                      .reason = "stopped by the user",
                      .kind = host::FailureKind::Cancelled});
      return status;
    }
    status = runOne(fixes, options, hValue);
  }
  record.report(1.0, "Kernel Analysis");
  return status;
}

host::Status orvex_kernel::runOne(std::span<const KernelFix> fixes, const KernelOptions& options,
                                  double hValue) {
  const auto count = static_cast<std::int32_t>(fixes.size());
  KernelEngine engine(count);
  loadKernelEngine(engine, fixes);
  engine.set_worker_threads(context().application().workerThreads());
  engine.set_exact_pair_sums(context().application().exactPairSums());
  engine.stdize(options.standardisation);
  engine.set_search_range(kSearchLower, kSearchUpper, kSearchTolerance);
  if (options.proportional)
    engine.set_h_proportional(hValue);
  else
    engine.seth(hValue);

  engine.init_matrix(options.resolution);
  if (options.contour == ContourKind::Density)
    engine.set_density_contouring();
  else
    engine.set_contour_levels(options.levels);
  // The volume check is the engine's own diagnostic (its log says when it fails); the
  // contours are drawn either way.
  if (options.kernel == KernelType::Fixed)
    engine.kern_fixed();
  else
    engine.kern_adaptive();

  // No grid (a resolution beyond the memory) or no UD (fixes without extent): an empty
  // shapefile would pass for a result, so the run ends here and says why.
  if (!engine.ud_made()) {
    const std::string why =
        engine.grid_too_fine() ? kernelTooSmallMessage(hValue) : kernelNoUdMessage(hValue);
    context().application().ui().messageBox(why);
    context().application().runRecord().failure(
        {.item = kernelItemName(hValue), .reason = why, .values = {.hListed = hValue}});
    return host::kFail;
  }
  engine.AVMakeContour();
  // A UD whose every level encloses no grid cell traces no ring: an empty shapefile would pass
  // for a result (h far below the cell size, most of the volume between nodes).
  if (engine.rings().empty()) {
    const std::string why = kernelNoRingMessage(hValue);
    context().application().ui().messageBox(why);
    context().application().runRecord().failure(
        {.item = kernelItemName(hValue), .reason = why, .values = {.hListed = hValue}});
    return host::kFail;
  }

  KernelRunValues run;
  run.kernel = options.kernel;
  run.h = engine.h();
  run.href = engine.gethref();
  run.nPoints = count;
  const host::Status saved = saveKernelRun(context(), engine, options, hValue, run);
  if (host::failed(saved))
    context().application().runRecord().failure({.item = kernelItemName(hValue),
                                                 .reason = "the shapefile could not be written",
                                                 .values = kernelRecordValues(hValue, run)});
  return saved;
}

std::unique_ptr<host::Command> makeOrvexKernel() { return std::make_unique<orvex_kernel>(); }

}  // namespace orvex::core
