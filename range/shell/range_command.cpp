#include "range/shell/range_command.h"

#include "host/application.h"

namespace orvex::range {

host::Status RangeCommand::onClick() {
  if (application_ == nullptr) return host::kFail;
  const std::unique_ptr<host::Form> dialog = MakeDialog(*application_, application_->document()->focusMap());
  application_->ui().showModal(*dialog);
  return host::kOk;
}

}  // namespace orvex::range
