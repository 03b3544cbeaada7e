#pragma once

// How the orvexcore commands show a failure of the host: the host's error text followed by
// "\n<source>(<line>)", so that a user's report names the place in the command that met it.

#include <string>
#include <string_view>

#include "host/error.h"
#include "host/status.h"
#include "host/ui_services.h"

namespace orvex::core {

/// A host failure caught at a call site, kept for the caller to report: the failure status and
/// the host's error text.
struct HostFailure {
  host::Status status = host::kFail;
  std::string text{};

  static HostFailure from(const host::Error& error) { return {error.status(), error.description()}; }
};

/// "<text>\n<source>(<line>)": the text of the message box that reports a host failure.
std::string hostFailureText(std::string_view text, std::string_view source, int line);

/// Shows `hostFailureText` in a message box with the host's default title and returns the
/// failure's status (always negative), so a caller can write `return reportHostFailure(...)`.
host::Status reportHostFailure(host::UiServices& ui, const HostFailure& failure, std::string_view source,
                               int line);
host::Status reportHostFailure(host::UiServices& ui, const host::Error& error, std::string_view source,
                               int line);

}  // namespace orvex::core
