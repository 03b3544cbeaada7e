#include "ui/command/ui_commands.h"

#include "host/error.h"
#include "ui/gis/host_references.h"

namespace orvex::ui::command {

// The kept references are released with the command.
UiCommand::~UiCommand() {
  if (application_ != nullptr) gis::ReleaseHostReferences(*application_);
}

void UiCommand::onCreate(host::Application& application) {
  application_ = &application;
  if (properties_->kept == KeptReferences::Application) return;
  document_ = application.document();
  if (properties_->kept == KeptReferences::ApplicationAndDocument) return;
  focusMap_ = document_ ? document_->focusMap() : nullptr;
  extension_ = application.findExtension(properties_->extensionUid);
}

host::Application& UiCommand::application() const {
  if (application_ == nullptr)
    throw host::Error(host::kUnexpected,
                      "The command " + std::string(properties_->name) + " was clicked before it was created");
  return *application_;
}

}  // namespace orvex::ui::command
