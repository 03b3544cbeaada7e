#include "platform/common/form_driver.h"

#include <string>

#include "host/error.h"

namespace orvex::platform {

host::Control& FormDriver::reachable(std::string_view name) {
  host::Control& control = form_->control(name);
  if (!form_->isReachable(control))
    throw host::Error(host::kAccessDenied,
                      "Control '" + control.name() + "' of form '" + form_->name() +
                          "' cannot be used now (closed form, disabled, hidden or on another page)");
  form_->setFocus(control.name());
  return control;
}

void FormDriver::click(std::string_view name) {
  host::Control& control = reachable(name);
  switch (control.kind()) {
    case host::ControlKind::CheckBox:
      control.setChecked(!control.checked());
      break;
    case host::ControlKind::OptionButton:
      choose(name);
      break;
    default:
      control.press();
      break;
  }
}

void FormDriver::check(std::string_view name, bool checked) {
  host::Control& control = reachable(name);
  if (control.kind() != host::ControlKind::CheckBox)
    throw host::Error(host::kInvalidArgument, "Control '" + control.name() + "' is not a check box");
  control.setChecked(checked);
}

void FormDriver::choose(std::string_view name) {
  host::Control& control = reachable(name);
  if (control.kind() != host::ControlKind::OptionButton)
    throw host::Error(host::kInvalidArgument, "Control '" + control.name() + "' is not an option button");
  if (control.checked()) {
    control.press();
  } else {
    control.setChecked(true);
  }
}

void FormDriver::type(std::string_view name, std::string text) {
  host::Control& control = reachable(name);
  if (control.readOnly())
    throw host::Error(host::kAccessDenied,
                      "Control '" + control.name() + "' of form '" + form_->name() + "' is read-only");
  control.setText(std::move(text));
}

void FormDriver::select(std::string_view name, std::string_view item) {
  host::Control& control = form_->control(name);
  const int index = control.findItem(item);
  if (index < 0)
    throw host::Error(host::kNotFound,
                      "Control '" + control.name() + "' has no item '" + std::string(item) + "'");
  select(name, index);
}

void FormDriver::select(std::string_view name, int index) {
  host::Control& control = reachable(name);
  control.setSelectedIndex(index);
}

void FormDriver::slide(std::string_view name, int value) {
  host::Control& control = reachable(name);
  if (control.kind() != host::ControlKind::Slider)
    throw host::Error(host::kInvalidArgument, "Control '" + control.name() + "' is not a slider");
  control.setValue(value);
}

void FormDriver::focus(std::string_view name) { reachable(name); }

bool FormDriver::showPage(int page) {
  if (!form_->isOpen()) throw host::Error(host::kAccessDenied, "Form '" + form_->name() + "' is not open");
  const host::PageLeave leave = form_->selectPage(page);
  if (!leave.allowed) lastRefusal_ = leave;
  return leave.allowed;
}

bool FormDriver::ok() {
  if (!form_->isOpen()) throw host::Error(host::kAccessDenied, "Form '" + form_->name() + "' is not open");
  const host::PageLeave leave = form_->accept();
  if (!leave.allowed) lastRefusal_ = leave;
  return leave.allowed;
}

void FormDriver::cancel() { form_->cancel(); }

}  // namespace orvex::platform
