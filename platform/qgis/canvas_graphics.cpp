#include "platform/qgis/canvas_graphics.h"

#include <cmath>
#include <vector>

#include <qgsmapcanvasitem.h>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace orvex::platform::qgis {
namespace {

// Screen pixels per typographic point at the canvas's nominal 96 dots per inch.
constexpr double kPixelsPerPoint = 96.0 / 72.0;
// Room around an element's extent for markers, arrow heads and text, in pixels.
constexpr double kMarginPixels = 64.0;

QColor toQColor(const host::Color& color) { return QColor(color.red, color.green, color.blue); }

/// The point at `fraction` of a path's length and the direction of travel there.
bool pointAlong(const host::Path& path, double fraction, host::Point& at, double& angle) {
  double total = 0.0;
  for (std::size_t i = 1; i < path.size(); ++i) total += host::distance(path[i - 1], path[i]);
  if (!(total > 0.0)) return false;
  double remaining = std::clamp(fraction, 0.0, 1.0) * total;
  for (std::size_t i = 1; i < path.size(); ++i) {
    const double length = host::distance(path[i - 1], path[i]);
    if (length <= 0.0) continue;
    if (remaining <= length || i + 1 == path.size()) {
      const double t = std::min(remaining / length, 1.0);
      at = {path[i - 1].x + t * (path[i].x - path[i - 1].x), path[i - 1].y + t * (path[i].y - path[i - 1].y)};
      angle = std::atan2(path[i].y - path[i - 1].y, path[i].x - path[i - 1].x);
      return true;
    }
    remaining -= length;
  }
  return false;
}

class ElementItem final : public QgsMapCanvasItem {
 public:
  ElementItem(QgsMapCanvas* canvas, host::GraphicElement element)
      : QgsMapCanvasItem(canvas), element_(std::move(element)) {
    const host::Envelope box = element_.geometry.envelope();
    if (!box.isEmpty()) setRect(QgsRectangle(box.xmin, box.ymin, box.xmax, box.ymax));
    setZValue(100);  // above the rubber bands of QGIS's own tools
  }

  QRectF boundingRect() const override {
    return QgsMapCanvasItem::boundingRect().adjusted(-kMarginPixels, -kMarginPixels, kMarginPixels,
                                                     kMarginPixels);
  }

 protected:
  void paint(QPainter* painter) override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(-pos());
    const host::Symbol& symbol = element_.symbol;
    QPen pen(toQColor(symbol.color), std::max(1.0, symbol.width * kPixelsPerPoint));
    painter->setPen(pen);
    QPointF anchor;
    bool hasAnchor = false;
    if (const auto* point = element_.geometry.point(); point != nullptr && !point->isEmpty()) {
      anchor = screen(*point);
      hasAnchor = true;
      const double radius = std::max(2.0, symbol.width * kPixelsPerPoint / 2.0);
      painter->setBrush(toQColor(symbol.color));
      painter->drawEllipse(anchor, radius, radius);
    } else if (const auto* line = element_.geometry.polyline()) {
      for (const host::Path& path : line->paths) {
        painter->drawPolyline(polygonOf(path));
        host::Point middle;
        double angle = 0.0;
        if (!hasAnchor && pointAlong(path, 0.5, middle, angle)) {
          anchor = screen(middle);
          hasAnchor = true;
        }
        if (symbol.arrow) drawArrow(*painter, path, *symbol.arrow);
      }
    } else if (const auto* polygon = element_.geometry.polygon()) {
      QPainterPath outline;
      for (const host::Ring& ring : polygon->rings) outline.addPolygon(polygonOf(ring));
      painter->setBrush(Qt::NoBrush);
      painter->drawPath(outline);
    }
    if (element_.text && hasAnchor) {
      painter->setPen(toQColor(symbol.color));
      painter->drawText(anchor + QPointF(6.0, -6.0), QString::fromStdString(*element_.text));
    }
    painter->restore();
  }

 private:
  QPointF screen(const host::Point& point) const { return toCanvasCoordinates(QgsPointXY(point.x, point.y)); }
  QPolygonF polygonOf(const std::vector<host::Point>& points) const {
    QPolygonF result;
    for (const host::Point& point : points) result << screen(point);
    return result;
  }
  void drawArrow(QPainter& painter, const host::Path& path, const host::ArrowMarker& arrow) const {
    host::Point at;
    double mapAngle = 0.0;
    if (!pointAlong(path, arrow.position, at, mapAngle)) return;
    const double size = arrow.size * kPixelsPerPoint;
    const double angle = -mapAngle;  // screen y grows downwards
    const QPointF tip = screen(at);
    const auto corner = [&](double turn) {
      return tip - QPointF(std::cos(angle + turn) * size, std::sin(angle + turn) * size);
    };
    constexpr double kHalfOpening = 0.4;  // radians either side of the line
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(toQColor(arrow.color));
    painter.drawPolygon(QPolygonF() << tip << corner(kHalfOpening) << corner(-kHalfOpening));
    painter.restore();
  }

  host::GraphicElement element_;
};

}  // namespace

CanvasGraphics::~CanvasGraphics() {
  for (const auto& entry : items_)
    if (canvas_) delete entry.second;
}

host::ElementId CanvasGraphics::add(host::GraphicElement element) {
  QGraphicsItem* item = canvas_ ? new ElementItem(canvas_.data(), element) : nullptr;
  const host::ElementId id = MemoryGraphicsContainer::add(std::move(element));
  if (item != nullptr) items_.emplace(id, item);
  return id;
}

void CanvasGraphics::remove(host::ElementId id) {
  MemoryGraphicsContainer::remove(id);
  dropItem(id);
}

void CanvasGraphics::dropItem(host::ElementId id) {
  const auto found = items_.find(id);
  if (found == items_.end()) return;
  if (canvas_) delete found->second;  // a gone canvas took its items with its scene
  items_.erase(found);
}

}  // namespace orvex::platform::qgis
