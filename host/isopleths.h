#pragma once
// Percent-volume isopleths of a utilisation-distribution raster, offered by one component
// library to another through the host: the library that builds them registers a class that
// implements this interface, and another creates it by ProgID (Application::createComponent).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/raster.h"
#include "host/table.h"

namespace orvex::host {

class Application;

struct IsoplethRequest {
  std::shared_ptr<RasterDataset> raster{};  ///< band 0 is contoured
  std::vector<double> percentages{};        ///< volume percentages, ascending
  bool lines = true;
  bool polygons = true;
  bool donuts = false;
  std::filesystem::path folder{};
  std::string name{};  ///< the shapefiles are name + "_line", "_poly", "_donut"
};

struct IsoplethResult {
  std::int32_t status = 0;  ///< 0, or the maker's error status (it has shown the message)
  std::shared_ptr<FeatureClass> lines{};
  std::shared_ptr<FeatureClass> polygons{};  ///< fields "PERCENT" and "AREA" among others
  double maxEdgeValue = 0.0;                 ///< largest cell on the raster's border: > 0 may mean truncation
};

class IsoplethMaker {
 public:
  virtual ~IsoplethMaker();
  virtual IsoplethResult makeIsopleths(Application& application, const IsoplethRequest& request) = 0;
};

}  // namespace orvex::host
