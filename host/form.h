#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::host {

class Form;

/// The kinds of control a form is made of.
enum class ControlKind {
  Button,
  CheckBox,
  OptionButton,  ///< radio button; one of its group is chosen
  TextBox,
  ComboBox,  ///< a typing field with a drop-down list
  ListBox,
  Label,
  Slider,
  ProgressBar,
  Grid,   ///< a read-only table of text cells
  Frame,  ///< a captioned container of other controls
};

/// Whether a setter fires the control's event.
enum class Notify { Yes, No };

enum class FormKind {
  Dialog,         ///< one page; its own buttons close it
  PropertySheet,  ///< pages shown one at a time, with the host's OK and Cancel
};

/// Results a form closes with. Forms may use further values of their own (100 and above).
namespace dialog_result {
inline constexpr int kNone = 0;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace dialog_result

/// Cells of a grid control: column headings and rows of text.
struct GridData {
  std::vector<std::string> columns{};
  std::vector<std::vector<std::string>> rows{};
  bool operator==(const GridData&) const = default;
};

class Control;

/// Checks a control's value when the user leaves its page or accepts the form; returns the
/// message to show when the value is refused.
using Validator = std::function<std::optional<std::string>(const Control&)>;

/// A whole number from `minimum` to `maximum`, surrounding blanks allowed; refused with
/// "Please enter an integer between <minimum> and <maximum>.".
Validator integerRange(long minimum, long maximum);
/// Any decimal number (`isNumeric`); refused with "Please enter a number.".
Validator numberRequired();

/// One control of a form, addressed by its name ("chkRescale", "txtBW", "btnOK").
///
/// Setters that change a value fire the control's event when `Notify::Yes` is given and the
/// value actually changes, the way the controls behave when a program sets them: `setChecked`
/// and `setSelectedIndex` fire `onClick`, `setText` and `setValue` fire `onChange`. Setters work
/// whatever the enabled state; only user actions (`FormDriver`, a host's renderer) are refused
/// on controls a person could not reach.
///
/// A setter used on a kind of control that has no such value throws `Error`
/// (kInvalidArgument) naming the control.
class Control {
 public:
  using Handler = std::function<void()>;

  Control(Form& form, std::string name, ControlKind kind);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Events: the form's behaviour lives in these handlers.
  Handler onClick{};      ///< button pressed; check box toggled; option chosen; list item chosen
  Handler onChange{};     ///< text edited or set; slider moved
  Handler onGotFocus{};   ///< the control received the focus
  Handler onLostFocus{};  ///< the control lost the focus

  const std::string& name() const { return name_; }
  ControlKind kind() const { return kind_; }
  Form& form() const { return *form_; }

  /// Fires onClick without changing any value (a program pressing a button, or a click on an
  /// option that is already chosen).
  void press();

  const std::string& caption() const { return caption_; }
  Control& setCaption(std::string caption);
  bool enabled() const { return enabled_; }
  Control& setEnabled(bool enabled);
  bool visible() const { return visible_; }
  Control& setVisible(bool visible);
  /// A read-only text box or combo box can be focused but not typed into.
  bool readOnly() const { return readOnly_; }
  Control& setReadOnly(bool readOnly);
  /// A multi-line text box shows its text's line breaks and scrolls; set before a host renders
  /// the form (TextBox only).
  bool multiLine() const { return multiLine_; }
  Control& setMultiLine(bool multiLine);
  /// Name of the frame holding the control; empty at form level. A control is reachable only
  /// when every frame around it is enabled and visible.
  const std::string& container() const { return container_; }
  Control& setContainer(std::string frameName);
  /// Page (property sheet page or tab) the control is on; -1 for controls outside the pages.
  int page() const { return page_; }
  Control& setPage(int page);
  /// Option buttons of the same group exclude each other. By default the group is the
  /// container's name (options in one frame form a group); options in different frames can
  /// share a group by naming it.
  const std::string& group() const { return group_.empty() ? container_ : group_; }
  Control& setGroup(std::string group);

  /// TextBox, ComboBox (the typing field).
  const std::string& text() const { return text_; }
  Control& setText(std::string text, Notify notify = Notify::Yes);

  /// CheckBox, OptionButton. Checking an option unchecks the others of its group, without
  /// events for them.
  bool checked() const { return checked_; }
  Control& setChecked(bool checked, Notify notify = Notify::Yes);

  /// ComboBox, ListBox. A sorted list inserts items in order, letter case ignored.
  const std::vector<std::string>& items() const { return items_; }
  Control& addItem(std::string item);
  Control& clearItems();
  bool sorted() const { return sorted_; }
  Control& setSorted(bool sorted);
  /// -1 when nothing is chosen.
  int selectedIndex() const { return selectedIndex_; }
  /// Chooses item `index` (-1: none); a combo box's text becomes the item's. Throws `Error`
  /// (kInvalidPropertyValue) for an index outside -1..items-1.
  Control& setSelectedIndex(int index, Notify notify = Notify::Yes);
  /// Index of the item equal to `item`, -1 when none.
  int findItem(std::string_view item) const;

