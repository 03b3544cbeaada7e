#include "core/data/host_failure.h"

#include "host/text.h"

namespace orvex::core {

std::string hostFailureText(std::string_view text, std::string_view source, int line) {
  // The source name is a short identifier and the text may hold '%': neither goes through a
  // format string.
  std::string result(text);
  result += '\n';
  result += source;
  result += host::cformat("(%d)", line);
  return result;
}

host::Status reportHostFailure(host::UiServices& ui, const HostFailure& failure, std::string_view source,
                               int line) {
  ui.messageBox(hostFailureText(failure.text, source, line));
  return host::failed(failure.status) ? failure.status : host::kFail;
}

host::Status reportHostFailure(host::UiServices& ui, const host::Error& error, std::string_view source,
                               int line) {
  return reportHostFailure(ui, HostFailure::from(error), source, line);
}

}  // namespace orvex::core
