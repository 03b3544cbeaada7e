#include "host/graphics.h"

#include <algorithm>

namespace orvex::host {

ElementId MemoryGraphicsContainer::add(GraphicElement element) {
  const ElementId id = nextId_++;
  elements_.emplace_back(id, std::move(element));
  return id;
}

void MemoryGraphicsContainer::remove(ElementId id) {
  elements_.erase(std::remove_if(elements_.begin(), elements_.end(),
                                 [id](const auto& entry) { return entry.first == id; }),
                  elements_.end());
}

std::vector<std::pair<ElementId, GraphicElement>> MemoryGraphicsContainer::elements() const {
  return elements_;
}

}  // namespace orvex::host
