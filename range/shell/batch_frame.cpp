#include "range/shell/batch_frame.h"

#include "host/application.h"

namespace orvex::range {

void RefuseSettings(host::Application& application, const std::string& error) {
  application.ui().messageBox(error, "Error", host::MessageButtons::Ok, host::MessageIcon::Exclamation);
  application.runRecord().failure({.item = "the settings", .reason = error});
}

void ReportRunFailure(host::Application& application, std::string_view tool, const std::string& description) {
  application.ui().messageBox(std::string(tool) + ": " + description, "Error", host::MessageButtons::Ok,
                              host::MessageIcon::Critical);
  application.runRecord().failure({.item = "the run", .reason = description});
}

}  // namespace orvex::range
