#include "ui/command/ui_commands.h"

#include "host/error.h"
#include "host/text.h"
#include "ui/gis/host_references.h"

namespace orvex::ui::command {
namespace {

// The named rows themselves, not copies: callers compare rows by address.
constexpr const UiCommandProperties* kRows[] = {&kKdeToolCommand, &kObsCommand,  &kDupTime2Command,
                                                &kDupXyCommand,   &kMoleCommand, &kAboutCommand};

}  // namespace

std::span<const UiCommandProperties* const> UiCommands() { return kRows; }

const UiCommandProperties* FindUiCommand(std::string_view classOrProgId) {
  for (const UiCommandProperties* row : kRows)
    if (host::iequals(row->className, classOrProgId) || host::iequals(row->progId, classOrProgId)) return row;
  return nullptr;
}

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
