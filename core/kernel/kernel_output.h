#pragma once

// The output of one Kernel Analysis run: one polygon feature per contour level, saved as a
// shapefile chosen in a Save As dialog and added to the map.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/data/host_context.h"
#include "core/data/shapefile_output.h"
#include "core/engine/kernel_engine.h"
#include "core/kernel/kernel_options.h"
#include "host/field.h"
#include "host/geometry.h"
#include "host/geometry_service.h"
#include "host/spatial_reference.h"
#include "host/status.h"

namespace orvex::core {

/// Source name of the command's host-failure reports, and the line of the workspace step.
inline constexpr const char* kKernelSource = "orvex_kernel";
inline constexpr int kKernelWorkspaceLine = 207;

/// The schema's double fields: 20 characters, 12 of them decimals; widened by the orvexcore
/// rule for .dbf numbers (fitNumberFormat) when a value needs more.
inline constexpr NumberFormat kKernelDoubleFormat{20, 12};

/// The rings of one contour level, in the order visited, with the level's volume and density
/// (those of the ring that closed the level, from single precision).
struct KernelLevelRings {
  std::vector<host::Ring> rings{};
  double volume = 0.0;
  double density = 0.0;
};

/// Groups the engine's rings into one entry per level, in feature order: for volume
/// contouring the rings are visited from the last down to the first and a level closes at its
/// first ring (so the 0.9 level comes first with the default levels); for density contouring
/// from the first up and a level closes at its end-of-level mark (the lowest density first).
/// Levels that traced no ring give no entry. Each ring is closed (last point = first).
std::vector<KernelLevelRings> kernelLevels(const KernelEngine& engine, ContourKind contour);

/// One output feature.
struct KernelFeature {
  host::Polygon polygon{};
  double volume = 0.0;
  double density = 0.0;
  double area = 0.0;
};

/// A level's polygon as the command writes it: each ring smoothed (maximum offset 0) when
/// `options.smooth`, the polygon densified (`options.densifyLength`, deviation 0) when
/// `options.densify`, and its area from the geometry service (0 when not finite).
/// Throws host::Error when the geometry service fails.
KernelFeature kernelFeature(const host::GeometryService& geometry, const KernelLevelRings& level,
                            const KernelOptions& options, const host::SpatialReferencePtr& spatialReference);

/// The values of one run that go into every feature besides the level's own.
struct KernelRunValues {
  KernelType kernel = KernelType::Adaptive;
  double h = 0.0;     ///< the engine's h, in working units
  double href = 0.0;  ///< the engine's href, in working units
  std::int32_t nPoints = 0;
};

/// The fields of the output, in creation order: "shape" (polygon, `spatialReference`),
/// "Volume", "Density" (double, length 8), "KernType" (string, length 21, precision 20),
/// "h", "href" (double), "NPoints" (integer, length 4, precision 20), "Area" (double). Every
/// double field has kKernelDoubleFormat, widened (or, beyond 254 characters, given fewer
/// decimals) so that each value of `features` and `run` is written whole.
host::Fields kernelOutputFields(host::SpatialReferencePtr spatialReference,
                                std::span<const KernelFeature> features, const KernelRunValues& run);

/// "Save As  for h = %0.1f" (two blanks after "As").
std::string kernelSaveTitle(double hValue);

/// How a run's item names one h of the list in failure records: "h = 0.5".
std::string kernelItemName(double hValue);
/// The values the record of one h run carries: the engine's h and href (working units) and
/// the list entry `hValue`.
host::RecordValues kernelRecordValues(double hValue, const KernelRunValues& run);

/// Saves the contours of one finished run: asks for the file (Cancel: nothing written,
/// kOk), opens its folder as a shapefile workspace (a failure is shown as the host's text
/// followed by "\norvex_kernel(207)"), replaces a deletable feature class of that name (or
/// appends to one that stays), writes one feature per level in kernelLevels order, adds the
/// class as a layer named with the file name and refreshes the view's geography.
/// @return kOk when written or cancelled; a failure (shown to the user) otherwise.
host::Status saveKernelRun(HostContext& context, const KernelEngine& engine, const KernelOptions& options,
                           double hValue, const KernelRunValues& run);

}  // namespace orvex::core
