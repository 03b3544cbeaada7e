#pragma once
// Kernel utilisation distributions made from fixes by the component library that estimates
// them, offered to another library through the host as isopleths are (host/isopleths.h): the
// estimating library registers a class that implements this interface, and another creates it
// by ProgID (Application::createComponent).

#include <filesystem>
#include <string>
#include <vector>

namespace orvex::host {

class Application;

/// One UD per animal of a point layer, every one on the same grid.
struct KdeUdRequest {
  std::string pointLayer{};
  std::string idField{};
  bool selectedOnly = false;
  std::string bandwidth = "lscv";  ///< "href", "lscv", "bcv", or a bandwidth in map units
  bool adaptive = false;           ///< the adaptive kernel instead of the fixed one
  bool rescale = false;            ///< unit variance in x and y before estimating
  std::string buffer = "2000";     ///< map units around the layer's extent ...
  std::string referenceLayer{};    ///< ... or, when given, the grid of this raster layer
  std::string cellSize = "100";
  std::filesystem::path folder{};  ///< where the rasters are written (must exist)
  std::string prefix = "ud";       ///< raster names begin with it
};

struct MadeUd {
  std::string animal{};            ///< the animal as the run names it (its ID value)
  std::filesystem::path raster{};  ///< the raster written
};

struct KdeUdResult {
  bool completed = false;     ///< false: the estimator refused or stopped (it has said why)
  std::vector<MadeUd> uds{};  ///< in the order written; animals it could not estimate are absent
};

class KdeUdMaker {
 public:
  virtual ~KdeUdMaker();
  /// Runs the estimator on the application's focus map; its outputs and failed animals go to
  /// the application's run record.
  virtual KdeUdResult makeKdeUds(Application& application, const KdeUdRequest& request) = 0;
};

}  // namespace orvex::host
