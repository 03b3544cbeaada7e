#include "platform/headless/scripted_ui.h"

#include <array>
#include <istream>
#include <iterator>
#include <ostream>
#include <span>
#include <utility>

#include "host/form.h"
#include "host/text.h"
#include "platform/common/output_path.h"

namespace orvex::platform::headless {
namespace {

using host::MessageAnswer;
using host::MessageButtons;

/// A prompt is repeated this many times for answers it cannot read before the default wins.
constexpr int kPromptAttempts = 3;

struct ButtonWord {
  MessageAnswer answer;
  std::string_view word;
};

std::vector<ButtonWord> buttonsOf(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok:
      return {{MessageAnswer::Ok, "ok"}};
    case MessageButtons::OkCancel:
      return {{MessageAnswer::Ok, "ok"}, {MessageAnswer::Cancel, "cancel"}};
    case MessageButtons::YesNo:
      return {{MessageAnswer::Yes, "yes"}, {MessageAnswer::No, "no"}};
    case MessageButtons::YesNoCancel:
      return {{MessageAnswer::Yes, "yes"}, {MessageAnswer::No, "no"}, {MessageAnswer::Cancel, "cancel"}};
    case MessageButtons::RetryCancel:
      return {{MessageAnswer::Retry, "retry"}, {MessageAnswer::Cancel, "cancel"}};
    case MessageButtons::AbortRetryIgnore:
      return {{MessageAnswer::Abort, "abort"},
              {MessageAnswer::Retry, "retry"},
              {MessageAnswer::Ignore, "ignore"}};
  }
  return {{MessageAnswer::Ok, "ok"}};
}

std::string_view wordOf(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::Ok:
      return "ok";
    case MessageAnswer::Cancel:
      return "cancel";
    case MessageAnswer::Yes:
      return "yes";
    case MessageAnswer::No:
      return "no";
    case MessageAnswer::Retry:
      return "retry";
    case MessageAnswer::Abort:
      return "abort";
    case MessageAnswer::Ignore:
      return "ignore";
  }
  return "ok";
}

/// The button a typed reply names: a whole word or an unambiguous beginning of one.
std::optional<MessageAnswer> readReply(std::string_view reply, std::span<const ButtonWord> buttons) {
  const std::string typed = host::toLowerAscii(host::trim(reply));
  if (typed.empty()) return std::nullopt;
  std::optional<MessageAnswer> match;
  for (const ButtonWord& button : buttons) {
    if (button.word == typed) return button.answer;
    if (button.word.starts_with(typed)) {
      if (match) return std::nullopt;  // ambiguous
      match = button.answer;
    }
  }
  return match;
}

std::filesystem::path absoluteOf(const std::filesystem::path& path) {
  std::error_code ignored;
  auto absolute = std::filesystem::absolute(path, ignored);
  return absolute.empty() ? path : absolute.lexically_normal();
}

/// The front of a queue of answers, taken off it; nothing when the queue is empty.
template <class Answer>
std::optional<Answer> takeFront(std::deque<Answer>& queue) {
  if (queue.empty()) return std::nullopt;
  std::optional<Answer> front(std::move(queue.front()));
  queue.pop_front();
  return front;
}

std::vector<std::filesystem::path> pathsOf(const std::optional<std::filesystem::path>& path) {
  return path ? std::vector{*path} : std::vector<std::filesystem::path>{};
}

std::string_view dialogWord(DialogKind kind) {
  switch (kind) {
    case DialogKind::Save:
      return "Save dialog";
    case DialogKind::Open:
      return "Open dialog";
    case DialogKind::Folder:
      return "Folder dialog";
  }
  return "Dialog";
}

}  // namespace

host::MessageAnswer defaultAnswer(host::MessageButtons buttons) {
  if (buttons == MessageButtons::RetryCancel) return MessageAnswer::Cancel;
  return buttonsOf(buttons).front().answer;
}

ScriptedUi::ScriptedUi(std::ostream& out, std::string defaultTitle)
    : out_(&out), defaultTitle_(std::move(defaultTitle)) {}

void ScriptedUi::queueSaveAnswer(std::optional<std::filesystem::path> answer) {
  saveQueue_.push_back(std::move(answer));
}