  /// Slider, ProgressBar. Values outside the range throw `Error` (kInvalidPropertyValue).
  int value() const { return value_; }
  Control& setValue(int value, Notify notify = Notify::Yes);
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  /// Sets the range (minimum <= maximum) and clamps the value into it without an event.
  Control& setRange(int minimum, int maximum);

  /// Grid.
  const GridData& grid() const { return grid_; }
  Control& setGrid(GridData grid);

  const Validator& validator() const { return validator_; }
  Control& setValidator(Validator validator);

 private:
  void expect(bool kindMatches, const char* what) const;
  void fire(const Handler& handler);

  Form* form_;
  std::string name_;
  ControlKind kind_;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  bool readOnly_ = false;
  bool multiLine_ = false;
  std::string container_;
  int page_ = -1;
  std::string group_;
  std::string text_;
  bool checked_ = false;
  std::vector<std::string> items_;
  bool sorted_ = false;
  int selectedIndex_ = -1;
  int value_ = 0;
  int minimum_ = 0;
  int maximum_ = 100;
  GridData grid_;
  Validator validator_;
};

/// The answer to a request to leave the current page (or accept the form).
struct PageLeave {
  bool allowed = true;
  std::string message{};  ///< a validator's message; empty when a handler kept the page open
  std::string control{};  ///< the refused control; it has the focus afterwards
};

/// A dialog as a model: named controls, their state, and the handlers that implement the
/// dialog's behaviour. A host renders a form and routes a person's actions to the same events
/// `FormDriver` fires; it never re-implements the behaviour.
///
/// Life: build (add controls, set handlers) -> `load()` (fires onLoad; the host does this when
/// it shows the form) -> user actions -> `close(result)` (fires onUnload) . A closed form can be
/// loaded again.
class Form {
 public:
  explicit Form(std::string name, std::string caption = {}, FormKind kind = FormKind::Dialog);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }
  const std::string& caption() const { return caption_; }
  void setCaption(std::string caption) { caption_ = std::move(caption); }
  FormKind kind() const { return kind_; }

  // Building.

  /// Adds a control; names are unique within the form (throws `Error` (kAlreadyExists)).
  Control& add(ControlKind kind, std::string name, std::string caption = {});
  /// Adds a page (a property sheet page or a tab) and returns its index (0, 1, ...).
  int addPage(std::string caption);
  int pageCount() const { return static_cast<int>(pages_.size()); }
  const std::string& pageCaption(int page) const;

  // Lookup.

  /// Throws `Error` (kNotFound) naming the form and the control when there is no such control.
  Control& control(std::string_view name);
  const Control& control(std::string_view name) const;
  /// Null when there is no such control.
  Control* find(std::string_view name);
  /// Every control in the order added.
  std::vector<Control*> controls() const;

  // Form events.

  std::function<void()> onLoad;
  std::function<void()> onUnload;
  /// Asked before the current page is left (another page chosen, or OK); false keeps the page
  /// open.
  std::function<bool(int page)> onPageLeave;
  /// After the current page changed; receives the page that was left.
  std::function<void(int previousPage)> onPageChanged;
  /// Property sheet OK, after the current page agreed to be left; false keeps the form open.
  std::function<bool()> onAccept;
  /// Property sheet Cancel, or the window closed by its frame.
  std::function<void()> onCancel;

  // State and transitions.

  bool isLoaded() const { return loaded_; }
  /// Loaded and not closed since.
  bool isOpen() const { return loaded_ && !closed_; }
  /// Makes the form open on its first page (-1 without pages), clears the result and fires
  /// onLoad. Does nothing when the form is already open.
  void load();
  /// Stores the result, fires onUnload and leaves the form closed. Does nothing when the form
  /// is not open.
  void close(int result);
  int result() const { return result_; }

  int currentPage() const { return currentPage_; }
  /// Runs the validators of the controls on the current page (in the order added), then
  /// onPageLeave. The first refusal wins; a refused control receives the focus.
  PageLeave requestPageLeave();
  /// Changes to `page` when the current page may be left; fires onPageChanged(previous).
  /// Choosing the current page does nothing and succeeds.
  PageLeave selectPage(int page);
  /// OK of a property sheet (or of a dialog that validates its fields): leave check, then
  /// onAccept, then `close(dialog_result::kOk)`.
  PageLeave accept();
  /// Fires onCancel, then `close(dialog_result::kCancel)`.
  void cancel();

  /// Name of the control with the focus; empty when none.
  const std::string& focused() const { return focused_; }
  /// Moves the focus: onLostFocus of the previous control, then onGotFocus of the new one.
  /// Focusing the focused control does nothing.
  void setFocus(std::string_view name);

  /// True when a person could act on the control now: the form is open, the control and every
  /// frame around it are enabled and visible, and it is on the current page (or on none).
  bool isReachable(const Control& control) const;

 private:
  friend class Control;
  void fireGuarded(const std::function<void()>& handler);

  std::string name_;
  std::string caption_;
  FormKind kind_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::string> pages_;
  bool loaded_ = false;
  bool closed_ = false;
  int result_ = dialog_result::kNone;
  int currentPage_ = -1;
  std::string focused_;
  int eventDepth_ = 0;
};

}  // namespace orvex::host
