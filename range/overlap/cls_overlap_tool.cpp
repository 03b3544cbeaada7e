#include "range/overlap/cls_overlap_tool.h"

#include "range/overlap/frm_overlap.h"

namespace orvex::range {

host::Status clsOverlapTool::onClick() {
  if (application_ == nullptr) return host::kFail;
  frmOVERLAP dialog(*application_, application_->document()->focusMap());
  application_->ui().showModal(dialog);
  return host::kOk;
}

}  // namespace orvex::range
