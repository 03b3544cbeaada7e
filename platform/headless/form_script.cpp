#include "platform/headless/form_script.h"

#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <utility>

#include "host/error.h"
#include "host/form.h"
#include "host/text.h"
#include "platform/common/form_driver.h"

namespace orvex::platform::headless {
namespace {

struct ActionName {
  FormAction action;
  std::string_view name;
  bool hasControl;
};

constexpr std::array<ActionName, 10> kActionNames{{
    {FormAction::Click, "click", true},
    {FormAction::Check, "check", true},
    {FormAction::Choose, "choose", true},
    {FormAction::Type, "type", true},
    {FormAction::Select, "select", true},
    {FormAction::Slide, "slide", true},
    {FormAction::Focus, "focus", true},
    {FormAction::Page, "page", false},
    {FormAction::Ok, "ok", false},
    {FormAction::Cancel, "cancel", false},
}};

[[noreturn]] void badStep(std::string_view text, std::string_view why) {
  throw host::Error(host::kInvalidArgument,
                    "Form step '" + std::string(text) + "' cannot be read: " + std::string(why));
}

const ActionName* findAction(std::string_view name) {
  for (const auto& entry : kActionNames)
    if (host::iequals(entry.name, name)) return &entry;
  return nullptr;
}

std::string_view actionName(FormAction action) {
  for (const auto& entry : kActionNames)
    if (entry.action == action) return entry.name;
  return "?";
}

/// A whole number making up the whole text; nothing otherwise.
std::optional<int> wholeNumber(std::string_view text) {
  text = host::trim(text);
  int value = 0;
  const auto* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

int requireNumber(const host::Form& form, const FormStep& step) {
  const auto number = wholeNumber(step.value);
  if (!number)
    throw host::Error(host::kInvalidArgument,
                      "Form '" + form.name() + "': step '" + formatFormStep(step) + "' needs a whole number");
  return *number;
}

bool requireFlag(const host::Form& form, const FormStep& step) {
  const std::string value = host::toLowerAscii(host::trim(step.value));
  if (value == "1" || value == "true" || value == "yes" || value == "on") return true;
  if (value == "0" || value == "false" || value == "no" || value == "off") return false;
  throw host::Error(host::kInvalidArgument,
                    "Form '" + form.name() + "': step '" + formatFormStep(step) + "' needs 1 or 0");
}

}  // namespace

FormScript& FormScript::click(std::string control) {
  return add({std::move(control), FormAction::Click, {}});
}
FormScript& FormScript::check(std::string control, bool checked) {
  return add({std::move(control), FormAction::Check, checked ? "1" : "0"});
}
FormScript& FormScript::choose(std::string control) {
  return add({std::move(control), FormAction::Choose, {}});
}
FormScript& FormScript::type(std::string control, std::string text) {
  return add({std::move(control), FormAction::Type, std::move(text)});
}
FormScript& FormScript::select(std::string control, std::string item) {
  return add({std::move(control), FormAction::Select, std::move(item)});
}
FormScript& FormScript::slide(std::string control, int value) {
  return add({std::move(control), FormAction::Slide, std::to_string(value)});
}
FormScript& FormScript::focus(std::string control) {
  return add({std::move(control), FormAction::Focus, {}});
}
FormScript& FormScript::page(int index) { return add({{}, FormAction::Page, std::to_string(index)}); }
FormScript& FormScript::pageOf(std::string control) {
  return add({std::move(control), FormAction::Page, {}});
}
FormScript& FormScript::ok() { return add({{}, FormAction::Ok, {}}); }
FormScript& FormScript::cancel() { return add({{}, FormAction::Cancel, {}}); }
FormScript& FormScript::add(FormStep step) {
  steps_.push_back(std::move(step));
  return *this;
}

FormStep parseFormStep(std::string_view text) {
  const std::string_view whole = text;
  text = host::trim(text);
  FormStep step;
  const auto equals = text.find('=');
  if (equals != std::string_view::npos) {
    step.control = std::string(host::trim(text.substr(0, equals)));
    if (step.control.empty()) badStep(whole, "no control before '='");
    text = text.substr(equals + 1);
  }
  const auto colon = text.find(':');
  const std::string_view name = host::trim(text.substr(0, colon));
  if (colon != std::string_view::npos) step.value = std::string(text.substr(colon + 1));

  const ActionName* action = findAction(name);
  if (action == nullptr) badStep(whole, "unknown action '" + std::string(name) + "'");
  step.action = action->action;
  if (action->hasControl && step.control.empty()) badStep(whole, "the action needs CONTROL=");
  const bool pageOfControl = step.action == FormAction::Page && !step.control.empty();
  if (!action->hasControl && !step.control.empty() && !pageOfControl)
    badStep(whole, "the action takes no control");
  if (pageOfControl && !step.value.empty()) badStep(whole, "CONTROL=page takes no number");
  if (step.action == FormAction::Page && !pageOfControl && !wholeNumber(step.value))
    badStep(whole, "page needs a number");
  return step;
}

std::string formatFormStep(const FormStep& step) {
  std::string text;
  if (!step.control.empty()) text = step.control + "=";
  text += actionName(step.action);
  const bool valued = step.action == FormAction::Check || step.action == FormAction::Type ||
                      step.action == FormAction::Select || step.action == FormAction::Slide ||
                      (step.action == FormAction::Page && step.control.empty());
  if (valued) text += ":" + step.value;
  return text;
}

ScriptOutcome playFormScript(host::Form& form, const FormScript& script, const RefusalFn& onRefusal) {
  ScriptOutcome outcome;
  platform::FormDriver driver(form);
  const auto refused = [&] {
    const std::string& message = driver.lastRefusal().message;
    outcome.refusals.push_back(message);
    if (onRefusal) onRefusal(message);
  };

  for (const FormStep& step : script.steps()) {
    if (!form.isOpen()) break;
    switch (step.action) {
      case FormAction::Click:
        driver.click(step.control);
        break;
      case FormAction::Check:
        driver.check(step.control, requireFlag(form, step));
        break;
      case FormAction::Choose:
        driver.choose(step.control);
        break;
      case FormAction::Type:
        driver.type(step.control, step.value);
        break;
      case FormAction::Select:
        if (step.value.size() > 1 && step.value.front() == '#') {
          const auto index = wholeNumber(std::string_view(step.value).substr(1));
          if (!index)
            throw host::Error(host::kInvalidArgument, "Form '" + form.name() + "': step '" +
                                                          formatFormStep(step) + "' needs an item");
          driver.select(step.control, *index);
        } else {
          driver.select(step.control, std::string_view(step.value));
        }
        break;
      case FormAction::Slide:
        driver.slide(step.control, requireNumber(form, step));
        break;
      case FormAction::Focus:
        driver.focus(step.control);
        break;
      case FormAction::Page:
        // A control names the page it sits on, so a script need not know the page order.
        if (!driver.showPage(step.control.empty() ? requireNumber(form, step)
                                                  : form.control(step.control).page()))
          refused();
        break;
      case FormAction::Ok:
        if (!driver.ok()) refused();
        break;
      case FormAction::Cancel:
        driver.cancel();
        break;
    }
  }
  outcome.leftOpen = form.isOpen();
  return outcome;
}

}  // namespace orvex::platform::headless
