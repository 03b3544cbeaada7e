#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/map.h"

namespace orvex::ui::gis {

/// The kinds of layer the dialogs list.
enum class LayerListKind {
  AnyLayer = 1,      ///< every layer, group layers and their members included
  FeatureLayer = 2,  ///< feature layers whose class has a drawable shape type
  PointLayer = 3,
  LineLayer = 4,
  PolygonLayer = 5,
  RasterLayer = 6,
};

/// The first layer of the map, group members included, whose name equals `name` exactly
/// (letter case counts); null when there is none.
std::shared_ptr<host::Layer> FindLayerByName(const host::Map& map, std::string_view name);

/// Appends to `names` the names of the map's layers of the given kind, in table-of-contents
/// order (group members included). Returns false, adding nothing, for a kind code outside 1..6.
/// Feature layers whose data source is missing are not listed under kinds 2 to 5.
bool ListLayers(const host::Map& map, int kind, std::vector<std::string>& names);

}  // namespace orvex::ui::gis
