#pragma once
// The "Brownian Bridge Home Range" menu command: opens the Brownian bridge dialog.

#include <memory>
#include <string>

#include "range/shell/range_command.h"

namespace orvex::range {

/// Command "ORVEX_BBMM" (ProgID "ORVEX.clsBBMMTool"), category "ORVEX Range": a click shows frmBBMM
/// (RangeCommand).
class clsBBMMTool final : public RangeCommand {
 public:
  std::string name() const override { return "ORVEX_BBMM"; }
  std::string caption() const override { return "Brownian Bridge Home Range"; }
  std::string tooltip() const override { return "Brownian bridge utilisation distributions from tracks"; }

 private:
  std::unique_ptr<host::Form> MakeDialog(host::Application& application,
                                         std::shared_ptr<host::Map> map) const override;
};

}  // namespace orvex::range
