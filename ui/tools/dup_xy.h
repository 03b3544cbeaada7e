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
  static constexpr const char* kName = "RemoveDupsByxy";
  static constexpr const char* kCaption = "Remove X/Y Duplicates";
  static constexpr const char* kTooltip = "Finds and Removes Duplicate points.";
  static constexpr const char* kMessage = "Finds and Removes Duplicate points using the xy field.";
  /// The tolerance the host's equality uses for shapes without a coordinate system.
  static constexpr double kDefaultTolerance = 0.001;

  FindDupxy();

  std::string name() const override { return kName; }
  std::string caption() const override { return kCaption; }
  std::string tooltip() const override { return kTooltip; }
  std::string message() const override { return kMessage; }

  /// The click's work: checks the selected layer (a point layer), then finds and deletes the
  /// duplicates among its selected features (`CalcFeatures`).
  void FindandRemoveDupsByxy() { findAndRemove(); }

 protected:
  bool suits(const host::FeatureClass& featureClass) const override;
  void collect(const host::Feature& feature) override;
  std::vector<host::ObjectId> duplicates() override;
  void clear() override { fixes_.clear(); }

 private:
  std::vector<PlacedFix> fixes_;
};

}  // namespace orvex::ui