void ScriptedUi::queueOpenAnswer(std::vector<std::filesystem::path> answer) {
  openQueue_.push_back(std::move(answer));
}

void ScriptedUi::queueFolderAnswer(std::optional<std::filesystem::path> answer) {
  folderQueue_.push_back(std::move(answer));
}

void ScriptedUi::setFormScript(std::string formName, FormScript script) {
  standingScripts_[std::move(formName)] = std::move(script);
}

void ScriptedUi::queueFormScript(std::string formName, FormScript script) {
  queuedScripts_[std::move(formName)].push_back(std::move(script));
}

void ScriptedUi::postEvent(std::function<void()> event) { events_.push_back(std::move(event)); }

void ScriptedUi::clearRecords() {
  messages_.clear();
  dialogs_.clear();
  forms_.clear();
}

void ScriptedUi::printLine(const std::string& line) {
  if (beforePrint_) beforePrint_();
  *out_ << line << '\n' << std::flush;
}

std::string ScriptedUi::titleOf(const std::optional<std::string>& title) const {
  return title ? *title : defaultTitle_;
}

host::MessageAnswer ScriptedUi::show(const host::Message& message) {
  const std::string title = titleOf(message.title);
  printLine(title.empty() ? message.text : title + ": " + message.text);
  const MessageAnswer given = answer(message);
  messages_.push_back({message, given});
  return given;
}

