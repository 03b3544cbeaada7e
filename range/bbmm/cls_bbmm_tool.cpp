#include "range/bbmm/cls_bbmm_tool.h"

#include "range/bbmm/frm_bbmm.h"

namespace orvex::range {

std::unique_ptr<host::Form> clsBBMMTool::MakeDialog(host::Application& application,
                                                    std::shared_ptr<host::Map> map) const {
  return std::make_unique<frmBBMM>(application, std::move(map));
}

}  // namespace orvex::range
