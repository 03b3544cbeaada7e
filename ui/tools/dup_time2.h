#pragma once

// The "Remove Time2 Field Duplicates" menu command.

#include <vector>

#include "ui/tools/dup_groups.h"
#include "ui/tools/dup_removal.h"

namespace orvex::ui {

/// Command "RemoveDupsByTime2" (ProgID "ORVEX.FindDupTime2"): deletes selected fixes that
/// share a "Time2" value (read as whole seconds, halves to even, so 10.5 and 9.5 match) with
/// another selected fix. Of each such group only the fix with the highest id survives.
/// A selected fix with an empty "Time2" stops the tool before anything is deleted.
class FIndDupTime2 final : public DuplicateRemoval {
 public:
  FIndDupTime2();

  /// The click's work: checks the selected layer (a point layer with "Time2"), then finds and
  /// deletes the duplicates among its selected features (`CalcFeatures`).
  void FindandRemoveDupsByTime2() { FindAndRemove(); }

 protected:
  bool suits(const host::FeatureClass& featureClass) const override;
  void collect(const host::Feature& feature) override;
  std::vector<host::ObjectId> duplicates() override { return Time2Duplicates(fixes_); }
  void clear() override { fixes_.clear(); }

 private:
  std::vector<TimedFix> fixes_;
};

}  // namespace orvex::ui
