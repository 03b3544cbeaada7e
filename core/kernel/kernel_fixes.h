#pragma once

// The fixes of a Kernel Analysis: the usable points of the map's selection, and how an engine
// is loaded with them.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/engine/kernel_engine.h"
#include "host/row.h"

namespace orvex::core {

/// Fewer usable points than this and the analysis does not start.
inline constexpr int kKernelMinimumFixes = 5;
/// The text field whose value names the animal on the Information page.
inline constexpr const char* kAnimalIdField = "AnimalID";

/// One usable point, as the engine takes it (single precision), with the feature's
/// "AnimalID" text when it has one.
struct KernelFix {
  float x = 0.0f;
  float y = 0.0f;
  std::optional<std::string> animalId{};
};

/// The usable points of `features`, in their order: simple features whose shape is a
/// non-empty point with both coordinates finite, also once brought to single precision (a
/// coordinate beyond the floats' range would enter the engine as an infinity). Others are
/// skipped silently.
std::vector<KernelFix> usableFixes(std::span<const host::Feature> features);

/// Adds every fix to a fresh engine (built for `fixes.size()` cases), makes the last
/// "AnimalID" text met the engine's animal ID (the engine keeps "None" when no fix has one),
/// then standardises to unit variance (`stdize(3)`).
void loadKernelEngine(KernelEngine& engine, std::span<const KernelFix> fixes);

}  // namespace orvex::core
