#pragma once
// The "LoCoH Home Range" menu command: opens the LoCoH dialog.

#include <memory>
#include <string>

#include "range/shell/range_command.h"

namespace orvex::range {

/// Command "ORVEX_LOCOH" (ProgID "ORVEX.clsLOCOHTool"), category "ORVEX Range": a click shows frmLOCOH
/// (RangeCommand).
class clsLOCOHTool final : public RangeCommand {
 public:
  std::string name() const override { return "ORVEX_LOCOH"; }
  std::string caption() const override { return "LoCoH Home Range"; }
  std::string tooltip() const override { return "Local convex hull home ranges (k, r or a)"; }

 private:
  std::unique_ptr<host::Form> MakeDialog(host::Application& application,
                                         std::shared_ptr<host::Map> map) const override;
};

}  // namespace orvex::range
