#include "host/form_driver.h"

#include <string>

#include "host/error.h"

namespace orvex::host {

Control& FormDriver::reachable(std::string_view name) {
  Control& control = form_->control(name);
  if (!form_->isReachable(control))
    throw Error(kAccessDenied, "Control '" + control.name() + "' of form '" + form_->name() +
                                   "' cannot be used now (closed form, disabled, hidden or on another page)");
  form_->setFocus(control.name());
  return control;
}

void FormDriver::click(std::string_view name) {
  Control& control = reachable(name);
  switch (control.kind()) {
    case ControlKind::CheckBox:
      control.setChecked(!control.checked());
      break;
    case ControlKind::OptionButton:
      choose(name);
      break;
    default:
      control.press();
      break;
  }
}

void FormDriver::check(std::string_view name, bool checked) {
  Control& control = reachable(name);
  if (control.kind() != ControlKind::CheckBox)
    throw Error(kInvalidArgument, "Control '" + control.name() + "' is not a check box");
  control.setChecked(checked);
}

void FormDriver::choose(std::string_view name) {
  Control& control = reachable(name);
  if (control.kind() != ControlKind::OptionButton)
    throw Error(kInvalidArgument, "Control '" + control.name() + "' is not an option button");
  if (control.checked()) {
    control.press();
  } else {
    control.setChecked(true);
  }
}

void FormDriver::type(std::string_view name, std::string text) {
  Control& control = reachable(name);
  if (control.readOnly())
    throw Error(kAccessDenied,
                "Control '" + control.name() + "' of form '" + form_->name() + "' is read-only");
  control.setText(std::move(text));
}

void FormDriver::select(std::string_view name, std::string_view item) {
  Control& control = form_->control(name);
  const int index = control.findItem(item);
  if (index < 0)
    throw Error(kNotFound, "Control '" + control.name() + "' has no item '" + std::string(item) + "'");
  select(name, index);
}

void FormDriver::select(std::string_view name, int index) {
  Control& control = reachable(name);
  control.setSelectedIndex(index);
}

void FormDriver::slide(std::string_view name, int value) {
  Control& control = reachable(name);
  if (control.kind() != ControlKind::Slider)
    throw Error(kInvalidArgument, "Control '" + control.name() + "' is not a slider");
  control.setValue(value);
}

void FormDriver::focus(std::string_view name) { reachable(name); }

bool FormDriver::showPage(int page) {
  if (!form_->isOpen()) throw Error(kAccessDenied, "Form '" + form_->name() + "' is not open");
  const PageLeave leave = form_->selectPage(page);
  if (!leave.allowed) lastRefusal_ = leave;
  return leave.allowed;
}

bool FormDriver::ok() {
  if (!form_->isOpen()) throw Error(kAccessDenied, "Form '" + form_->name() + "' is not open");
  const PageLeave leave = form_->accept();
  if (!leave.allowed) lastRefusal_ = leave;
  return leave.allowed;
}

void FormDriver::cancel() { form_->cancel(); }

}  // namespace orvex::host