host::MessageAnswer ScriptedUi::answer(const host::Message& message) {
  const bool yesNo =
      message.buttons == MessageButtons::YesNo || message.buttons == MessageButtons::YesNoCancel;
  if (yesNo && policy_ == ChoicePolicy::Yes) return MessageAnswer::Yes;
  if (yesNo && policy_ == ChoicePolicy::No) return MessageAnswer::No;
  if (message.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (auto person = askPerson(message.buttons)) return *person;
  return defaultAnswer(message.buttons);
}

std::optional<host::MessageAnswer> ScriptedUi::askPerson(host::MessageButtons buttons) {
  if (promptInput_ == nullptr) return std::nullopt;
  const std::vector<ButtonWord> words = buttonsOf(buttons);
  std::string choices;
  for (const ButtonWord& button : words) choices += (choices.empty() ? "" : "/") + std::string(button.word);
  const MessageAnswer fallback = defaultAnswer(buttons);

  for (int attempt = 0; attempt < kPromptAttempts; ++attempt) {
    if (beforePrint_) beforePrint_();
    *out_ << "(" << choices << ") [" << wordOf(fallback) << "]: " << std::flush;
    std::string reply;
    if (!std::getline(*promptInput_, reply)) {
      *out_ << '\n';
      return fallback;  // the person's input ended: nobody left to ask
    }
    if (host::trim(reply).empty()) return fallback;
    if (auto chosen = readReply(reply, words)) return chosen;
  }
  return fallback;
}

std::optional<std::filesystem::path> ScriptedUi::saveFile(const host::FileDialogOptions& options) {
  const auto answer = saveAnswers_
                          ? std::make_optional<std::optional<std::filesystem::path>>(saveAnswers_(options))
                          : takeFront(saveQueue_);
  std::optional<std::filesystem::path> chosen = answer.value_or(std::nullopt);
  if (chosen) chosen = absoluteOf(host::withDefaultExtension(*chosen, options.defaultExtension));
  if (chosen) {
    const auto mayReplace = [&] {
      if (saveAnswers_ || !asksBeforeReplacing_ || !options.overwritePrompt || policy_ == ChoicePolicy::Yes)
        return true;
      std::error_code error;
      if (policy_ == ChoicePolicy::No || promptInput_ == nullptr || !std::filesystem::exists(*chosen, error))
        return false;
      printLine(chosen->string() + " already exists. Do you want to replace it?");
      return askPerson(MessageButtons::YesNo).value_or(MessageAnswer::No) == MessageAnswer::Yes;
    };
    if (const auto refusal = platform::outputRefusal(*chosen, inputs_, mayReplace())) {
      printLine(std::string(options.title.empty() ? dialogWord(DialogKind::Save) : options.title) + ": " +
                chosen->string() + " " + *refusal);
      if (outputRefused_) outputRefused_(*chosen, *refusal);
      chosen.reset();
    }
  }
  recordDialog(DialogKind::Save, options.title, pathsOf(chosen), answer.has_value());
  return chosen;
}

std::vector<std::filesystem::path> ScriptedUi::openFiles(const host::FileDialogOptions& options) {
  const auto answer = takeFront(openQueue_);
  std::vector<std::filesystem::path> chosen = answer.value_or(std::vector<std::filesystem::path>{});
  for (auto& path : chosen) path = absoluteOf(path);
  if (!options.allowMultiple && chosen.size() > 1) chosen.resize(1);
  recordDialog(DialogKind::Open, options.title, chosen, answer.has_value());
  return chosen;
}

std::optional<std::filesystem::path> ScriptedUi::browseFolder(const host::FolderDialogOptions& options) {
  const auto answer = takeFront(folderQueue_);
  std::optional<std::filesystem::path> chosen = answer.value_or(std::nullopt);
  if (chosen) chosen = absoluteOf(*chosen);
  recordDialog(DialogKind::Folder, options.title, pathsOf(chosen), answer.has_value());
  return chosen;
}

void ScriptedUi::recordDialog(DialogKind kind, const std::string& title,
                              std::vector<std::filesystem::path> chosen, bool answered) {
  dialogs_.push_back({kind, title, std::move(chosen)});
  if (!answered)
    printLine(std::string(title.empty() ? dialogWord(kind) : title) +
              (kind == DialogKind::Folder ? ": no folder given; cancelled" : ": no file given; cancelled"));
}

const FormScript* ScriptedUi::scriptFor(const std::string& formName, FormScript& oneTime) {
  if (auto queued = queuedScripts_.find(formName);
      queued != queuedScripts_.end() && !queued->second.empty()) {
    oneTime = std::move(queued->second.front());
    queued->second.pop_front();
    return &oneTime;
  }
  if (auto standing = standingScripts_.find(formName); standing != standingScripts_.end())
    return &standing->second;
  return nullptr;
}

int ScriptedUi::showModal(host::Form& form) {
  form.load();
  const std::size_t recordIndex = forms_.size();
  forms_.push_back({form.name(), form.caption(), form.result()});
  const auto finish = [&] {
    forms_[recordIndex].result = form.result();
    if (formClosed_) formClosed_(form);
    return form.result();
  };
  if (!form.isOpen()) return finish();  // the form closed itself while loading

  FormScript oneTime;
  const FormScript* script = scriptFor(form.name(), oneTime);
  const std::string label = form.caption().empty() ? form.name() : form.caption();
  if (script == nullptr) {
    printLine(label + ": no answers given; cancelled");
    form.cancel();
    return finish();
  }
  try {
    if (formShown_) formShown_(form);
    const auto refusal = [&](const std::string& text) {
      if (!text.empty()) show(host::Message{text, label, MessageButtons::Ok, host::MessageIcon::Exclamation});
    };
    if (playFormScript(form, *script, refusal).leftOpen) {
      printLine(label + ": still open after its answers; cancelled");
      form.cancel();
    }
  } catch (...) {
    // The form must not stay open behind an error: nobody could close it.
    if (form.isOpen()) form.cancel();
    forms_[recordIndex].result = form.result();
    throw;
  }
  return finish();
}

void ScriptedUi::showModeless(host::Form& form) {
  if (!form.isOpen()) form.load();
}

void ScriptedUi::hide(host::Form& form) { (void)form; }

void ScriptedUi::processPendingEvents() {
  // Only the events waiting now: one posted by a handler waits for the next call, as a click
  // made during a handler waits for the next pass of a message loop.
  std::deque<std::function<void()>> waiting;
  waiting.swap(events_);
  while (!waiting.empty()) {
    auto event = std::move(waiting.front());
    waiting.pop_front();
    try {
      if (event) event();
    } catch (...) {
      // Events not yet run stay waiting, ahead of those posted meanwhile.
      events_.insert(events_.begin(), std::make_move_iterator(waiting.begin()),
                     std::make_move_iterator(waiting.end()));
      throw;
    }
  }
}

}  // namespace orvex::platform::headless
