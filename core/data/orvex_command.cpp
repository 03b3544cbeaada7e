#include "core/data/orvex_command.h"

#include "host/error.h"

namespace orvex::core {

OrvexCommand::OrvexCommand(const CommandDescriptor& descriptor)
    : descriptor_(&descriptor), bitmap_(commandBitmap(descriptor.bitmapResource)) {}

void OrvexCommand::onCreate(host::Application& application) {
  context_.setApplication(application);
  try {
    (void)application.document();
  } catch (const host::Error&) {
    // Reported by the refresh at the start of the first click.
  }
}

}  // namespace orvex::core
