#pragma once

// The "Remove X/Y Duplicates" menu command.

#include <vector>

#include "ui/tools/dup_groups.h"
#include "ui/tools/dup_removal.h"

namespace orvex::ui {

/// Command "RemoveDupsByxy" (ProgID "ORVEX.FindDupxy"): deletes selected fixes that lie at the
/// place of another selected fix, places being equal when the host's geometric equality says
/// so (coordinates within the tolerance of the layer's coordinate system). The fixes are
/// visited in selection order; the first one met at a place survives.
class FindDupxy final : public DuplicateRemoval {
 public:
  /// The tolerance the host's equality uses for shapes without a coordinate system.
  static constexpr double kDefaultTolerance = 0.001;

  FindDupxy();

  /// The click's work: checks the selected layer (a point layer), then finds and deletes the
  /// duplicates among its selected features (`CalcFeatures`).
  void FindandRemoveDupsByxy() { FindAndRemove(); }

 protected:
  bool suits(const host::FeatureClass& featureClass) const override;
  void collect(const host::Feature& feature) override;
  std::vector<host::ObjectId> duplicates() override;
  void clear() override { fixes_.clear(); }

 private:
  std::vector<PlacedFix> fixes_;
};

}  // namespace orvex::ui
