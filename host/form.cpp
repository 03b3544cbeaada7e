#include "host/form.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "host/error.h"
#include "host/text.h"

namespace orvex::host {
namespace {

// Deep enough for handlers that set other controls; a cycle of handlers setting each other
// ends here with an error instead of a stack overflow.
constexpr int kMaxEventDepth = 64;

bool lessIgnoringCase(const std::string& a, const std::string& b) {
  return toLowerAscii(a) < toLowerAscii(b);
}

}  // namespace

Validator integerRange(long minimum, long maximum) {
  return [minimum, maximum](const Control& control) -> std::optional<std::string> {
    const auto number = parseNumber(control.text());
    if (number && *number == std::floor(*number) && *number >= static_cast<double>(minimum) &&
        *number <= static_cast<double>(maximum))
      return std::nullopt;
    return "Please enter an integer between " + std::to_string(minimum) + " and " + std::to_string(maximum) +
           ".";
  };
}

Validator numberRequired() {
  return [](const Control& control) -> std::optional<std::string> {
    if (isNumeric(control.text())) return std::nullopt;
    return std::string("Please enter a number.");
  };
}

// ---------------------------------------------------------------------------------------------
// Control

Control::Control(Form& form, std::string name, ControlKind kind)
    : form_(&form), name_(std::move(name)), kind_(kind) {}

void Control::expect(bool kindMatches, const char* what) const {
  if (!kindMatches)
    throw Error(kInvalidArgument, "Control '" + name_ + "' of form '" + form_->name() + "' has no " + what);
}

void Control::fire(const Handler& handler) { form_->fireGuarded(handler); }

void Control::press() { fire(onClick); }

Control& Control::setCaption(std::string caption) {
  caption_ = std::move(caption);
  return *this;
}

Control& Control::setEnabled(bool enabled) {
  enabled_ = enabled;
  return *this;
}

Control& Control::setVisible(bool visible) {
  visible_ = visible;
  return *this;
}

Control& Control::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  return *this;
}

Control& Control::setMultiLine(bool multiLine) {
  expect(kind_ == ControlKind::TextBox, "multi-line text");
  multiLine_ = multiLine;
  return *this;
}

Control& Control::setContainer(std::string frameName) {
  container_ = std::move(frameName);
  return *this;
}

Control& Control::setPage(int page) {
  page_ = page;
  return *this;
}

Control& Control::setGroup(std::string group) {
  group_ = std::move(group);
  return *this;
}

Control& Control::setText(std::string text, Notify notify) {
  expect(kind_ == ControlKind::TextBox || kind_ == ControlKind::ComboBox, "text");
  if (text == text_) return *this;
  text_ = std::move(text);
  if (notify == Notify::Yes) fire(onChange);
  return *this;
}

Control& Control::setChecked(bool checked, Notify notify) {
  expect(kind_ == ControlKind::CheckBox || kind_ == ControlKind::OptionButton, "checked state");
  if (checked == checked_) return *this;
  checked_ = checked;
  if (checked && kind_ == ControlKind::OptionButton) {
    for (Control* other : form_->controls())
      if (other != this && other->kind_ == ControlKind::OptionButton && other->group() == group() &&
          other->page_ == page_)
        other->checked_ = false;
  }
  if (notify == Notify::Yes) fire(onClick);
  return *this;
}

Control& Control::addItem(std::string item) {
  expect(kind_ == ControlKind::ComboBox || kind_ == ControlKind::ListBox, "list");
  if (!sorted_) {
    items_.push_back(std::move(item));
    return *this;
  }
  const auto at = std::upper_bound(items_.begin(), items_.end(), item, lessIgnoringCase);
  const int index = static_cast<int>(at - items_.begin());
  items_.insert(at, std::move(item));
  if (selectedIndex_ >= index) ++selectedIndex_;
  return *this;
}

Control& Control::clearItems() {
  expect(kind_ == ControlKind::ComboBox || kind_ == ControlKind::ListBox, "list");
  items_.clear();
  selectedIndex_ = -1;
  return *this;
}

