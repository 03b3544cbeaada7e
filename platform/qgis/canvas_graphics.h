#pragma once

// The host's graphics container drawn on the map canvas: each element becomes a canvas item
// (its line or polygon, a marker for a point, the arrow along a line, its text), removed
// with the element. The elements themselves stay in memory for whoever reads them back.

#include <map>

#include <qgsmapcanvas.h>
#include <qgsmapcanvasitem.h>
#include <QPointer>

#include "host/graphics.h"

namespace orvex::platform::qgis {

class CanvasGraphics final : public host::MemoryGraphicsContainer {
 public:
  explicit CanvasGraphics(QgsMapCanvas* canvas) : canvas_(canvas) {}
  ~CanvasGraphics() override;
  CanvasGraphics(const CanvasGraphics&) = delete;
  CanvasGraphics& operator=(const CanvasGraphics&) = delete;

  host::ElementId add(host::GraphicElement element) override;
  void remove(host::ElementId id) override;

  /// Canvas items alive (one per element while a canvas is there).
  int itemCount() const { return static_cast<int>(items_.size()); }

 private:
  void dropItem(host::ElementId id);

  QPointer<QgsMapCanvas> canvas_;
  std::map<host::ElementId, QGraphicsItem*> items_;  // owned by the canvas's scene
};

}  // namespace orvex::platform::qgis
