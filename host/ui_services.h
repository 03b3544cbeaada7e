#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/run_record.h"

namespace orvex::host {

class Form;

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

/// A modal message box. An absent title lets the host use its default title; an empty title
/// shows no title text.
struct Message {
  std::string text{};
  std::optional<std::string> title{};
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
};

/// Options of the open and save file dialogs.
struct FileDialogOptions {
  std::string title{};
  /// Pairs "description|patterns" joined by '|', patterns separated by ';':
  /// "Shapefiles (*.shp)|*.shp", "Text files (*.txt)|*.txt|All files (*.*)|*.*".
  std::string filter{};
  int filterIndex = 1;             ///< 1-based
  std::string defaultExtension{};  ///< without the point ("shp"); added to a name without one
  std::string defaultName{};
  std::filesystem::path initialFolder{};
  bool overwritePrompt = false;  ///< save: ask before replacing an existing file
  bool hideReadOnly = false;
  bool pathMustExist = false;
  bool fileMustExist = false;  ///< open: only existing files
  bool allowMultiple = false;  ///< open: several files
  /// save: what the file will hold (its layer, the animal, percentage or h it is for), as the
  /// command knows it; a scripted host names the file from these, never from the title.
  std::string layer{};
  RecordValues values{};
};

struct FolderDialogOptions {
  std::string title{};
  std::filesystem::path initialFolder{};
};

/// Modal dialogs and the event loop of the host's user interface. A desktop host shows real
/// dialogs; the scripted host (command line, tests) answers from a script.
class UiServices {
 public:
  virtual ~UiServices();

  /// Shows a modal message box and returns the button chosen.
  virtual MessageAnswer show(const Message& message) = 0;
  MessageAnswer messageBox(std::string text, std::optional<std::string> title = std::nullopt,
                           MessageButtons buttons = MessageButtons::Ok,
                           MessageIcon icon = MessageIcon::None) {
    return show(Message{std::move(text), std::move(title), buttons, icon});
  }

  /// The path chosen, with the default extension added when the name had none; nothing when
  /// cancelled.
  virtual std::optional<std::filesystem::path> saveFile(const FileDialogOptions& options) = 0;
  /// The chosen files in the dialog's order; empty when cancelled.
  virtual std::vector<std::filesystem::path> openFiles(const FileDialogOptions& options) = 0;
  /// The full path of the chosen folder; nothing when cancelled.
  virtual std::optional<std::filesystem::path> browseFolder(const FolderDialogOptions& options) = 0;

  /// Shows a form modally: loads it (`Form::load`), lets the user work with it until it is
  /// closed and returns `Form::result()`. A form that closes itself while loading returns at
  /// once. Closing the window by its frame counts as `Form::cancel()`.
  virtual int showModal(Form& form) = 0;
  /// Shows a form without blocking (the progress window); loads it first when needed.
  virtual void showModeless(Form& form) = 0;
  /// Hides a modeless form (it stays loaded).
  virtual void hide(Form& form) = 0;

  /// Handles waiting user-interface events (repaints, clicks on a running dialog's Stop
  /// button), then returns.
  virtual void processPendingEvents() = 0;
};

/// The host's clock.
class Clock {
 public:
  virtual ~Clock();

  virtual std::chrono::system_clock::time_point now() const = 0;
  /// Returns after `duration` has passed on this clock, processing user-interface events
  /// while it waits (so a Stop button pressed meanwhile is handled).
  virtual void wait(std::chrono::milliseconds duration) = 0;
};

/// `path` with "." + `extension` appended when its file name has no extension and `extension`
/// is not empty.
std::filesystem::path withDefaultExtension(const std::filesystem::path& path, std::string_view extension);

}  // namespace orvex::host
