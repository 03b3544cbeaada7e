#pragma once

#include <string>
#include <string_view>

#include "host/form.h"

namespace orvex::platform {

/// Acts on a form the way a person does, firing the same events in the same order: the
/// scripted user interface of the command-line host and of tests.
///
/// Every action first moves the focus to the control (onLostFocus of the previous one,
/// onGotFocus), then changes the value and fires the event. Acting on a control a person
/// could not reach (`Form::isReachable` false, or a read-only text) throws `Error`
/// (kAccessDenied) naming the form and the control; acting on a missing control throws
/// (kNotFound).
class FormDriver {
 public:
  explicit FormDriver(host::Form& form) : form_(&form) {}

  /// Presses a button (onClick).
  void click(std::string_view name);
  /// Clicks a check box when its state differs from `checked` (toggle and onClick).
  void check(std::string_view name, bool checked);
  /// Clicks an option button: it becomes the chosen one of its group and onClick fires, also
  /// when it was chosen already (a person's click always fires).
  void choose(std::string_view name);
  /// Replaces the text of a text box or of a combo box's typing field (one onChange).
  void type(std::string_view name, std::string text);
  /// Chooses a list or combo box item by its text (exact); throws `Error` (kNotFound) when no
  /// item has that text.
  void select(std::string_view name, std::string_view item);
  /// Chooses by index.
  void select(std::string_view name, int index);
  /// Moves a slider (onChange when the value changes).
  void slide(std::string_view name, int value);
  /// Gives the focus to a control.
  void focus(std::string_view name);

  /// Chooses a page or tab; false when the current page refused to be left (the refusal is in
  /// `lastRefusal()`).
  bool showPage(int page);
  /// Property sheet OK (`Form::accept`); false when refused.
  bool ok();
  /// Property sheet Cancel or closing the window.
  void cancel();

  /// The last refused page change or OK.
  const host::PageLeave& lastRefusal() const { return lastRefusal_; }

 private:
  host::Control& reachable(std::string_view name);

  host::Form* form_;
  host::PageLeave lastRefusal_;
};

}  // namespace orvex::platform
