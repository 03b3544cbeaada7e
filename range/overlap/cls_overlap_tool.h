#pragma once
// The "Home Range Overlap" menu command: opens the overlap dialog.

#include <memory>
#include <string>

#include "range/shell/range_command.h"

namespace orvex::range {

/// Command "ORVEX_OVERLAP" (ProgID "ORVEX.clsOverlapTool"), category "ORVEX Range": a click shows frmOVERLAP
/// (RangeCommand).
class clsOverlapTool final : public RangeCommand {
 public:
  std::string name() const override { return "ORVEX_OVERLAP"; }
  std::string caption() const override { return "Home Range Overlap"; }
  std::string tooltip() const override { return "Overlap indices between every pair of UDs"; }

 private:
  std::unique_ptr<host::Form> MakeDialog(host::Application& application,
                                         std::shared_ptr<host::Map> map) const override;
};

}  // namespace orvex::range
