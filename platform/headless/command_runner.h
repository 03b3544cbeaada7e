#pragma once

// Running a registered command in the headless host, once, as a person's click would.

#include <string_view>

#include "host/status.h"

namespace orvex::host {
class Application;
class ComponentRegistry;
}  // namespace orvex::host

namespace orvex::platform::headless {

/// Creates the command `progId` (ProgID or braced CLSID) from `registry`, hands it the
/// application (`onCreate`), clicks it once and returns the click's status. The command is
/// destroyed before the function returns, so it never outlives the application.
///
/// Throws host::Error: (kClassNotRegistered) for an unknown ProgID, (kNoInterface) when the
/// class is not a command, and whatever the command lets escape.
host::Status runCommand(const host::ComponentRegistry& registry, host::Application& application,
                        std::string_view progId);

}  // namespace orvex::platform::headless
