#pragma once

// What the "Kernel Analysis Parameters" sheet hands to the Kernel Analysis command: one
// options struct, filled by the sheet's form model whichever host renders it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine/kernel_engine.h"

namespace orvex::core {

/// How the Smoothing page fills its h box.
enum class HChoice { Href, User, Lscv, Bcv };

/// "Smoothing Application".
enum class KernelType { Adaptive, Fixed };

/// Contour page: volume levels from the Levels text, or nine equally spaced densities.
enum class ContourKind { Volume, Density };

/// The Contour page's default levels.
inline constexpr std::string_view kDefaultContourLevels = "0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9";
/// "Raster Resolution": cells per side of the UD grid.
inline constexpr std::int32_t kDefaultRasterResolution = 150;
inline constexpr std::int32_t kMinRasterResolution = 40;
inline constexpr std::int32_t kMaxRasterResolution = 100000;
/// "Densify Arcs": the default maximum segment length, in map units.
inline constexpr double kDefaultDensifyLength = 1.0;

/// The LSCV/BCV search bracket as multiples of href, and the search's relative tolerance.
inline constexpr double kSearchLower = 0.1;
inline constexpr double kSearchUpper = 1.0;
inline constexpr double kSearchTolerance = 0.05;

struct KernelOptions {
  /// Standardization page mode: KernelEngine::NONE or KernelEngine::STD_Unit (the modes
  /// STD_X and STD_Y exist on the page but cannot be chosen).
  std::int32_t standardisation = KernelEngine::STD_Unit;
  /// The h values are multiples of href (the proportion check box).
  bool proportional = true;
  HChoice hChoice = HChoice::User;
  /// One run per value, in the order written. Empty when the h text gave no list: no run.
  std::vector<double> hValues{};
  KernelType kernel = KernelType::Adaptive;
  ContourKind contour = ContourKind::Volume;
  std::string levels{kDefaultContourLevels};
  std::int32_t resolution = kDefaultRasterResolution;
  bool smooth = false;
  bool densify = false;
  double densifyLength = kDefaultDensifyLength;
};

/// "Fixed" or "Adaptive", as the "KernType" field holds it.
inline std::string_view kernelTypeName(KernelType type) {
  return type == KernelType::Fixed ? "Fixed" : "Adaptive";
}

}  // namespace orvex::core
