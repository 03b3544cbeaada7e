#include "range/locoh/cls_locoh_tool.h"

#include "range/locoh/frm_locoh.h"

namespace orvex::range {

std::unique_ptr<host::Form> clsLOCOHTool::MakeDialog(host::Application& application,
                                                     std::shared_ptr<host::Map> map) const {
  return std::make_unique<frmLOCOH>(application, std::move(map));
}

}  // namespace orvex::range
