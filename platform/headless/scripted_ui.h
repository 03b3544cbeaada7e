#pragma once

// The user interface of a host without windows: message boxes are printed and answered by
// policy or by a person at a terminal, file and folder dialogs take answers given in advance,
// and forms are shown by playing a script of what a person would do.

#include <deque>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/ui_services.h"
#include "platform/headless/form_script.h"

namespace orvex::platform::headless {

/// How Yes/No questions are answered.
enum class ChoicePolicy {
  Ask,  ///< a person at the terminal when there is one, else the dialog's default
  Yes,  ///< always Yes (the command line's --yes)
  No,   ///< always No (--no)
};

/// A message box as it was shown, with the answer it got.
struct MessageRecord {
  host::Message message;
  host::MessageAnswer answer = host::MessageAnswer::Ok;
};

enum class DialogKind { Save, Open, Folder };

/// A file or folder dialog as it was shown. `answer` is empty when it was cancelled.
struct DialogRecord {
  DialogKind kind = DialogKind::Save;
  std::string title;
  std::vector<std::filesystem::path> answer;
};

/// A form shown modally, and the result it closed with.
struct FormRecord {
  std::string name;
  std::string caption;
  int result = 0;
};

/// The scripted user interface.
///
/// Message boxes: each is printed to the output stream as "<title>: <text>", or the text alone
/// when the title is empty (an absent title is the host's default title), and recorded. A box
/// with a single OK button needs no answer. Yes/No and Yes/No/Cancel questions follow the
/// `ChoicePolicy`; with `Ask`, and for the other button sets always, a person is asked when a
/// prompt input is set, else the dialog's default is taken: the first button (Yes, OK,
/// Abort), except that Retry/Cancel answers Cancel, because an unattended Retry would repeat
/// the failing step for ever.
///
/// File and folder dialogs: the save callback, when set, answers every save dialog; otherwise
/// the next queued answer is used; with neither the dialog counts as cancelled and a line saying so is
/// printed. An answered path is made absolute, and a save answer gets the dialog's default
/// extension when its name has none. A save answer is refused (the dialog cancelled, with a
/// printed note) when `outputRefusal` refuses it: one of the protected inputs' files is never
/// an output. Giving a path in advance is taken as the person's confirmation that an existing
/// file may be replaced, unless `setAsksBeforeReplacing(true)`: then a queued answer naming an
/// existing file of a dialog that asks before overwriting replaces it only with Yes by the
/// policy or a person (an answer function decides that itself).
///
/// Forms: `showModal` loads the form and plays the script set for its name (queued one-time
/// scripts first, then the standing one). Refusals by validators are shown as message boxes
/// titled with the form's caption. A form without a script, or still open after its script,
/// is closed as cancelled with a printed note, since nobody could ever close it otherwise.
class ScriptedUi final : public host::UiServices {
 public:
  using SaveAnswerFn = std::function<std::optional<std::filesystem::path>(const host::FileDialogOptions&)>;

  /// Prints to `out`, which must outlive the object. `defaultTitle` stands for absent titles.
  explicit ScriptedUi(std::ostream& out, std::string defaultTitle);

  void setChoicePolicy(ChoicePolicy policy) { policy_ = policy; }
  ChoicePolicy choicePolicy() const { return policy_; }
  /// A person who answers prompts written to the output stream; null: nobody (the default).
  void setPromptInput(std::istream* in) { promptInput_ = in; }
  /// Called before anything is printed (the progress bar gives up its line).
  void setBeforePrint(std::function<void()> hook) { beforePrint_ = std::move(hook); }

