#pragma once

// The host's user-interface services with the texts of the message boxes shown during a run
// kept: the design's in-place commands tell how a run ended only by their messages, and the
// host decides from them whether the run's edits stand.

#include <string>
#include <vector>

#include "host/ui_services.h"

namespace orvex::platform::qgis {

class MessageWatch final : public host::UiServices {
 public:
  /// `ui` shows everything; it must outlive the watch.
  explicit MessageWatch(host::UiServices& ui) : ui_(ui) {}

  host::MessageAnswer show(const host::Message& message) override {
    shown_.push_back(message.text);
    return ui_.show(message);
  }
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions& options) override {
    return ui_.saveFile(options);
  }
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions& options) override {
    return ui_.openFiles(options);
  }
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions& options) override {
    return ui_.browseFolder(options);
  }
  int showModal(host::Form& form) override { return ui_.showModal(form); }
  void showModeless(host::Form& form) override { ui_.showModeless(form); }
  void hide(host::Form& form) override { ui_.hide(form); }
  void processPendingEvents() override { ui_.processPendingEvents(); }

  /// The texts of the message boxes shown since the last `clear`, in order.
  const std::vector<std::string>& shown() const { return shown_; }
  void clear() { shown_.clear(); }

 private:
  host::UiServices& ui_;
  std::vector<std::string> shown_;
};

}  // namespace orvex::platform::qgis