Control& Control::setSorted(bool sorted) {
  expect(kind_ == ControlKind::ComboBox || kind_ == ControlKind::ListBox, "list");
  sorted_ = sorted;
  if (sorted_) {
    const std::string chosen = selectedIndex_ >= 0 ? items_[static_cast<std::size_t>(selectedIndex_)] : "";
    std::stable_sort(items_.begin(), items_.end(), lessIgnoringCase);
    if (selectedIndex_ >= 0) selectedIndex_ = findItem(chosen);
  }
  return *this;
}

Control& Control::setSelectedIndex(int index, Notify notify) {
  expect(kind_ == ControlKind::ComboBox || kind_ == ControlKind::ListBox, "list");
  if (index < -1 || index >= static_cast<int>(items_.size()))
    throw Error(error_number::kInvalidPropertyValue,
                "Item " + std::to_string(index) + " is outside the list of '" + name_ + "'");
  if (index == selectedIndex_) return *this;
  selectedIndex_ = index;
  if (kind_ == ControlKind::ComboBox) text_ = index >= 0 ? items_[static_cast<std::size_t>(index)] : "";
  if (notify == Notify::Yes) fire(onClick);
  return *this;
}

int Control::findItem(std::string_view item) const {
  const auto at = std::find(items_.begin(), items_.end(), item);
  return at == items_.end() ? -1 : static_cast<int>(at - items_.begin());
}

Control& Control::setValue(int value, Notify notify) {
  expect(kind_ == ControlKind::Slider || kind_ == ControlKind::ProgressBar, "value");
  if (value < minimum_ || value > maximum_)
    throw Error(error_number::kInvalidPropertyValue, "Value " + std::to_string(value) + " of '" + name_ +
                                                         "' is outside " + std::to_string(minimum_) + ".." +
                                                         std::to_string(maximum_));
  if (value == value_) return *this;
  value_ = value;
  if (notify == Notify::Yes) fire(onChange);
  return *this;
}

Control& Control::setRange(int minimum, int maximum) {
  expect(kind_ == ControlKind::Slider || kind_ == ControlKind::ProgressBar, "range");
  if (minimum > maximum)
    throw Error(
        error_number::kInvalidPropertyValue,
        "Range " + std::to_string(minimum) + ".." + std::to_string(maximum) + " of '" + name_ + "' is empty");
  minimum_ = minimum;
  maximum_ = maximum;
  value_ = std::clamp(value_, minimum_, maximum_);
  return *this;
}

Control& Control::setGrid(GridData grid) {
  expect(kind_ == ControlKind::Grid, "grid");
  grid_ = std::move(grid);
  return *this;
}

Control& Control::setValidator(Validator validator) {
  validator_ = std::move(validator);
  return *this;
}

// ---------------------------------------------------------------------------------------------
// Form

Form::Form(std::string name, std::string caption, FormKind kind)
    : name_(std::move(name)), caption_(std::move(caption)), kind_(kind) {}

Form::~Form() = default;

Control& Form::add(ControlKind kind, std::string name, std::string caption) {
  if (name.empty()) throw Error(kInvalidArgument, "A control of form '" + name_ + "' needs a name");
  if (find(name) != nullptr)
    throw Error(kAlreadyExists, "Form '" + name_ + "' already has a control named '" + name + "'");
  controls_.push_back(std::make_unique<Control>(*this, std::move(name), kind));
  Control& control = *controls_.back();
  control.setCaption(std::move(caption));
  return control;
}

int Form::addPage(std::string caption) {
  pages_.push_back(std::move(caption));
  return static_cast<int>(pages_.size()) - 1;
}

const std::string& Form::pageCaption(int page) const {
  if (page < 0 || page >= pageCount())
    throw Error(error_number::kSubscriptOutOfRange,
                "Form '" + name_ + "' has no page " + std::to_string(page));
  return pages_[static_cast<std::size_t>(page)];
}

