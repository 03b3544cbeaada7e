#include "range/locoh/cls_locoh_tool.h"

#include "range/locoh/frm_locoh.h"

namespace orvex::range {

host::Status clsLOCOHTool::onClick() {
  if (application_ == nullptr) return host::kFail;
  frmLOCOH dialog(*application_, application_->document()->focusMap());
  application_->ui().showModal(dialog);
  return host::kOk;
}

}  // namespace orvex::range
