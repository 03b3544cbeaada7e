#include "apps/orvex/row_travel.h"

#include <iostream>

#include "apps/orvex/cli.h"
#include "host/table.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {

int afterTravel(const CommandArgs& /*args*/, platform::headless::HeadlessApplication& application,
                int exitCode) {
  const auto& messages = application.scriptedUi().messages();
  std::size_t question = messages.size();
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].message.title == kTravelQuestionTitle) question = i;
  }
  if (question == messages.size()) return kExitCommandFailed;  // refused before asking
  if (messages[question].answer != host::MessageAnswer::Yes) {
    std::cout << "Nothing was changed.\n";
    return exitCode;
  }
  if (question + 1 != messages.size()) return kExitCommandFailed;  // stopped on a message

  const auto layer = std::dynamic_pointer_cast<host::FeatureLayer>(application.document()->selectedLayer());
  const auto featureClass = layer ? layer->featureClass() : nullptr;
  if (featureClass) {
    const int fixes = featureClass->featureCount();
    std::cout << layer->name() << ": travel fields written for " << fixes
              << (fixes == 1 ? " fix\n" : " fixes\n");
  }
  return exitCode;
}

int runTravel(const CommandArgs& args, const GlobalOptions& global) {
  return runHostedCommand(kTravelProgId, args, global, nullptr, &afterTravel);
}

}  // namespace orvex::cli