  // Answers given in advance. A queued nothing (std::nullopt, or an empty list) cancels.
  void queueSaveAnswer(std::optional<std::filesystem::path> answer);
  void setSaveAnswers(SaveAnswerFn answers) { saveAnswers_ = std::move(answers); }
  void queueOpenAnswer(std::vector<std::filesystem::path> answer);
  void queueFolderAnswer(std::optional<std::filesystem::path> answer);
  /// The input files of the run, which no save answer may name (see outputRefusal).
  void setProtectedInputs(std::vector<std::filesystem::path> inputs) { inputs_ = std::move(inputs); }
  /// Told of each save answer refused, with the reason (a host records it as a failed item).
  using OutputRefusedFn = std::function<void(const std::filesystem::path& file, const std::string& reason)>;
  void setOutputRefused(OutputRefusedFn hook) { outputRefused_ = std::move(hook); }
  /// Whether a queued save answer naming an existing file needs a Yes (see the class).
  void setAsksBeforeReplacing(bool asks) { asksBeforeReplacing_ = asks; }

  /// The script played every time a form of that name is shown (replaces an earlier one).
  void setFormScript(std::string formName, FormScript script);
  /// A script played once, at the next showing of that form, before the standing one.
  void queueFormScript(std::string formName, FormScript script);

  /// Called with every form `showModal` plays a script on, once it is loaded and before the
  /// script plays, so that a recorder can follow what the form shows while it runs (an
  /// animation of a display). An exception from the hook cancels the form and propagates.
  void setFormShownHook(std::function<void(host::Form&)> hook) { formShown_ = std::move(hook); }

  /// Called with every form `showModal` showed, once it is closed, while its controls still
  /// hold what the form showed and what its script left in them (a report of the form).
  /// Not called when the script fails.
  void setFormClosedHook(std::function<void(const host::Form&)> hook) { formClosed_ = std::move(hook); }

  /// An action run at the next `processPendingEvents` (a click arriving while a command
  /// waits, such as a Stop button).
  void postEvent(std::function<void()> event);

  const std::vector<MessageRecord>& messages() const { return messages_; }
  const std::vector<DialogRecord>& dialogs() const { return dialogs_; }
  const std::vector<FormRecord>& forms() const { return forms_; }
  void clearRecords();

  /// Prints one line as the message boxes are printed (notes of the host itself).
  void printLine(const std::string& line);

  host::MessageAnswer show(const host::Message& message) override;
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions& options) override;
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions& options) override;
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions& options) override;
  int showModal(host::Form& form) override;
  void showModeless(host::Form& form) override;
  void hide(host::Form& form) override;
  void processPendingEvents() override;

 private:
  host::MessageAnswer answer(const host::Message& message);
  std::optional<host::MessageAnswer> askPerson(host::MessageButtons buttons);
  std::string titleOf(const std::optional<std::string>& title) const;
  const FormScript* scriptFor(const std::string& formName, FormScript& oneTime);
  /// Records a file or folder dialog; one that got no answer is cancelled, with a printed note.
  void recordDialog(DialogKind kind, const std::string& title, std::vector<std::filesystem::path> chosen,
                    bool answered);

  std::ostream* out_;
  std::string defaultTitle_;
  ChoicePolicy policy_ = ChoicePolicy::Ask;
  std::istream* promptInput_ = nullptr;
  std::vector<std::filesystem::path> inputs_;
  OutputRefusedFn outputRefused_;
  bool asksBeforeReplacing_ = false;
  std::function<void()> beforePrint_;

  std::deque<std::optional<std::filesystem::path>> saveQueue_;
  SaveAnswerFn saveAnswers_;
  std::deque<std::vector<std::filesystem::path>> openQueue_;
  std::deque<std::optional<std::filesystem::path>> folderQueue_;

  std::map<std::string, FormScript> standingScripts_;
  std::map<std::string, std::deque<FormScript>> queuedScripts_;
  std::deque<std::function<void()>> events_;
  std::function<void(host::Form&)> formShown_;
  std::function<void(const host::Form&)> formClosed_;

  std::vector<MessageRecord> messages_;
  std::vector<DialogRecord> dialogs_;
  std::vector<FormRecord> forms_;
};

/// The dialog's own default answer for a button set (see `ScriptedUi`).
host::MessageAnswer defaultAnswer(host::MessageButtons buttons);

}  // namespace orvex::platform::headless
