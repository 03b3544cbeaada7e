#pragma once
// The "Kernel Density Estimation" menu command: opens the KDE dialog.

#include <memory>
#include <optional>
#include <string>

#include "host/application.h"
#include "host/command.h"
#include "host/component.h"
#include "host/map.h"

namespace orvex::ui {

/// Command "ORVEX_KDE" (ProgID "ORVEX.clsKDETool"), category "ORVEX9"; caption, tooltip and
/// status-bar message "Kernel Density Estimation". Always enabled, never checked, no bitmap,
/// help file "" and help context 0.
///
/// Creation keeps the application, its document, the document's focus map and the extension
/// registered as "ORVEX9.clsKDE" (normally none). A click refreshes the library's shared host
/// references and shows the KDE dialog modally on the shared focus map; the dialog reports its
/// own failures, so a click returns kOk unless the host itself fails (host::Error).
class clsKDETool final : public host::Command {
 public:
  static constexpr const char* kName = "ORVEX_KDE";
  static constexpr const char* kCaption = "Kernel Density Estimation";
  static constexpr const char* kCategory = "ORVEX9";
  static constexpr const char* kExtensionUid = "ORVEX9.clsKDE";

  clsKDETool();
  ~clsKDETool() override;

  std::string name() const override { return kName; }
  std::string caption() const override { return kCaption; }
  std::string tooltip() const override { return kCaption; }
  std::string message() const override { return kCaption; }
  std::string category() const override { return kCategory; }
  std::optional<std::string> helpFile() const override { return std::string(); }
  std::optional<int> helpContextId() const override { return 0; }

  void onCreate(host::Application& application) override;
  host::Status onClick() override;

 private:
  host::Application* application_ = nullptr;
  std::shared_ptr<host::Document> document_;
  std::shared_ptr<host::Map> map_;
  std::shared_ptr<host::Component> extension_;
};

}  // namespace orvex::ui
