// Out-of-line destructors: they anchor each interface's type information in orvexhost, so
// that dynamic_cast between interfaces works across the component libraries.

#include "host/application.h"
#include "host/command.h"
#include "host/component.h"
#include "host/component_library.h"
#include "host/cursor.h"
#include "host/geometry_service.h"
#include "host/graphics.h"
#include "host/isopleths.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/progress.h"
#include "host/raster.h"
#include "host/spatial_reference.h"
#include "host/table.h"
#include "host/ud_maker.h"
#include "host/ui_services.h"
#include "host/workspace.h"

namespace orvex::host {

Component::~Component() = default;
IsoplethMaker::~IsoplethMaker() = default;
Command::~Command() = default;
ItemDefinition::~ItemDefinition() = default;
ToolBarDef::~ToolBarDef() = default;
MenuDef::~MenuDef() = default;
ClassFactory::~ClassFactory() = default;

SpatialReference::~SpatialReference() = default;
SpatialReferenceFactory::~SpatialReferenceFactory() = default;
GeometryService::~GeometryService() = default;

Cursor::~Cursor() = default;
UpdateCursor::~UpdateCursor() = default;
InsertCursor::~InsertCursor() = default;
Table::~Table() = default;
FeatureClass::~FeatureClass() = default;
Workspace::~Workspace() = default;
WorkspaceFactory::~WorkspaceFactory() = default;

KdeUdMaker::~KdeUdMaker() = default;

RasterBand::~RasterBand() = default;
RasterDataset::~RasterDataset() = default;

std::vector<double> RasterDataset::readDensity() {
  std::vector<float> cells(static_cast<std::size_t>(columns()) * static_cast<std::size_t>(rows()));
  band(0)->readRows(0, rows(), cells);
  return {cells.begin(), cells.end()};
}
RasterWorkspace::~RasterWorkspace() = default;

Layer::~Layer() = default;
FeatureLayer::~FeatureLayer() = default;
RasterLayer::~RasterLayer() = default;
GroupLayer::~GroupLayer() = default;
ActiveView::~ActiveView() = default;
Map::~Map() = default;
Document::~Document() = default;
GraphicsContainer::~GraphicsContainer() = default;
StatusBar::~StatusBar() = default;
UiServices::~UiServices() = default;
Clock::~Clock() = default;
Application::~Application() = default;

}  // namespace orvex::host
