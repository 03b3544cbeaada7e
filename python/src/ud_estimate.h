#pragma once
// The KDE tool's bandwidths, kernel grids and isopleths for one fix set, as `orvex kde` computes
// them: the same calculator, the same raster writer and the same isopleth maker, so that every
// number equals the command line's for the same settings.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/kde/cls_kernel_calculator.h"

namespace orvex::host {
class WorkspaceFactory;
}

namespace orvex::python {

using ui::CoordPair;

/// "href", "lscv" or "bcv" (the KDE tool's optBE_HREF, optBE_LSCV, optBE_BCV).
enum class BandwidthMethod { Href, Lscv, Bcv };
/// Throws host::Error (kInvalidArgument) naming the text when it is none of the three.
BandwidthMethod parseBandwidthMethod(const std::string& text);

struct BandwidthChoice {
  double h = 0.0;     ///< map units
  double href = 0.0;  ///< working units: map units, or unit variance when rescaled
  bool minimised = false;
  std::vector<double> hs, scores;  ///< the scan's profile, working units; empty for href
  std::string warnings;            ///< the calculator's messages, one a line
};

/// The bandwidth the KDE tool chooses for these fixes with this method. Throws host::Error with
/// the tool's message when the search fails.
/// `exact` keeps the scan on the pair-by-pair sums.
BandwidthChoice chooseBandwidth(std::span<const CoordPair> fixes, BandwidthMethod method, bool rescale,
                                unsigned threads, bool exact = false);

/// How a kernel is asked for: a method, or a manual h in map units.
struct KdeRequest {
  std::optional<BandwidthMethod> method;  ///< empty: `manualH`
  double manualH = 0.0;
  bool rescale = false;
  bool fixedKernel = true;
  double cellSize = 100.0;  ///< rounded to a whole number, halves to even, as the tool does
  /// Outer edges (xmin, ymin, xmax, ymax); empty: the animal's own box ("min").
  std::optional<std::array<double, 4>> extent;
  /// With "min": the box widened by this buffer (the tool's full extent of this one animal)
  /// instead of four bandwidths.
  std::optional<double> buffer;
  double scaling = ui::clsKernelCalculator::kDefaultScalingFactor;
  unsigned threads = 0;
};

struct Isopleth {
  double percent = 0.0;
  double area = 0.0;  ///< of the polygon, unrounded (the shapefile's AREA field rounds it)
  std::string wkb;    ///< little-endian ISO WKB polygon or multipolygon
};

/// One utilisation distribution, owning the calculator that made it.
class UdGrid {
 public:
  /// Throws host::Error with the tool's message when no kernel is computed.
  UdGrid(std::span<const CoordPair> fixes, const KdeRequest& request);
  ~UdGrid();
  UdGrid(const UdGrid&) = delete;
  UdGrid& operator=(const UdGrid&) = delete;

  std::int32_t rows() const { return calculator_->GetRowCount(); }
  std::int32_t columns() const { return calculator_->GetColumnCount(); }
  /// GDAL's order: west edge, cell width, 0, north edge, 0, -cell height.
  std::array<double, 6> geotransform() const;
  /// Densities (the grid divided by the scaling), row 0 at the north, into `out`.
  void copyDensities(std::span<double> out) const;
  double bandwidth() const { return calculator_->GetScaledBandwidth(); }
  double href() const { return calculator_->GetHREF(); }
  double scaling() const { return scaling_; }
  const std::string& warnings() const { return warnings_; }

  // Writing goes through the calculator, which keeps its grid; the two writers change nothing else.
  /// Writes the raster `orvex kde` writes (Float32 GeoTIFF, the scaled densities, the scaling in
  /// its metadata) to `path`, labelled with `crsWkt` (none when empty).
  void writeGeoTiff(const std::string& path, const std::string& crsWkt);
  /// The tool's percent-volume isopleth polygons, in the order of `percents`. Throws
  /// host::Error with the isopleth maker's message when it fails.
  std::vector<Isopleth> isopleths(const std::vector<double>& percents, const std::string& crsWkt);

 private:
  std::unique_ptr<host::WorkspaceFactory> workspaces_;
  std::unique_ptr<ui::clsKernelCalculator> calculator_;
  double scaling_;
  std::string warnings_;
};

/// The calculator's messages, carriage returns made line breaks, trailing break dropped.
std::string messageLines(const std::string& text);

}  // namespace orvex::python
