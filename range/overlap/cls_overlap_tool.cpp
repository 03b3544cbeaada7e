#include "range/overlap/cls_overlap_tool.h"

#include "range/overlap/frm_overlap.h"

namespace orvex::range {

std::unique_ptr<host::Form> clsOverlapTool::MakeDialog(host::Application& application,
                                                       std::shared_ptr<host::Map> map) const {
  return std::make_unique<frmOVERLAP>(application, std::move(map));
}

}  // namespace orvex::range
