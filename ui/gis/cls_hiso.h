#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/application.h"
#include "host/component.h"
#include "host/isopleths.h"
#include "host/raster.h"
#include "host/table.h"

namespace orvex::ui {

/// Error statuses of clsHISO (0: no error).
namespace hiso_status {
inline constexpr std::int32_t kNullRasterDataset = 1001;  ///< SetRasterDataset given null
inline constexpr std::int32_t kNullRasterBand = 1002;     ///< SetRasterBand given null
inline constexpr std::int32_t kEmptyOutputText = 1004;    ///< empty output folder or name
/// No host application: neither given at construction nor in the shared host references.
inline constexpr std::int32_t kNoHost = 2000;
inline constexpr std::int32_t kNoRaster = 2001;          ///< no raster dataset or band set
inline constexpr std::int32_t kNoOutputKind = 2002;      ///< no lines, polygons or donuts asked
inline constexpr std::int32_t kNoOutputLocation = 2006;  ///< folder and name not both set
inline constexpr std::int32_t kContouringFailed = 3000;  ///< the host could not contour the band
inline constexpr std::int32_t kPolygonFailed = 3001;     ///< a contour line gave no polygon
}  // namespace hiso_status

/// Builds percent-volume isopleths from one utilisation-distribution raster.
///
/// For each percentage p it finds the density above which p % of the raster's volume lies
/// (from a 100,001-bin histogram of the cell values, so levels are quantised to range /
/// 100,000), has the host contour the band at those values, and writes into the output folder:
/// - name + "_line": the contour lines, fields "ISOPLETH", "PERCENT", "LENGTH";
/// - name + "_poly": one polygon per level, holes and islands resolved, from the largest
///   percentage to the smallest, fields "ISOPLETH", "PERCENT", "AREA", "PERIMETER";
/// - name + "_donut": the rings between successive levels from the smallest percentage out,
///   fields "ISOPLETH1", "ISOPLETH2", "PERCENT1", "PERCENT2", "AREA", "PERIMETER"; the first
///   ring is the smallest level's polygon with "PERCENT1" 0 and "ISOPLETH1" the raster maximum.
/// Every field is a 64-bit float made wide enough for the values it holds.
///
/// Configuration persists across runs; the error status keeps the last code any operation set
/// and is never reset by a successful run. A failure after the preconditions is reported in a
/// message box titled "Error" ("CreateIsopleths " + status, host error number, description, on
/// three lines); what was written before it stays. Runs on the host's user-interface thread.
class clsHISO : public host::Component, public host::IsoplethMaker {
 public:
  /// Uses the application of the shared host references at run time.
  clsHISO() = default;
  /// Uses `application`, which outlives the object.
  explicit clsHISO(host::Application& application) : application_(&application) {}
  ~clsHISO() override = default;
  clsHISO(const clsHISO&) = delete;
  clsHISO& operator=(const clsHISO&) = delete;

  void SetCalculateLines(bool value) { lines_ = value; }
  void SetCalculatePolys(bool value) { polys_ = value; }
  void SetCalculateDonuts(bool value) { donuts_ = value; }
  /// The isopleth percentages, in ascending order (the caller sorts them).
  void SetIsoplethBoundaries(std::span<const double> percentages);
  /// The raster whose band 0 is contoured; null sets status 1001 and changes nothing else.
  /// Its band replaces any band given by SetRasterBand when the run starts.
  void SetRasterDataset(std::shared_ptr<host::RasterDataset> dataset);
  /// The band to contour; null sets status 1002. The band is released at the end of every
  /// run: a later run needs it again (or a raster dataset), else it stops with status 2001.
  void SetRasterBand(std::shared_ptr<host::RasterBand> band);
  /// Empty: status 1004, nothing stored.
  void SetOutputFolder(const std::string& folder);
  /// Empty: status 1004, nothing stored.
  void SetOutputName(const std::string& name);

  /// The shapefiles of the last run (null when not built).
  std::shared_ptr<host::FeatureClass> GetLinesFeatureClass() const { return linesClass_; }
  std::shared_ptr<host::FeatureClass> GetPolysFeatureClass() const { return polysClass_; }
  std::shared_ptr<host::FeatureClass> GetDonutsFeatureClass() const { return donutsClass_; }
  std::int32_t GetErrorStatus() const { return status_; }
  /// The description of the error the last run trapped and showed (empty when none): a run
  /// can fail past its preconditions with its status still 0.
  const std::string& GetTrappedError() const { return trappedError_; }
  /// Largest cell on the raster's outer rows and columns in the last run (0 when every edge
  /// cell is 0 or less). A value well above 0 means the raster may have cut the distribution.
  double GetMaxEdgeValue() const { return maxEdgeValue_; }

  /// Builds the requested outputs. Preconditions, each ending the run with nothing created:
  /// no raster (2001), no output kind (2002), no output location (2006), no host (2000).
  void CreateIsopleths();

  /// The same run for another component library, configured from `request` on `application`.
  host::IsoplethResult makeIsopleths(host::Application& application,
                                     const host::IsoplethRequest& request) override;

 private:
  void Run(host::Application& application);

  host::Application* application_ = nullptr;
  std::shared_ptr<host::RasterDataset> dataset_;
  std::shared_ptr<host::RasterBand> band_;
  bool datasetSet_ = false;
  bool bandSet_ = false;
  std::vector<double> percentages_;
  bool lines_ = false;
  bool polys_ = false;
  bool donuts_ = false;
  std::string folder_;
  std::string name_;
  bool locationSet_ = false;
  std::shared_ptr<host::FeatureClass> linesClass_;
  std::shared_ptr<host::FeatureClass> polysClass_;
  std::shared_ptr<host::FeatureClass> donutsClass_;
  double maxEdgeValue_ = 0.0;
  std::int32_t status_ = 0;
  std::string trappedError_;
};

}  // namespace orvex::ui