Control& Form::control(std::string_view name) {
  if (Control* found = find(name)) return *found;
  throw Error(kNotFound, "Form '" + name_ + "' has no control named '" + std::string(name) + "'");
}

const Control& Form::control(std::string_view name) const { return const_cast<Form*>(this)->control(name); }

Control* Form::find(std::string_view name) {
  for (const auto& control : controls_)
    if (control->name() == name) return control.get();
  return nullptr;
}

std::vector<Control*> Form::controls() const {
  std::vector<Control*> out;
  out.reserve(controls_.size());
  for (const auto& control : controls_) out.push_back(control.get());
  return out;
}

void Form::fireGuarded(const std::function<void()>& handler) {
  if (!handler) return;
  if (eventDepth_ >= kMaxEventDepth)
    throw Error(kUnexpected, "Events of form '" + name_ + "' keep firing each other");
  // A copy: the handler may replace itself while it runs.
  const std::function<void()> call = handler;
  ++eventDepth_;
  try {
    call();
  } catch (...) {
    --eventDepth_;
    throw;
  }
  --eventDepth_;
}

void Form::load() {
  if (isOpen()) return;
  loaded_ = true;
  closed_ = false;
  result_ = dialog_result::kNone;
  currentPage_ = pages_.empty() ? -1 : 0;
  focused_.clear();
  fireGuarded(onLoad);
}

void Form::close(int result) {
  if (!isOpen()) return;
  result_ = result;
  closed_ = true;
  fireGuarded(onUnload);
}

PageLeave Form::requestPageLeave() {
  for (Control* control : controls()) {
    if (control->page() != currentPage_ || !control->validator()) continue;
    if (auto message = control->validator()(*control)) {
      setFocus(control->name());
      return PageLeave{false, std::move(*message), control->name()};
    }
  }
  if (onPageLeave) {
    const auto ask = onPageLeave;
    if (!ask(currentPage_)) return PageLeave{false, {}, {}};
  }
  return {};
}

PageLeave Form::selectPage(int page) {
  if (page < 0 || page >= pageCount())
    throw Error(error_number::kSubscriptOutOfRange,
                "Form '" + name_ + "' has no page " + std::to_string(page));
  if (page == currentPage_) return {};
  PageLeave leave = requestPageLeave();
  if (!leave.allowed) return leave;
  const int previous = currentPage_;
  currentPage_ = page;
  if (onPageChanged) {
    const auto changed = onPageChanged;
    fireGuarded([&] { changed(previous); });
  }
  return {};
}

PageLeave Form::accept() {
  if (!isOpen()) return {};
  PageLeave leave = requestPageLeave();
  if (!leave.allowed) return leave;
  if (onAccept) {
    const auto ask = onAccept;
    if (!ask()) return PageLeave{false, {}, {}};
  }
  close(dialog_result::kOk);
  return {};
}

void Form::cancel() {
  if (!isOpen()) return;
  fireGuarded(onCancel);
  close(dialog_result::kCancel);
}

void Form::setFocus(std::string_view name) {
  if (name == focused_) return;
  Control& next = control(name);
  if (Control* previous = find(focused_)) {
    focused_.clear();
    fireGuarded(previous->onLostFocus);
  }
  focused_ = next.name();
  fireGuarded(next.onGotFocus);
}

bool Form::isReachable(const Control& control) const {
  if (!isOpen() || !control.enabled() || !control.visible()) return false;
  if (control.page() >= 0 && control.page() != currentPage_) return false;
  // Walk the frames around the control; a cycle of containers counts as unreachable.
  std::string container = control.container();
  for (std::size_t steps = 0; !container.empty(); ++steps) {
    if (steps > controls_.size()) return false;
    const Control* frame = const_cast<Form*>(this)->find(container);
    if (frame == nullptr) break;
    if (!frame->enabled() || !frame->visible()) return false;
    container = frame->container();
  }
  return true;
}

}  // namespace orvex::host
