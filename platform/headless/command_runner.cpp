#include "platform/headless/command_runner.h"

#include "host/application.h"
#include "host/command.h"
#include "host/registry.h"

namespace orvex::platform::headless {

host::Status runCommand(const host::ComponentRegistry& registry, host::Application& application,
                        std::string_view progId) {
  const auto command = registry.createAs<host::Command>(progId);
  command->onCreate(application);
  const host::Status status = command->onClick();
  // Whatever a click leaves on the status bar is over once it returns.
  application.statusBar().hideProgress();
  return status;
}

}  // namespace orvex::platform::headless
