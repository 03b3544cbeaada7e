#include "core/kernel/kernel_fixes.h"

#include <cmath>

#include "core/data/orvex_utility.h"

namespace orvex::core {

std::vector<KernelFix> usableFixes(std::span<const host::Feature> features) {
  std::vector<KernelFix> fixes;
  for (const host::Feature& feature : features) {
    if (feature.featureType() != host::FeatureType::Simple) continue;
    const host::Point* point = feature.shape().point();
    if (point == nullptr || point->isEmpty()) continue;
    const auto x = static_cast<float>(point->x);
    const auto y = static_cast<float>(point->y);
    if (!std::isfinite(x) || !std::isfinite(y)) continue;

    KernelFix fix{x, y, std::nullopt};
    std::string animal;
    if (host::succeeded(readTextValue(feature, kAnimalIdField, animal))) fix.animalId = std::move(animal);
    fixes.push_back(std::move(fix));
  }
  return fixes;
}

void loadKernelEngine(KernelEngine& engine, std::span<const KernelFix> fixes) {
  for (const KernelFix& fix : fixes) {
    engine.Add_Point(fix.x, fix.y);
    if (fix.animalId) engine.set_animal_id(*fix.animalId);
  }
  engine.stdize(KernelEngine::STD_Unit);
}

}  // namespace orvex::core
