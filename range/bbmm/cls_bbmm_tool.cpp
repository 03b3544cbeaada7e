#include "range/bbmm/cls_bbmm_tool.h"

#include "host/error.h"
#include "range/bbmm/frm_bbmm.h"

namespace orvex::range {

host::Status clsBBMMTool::onClick() {
  if (application_ == nullptr) return host::kFail;
  frmBBMM dialog(*application_, application_->document()->focusMap());
  application_->ui().showModal(dialog);
  return host::kOk;
}

}  // namespace orvex::range
