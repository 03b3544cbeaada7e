#pragma once

// What a person would do with a form, written down in advance: the scripted user interface
// of the command line and of the tests shows a form by playing its script through
// platform::FormDriver, so the form's own event handlers do the work exactly as they do for a
// person.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::host {
class Form;
}

namespace orvex::platform::headless {

enum class FormAction {
  Click,   ///< press a button, toggle a check box, choose an option
  Check,   ///< value "1" ticks a check box, "0" clears it (one click when it differs)
  Choose,  ///< choose an option button (its click fires also when it is chosen already)
  Type,    ///< replace the text of a text box or of a combo box's typing field
  Select,  ///< choose a list or combo item by its text; "#<n>" chooses item n (from 0)
  Slide,   ///< move a slider to the whole number in the value
  Focus,   ///< give the control the focus (fires the focus events)
  Page,    ///< choose the page or tab whose index (from 0) is the value
  Ok,      ///< the property sheet's OK (the leave check and the validators run first)
  Cancel,  ///< cancel, or close the window by its frame
};

/// One action on one control. `control` is empty for Page, Ok and Cancel.
struct FormStep {
  std::string control;
  FormAction action = FormAction::Click;
  std::string value;
  bool operator==(const FormStep&) const = default;
};

/// The steps played on a form when it is shown, in order. The builder functions return the
/// script so that a subcommand writes one line per control:
///
///   FormScript().type("txtPct", "95,90").select("cmbStyle", "Fixed Median").click("btnOK");
class FormScript {
 public:
  FormScript& click(std::string control);
  FormScript& check(std::string control, bool checked);
  FormScript& choose(std::string control);
  FormScript& type(std::string control, std::string text);
  FormScript& select(std::string control, std::string item);
  FormScript& slide(std::string control, int value);
  FormScript& focus(std::string control);
  FormScript& page(int index);
  /// Shows the page (or tab) that `control` sits on, looked up when the script is played; a
  /// control the form does not have fails the script.
  FormScript& pageOf(std::string control);
  FormScript& ok();
  FormScript& cancel();
  FormScript& add(FormStep step);

  const std::vector<FormStep>& steps() const { return steps_; }
  bool empty() const { return steps_.empty(); }

 private:
  std::vector<FormStep> steps_;
};

/// Reads a step written "CONTROL=ACTION[:VALUE]" ("txtBW=type:120", "btnOK=click",
/// "chkBnds=check:1"), "CONTROL=page" for the page a control sits on, or "ok", "cancel" and
/// "page:N" for the steps without a control. Action
/// names are those of `FormAction`, letter case ignored. Throws host::Error
/// (kInvalidArgument) quoting the text when it is not such a step.
FormStep parseFormStep(std::string_view text);

/// The text form of a step, as `parseFormStep` reads it.
std::string formatFormStep(const FormStep& step);

/// How a played script ended.
struct ScriptOutcome {
  /// Messages of refused page changes and OKs (the validator's text, or empty when a handler
  /// kept the page open), in the order they happened; the form stayed open each time.
  std::vector<std::string> refusals;
  /// True when the form was still open after the last step.
  bool leftOpen = false;
};

/// Called with the message of each refused page change or OK as it happens (a person would
/// see it in a message box before acting again).
using RefusalFn = std::function<void(const std::string& message)>;

/// Plays `script` on an open form, stopping early when a step closes it. A step the form
/// cannot take (a control a person could not reach, a missing control or item, a value of the
/// wrong kind) throws host::Error naming the form and the control; the form is then left as
/// it is.
ScriptOutcome playFormScript(host::Form& form, const FormScript& script, const RefusalFn& onRefusal = {});

}  // namespace orvex::platform::headless
