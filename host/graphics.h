#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/geometry.h"

namespace orvex::host {

struct Color {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Color&) const = default;
};

/// An arrow marker drawn along a line, pointing in the line's direction of travel.
struct ArrowMarker {
  Color color{255, 0, 0};
  double size = 12.0;     ///< points
  double position = 0.5;  ///< 0 = line start, 1 = line end
  bool operator==(const ArrowMarker&) const = default;
};

/// How a graphic element is drawn.
struct Symbol {
  Color color{0, 0, 0};
  double width = 1.0;  ///< line width or marker size, in points
  std::optional<ArrowMarker> arrow{};
  bool operator==(const Symbol&) const = default;
};

/// A graphic on the map: a geometry in map coordinates, its symbol and optional text.
struct GraphicElement {
  Geometry geometry{};
  Symbol symbol{};
  std::optional<std::string> text{};
};

using ElementId = std::uint64_t;

/// The graphics drawn over a map view, in drawing order. Changes become visible at the next
/// refresh of the view (`ActiveView::refresh` or a graphics-phase partial refresh).
class GraphicsContainer {
 public:
  virtual ~GraphicsContainer();

  /// Adds on top; returns an id (never 0).
  virtual ElementId add(GraphicElement element) = 0;
  /// Removes one element; unknown ids are ignored.
  virtual void remove(ElementId id) = 0;
  /// The elements in drawing order, with their ids.
  virtual std::vector<std::pair<ElementId, GraphicElement>> elements() const = 0;
  virtual int count() const = 0;
};

/// A graphics container held in memory; what a host without a display of its own uses, and
/// what a desktop host can render from.
class MemoryGraphicsContainer : public GraphicsContainer {
 public:
  ElementId add(GraphicElement element) override;
  void remove(ElementId id) override;
  std::vector<std::pair<ElementId, GraphicElement>> elements() const override;
  int count() const override { return static_cast<int>(elements_.size()); }

 private:
  std::vector<std::pair<ElementId, GraphicElement>> elements_;
  ElementId nextId_ = 1;
};

}  // namespace orvex::host
