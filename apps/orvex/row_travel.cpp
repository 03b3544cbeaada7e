#include "apps/orvex/row_travel.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "apps/orvex/global_options.h"
#include "apps/orvex/row_mcp_groups.h"
#include "host/geometry.h"
#include "host/table.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {

namespace {

/// The design's message of a value or a position missing (an error 94 while the fields are
/// computed) names neither the row nor the field.
constexpr std::string_view kMissingValueError = "Error number: 94";

/// The first fix, in the order the command reads them, without a position or with an empty
/// "Time2": its FID and what is missing; empty when there is none.
std::string firstMissingValue(const host::FeatureClass& featureClass) {
  const auto cursor = featureClass.search();
  while (const auto feature = cursor->next()) {
    const std::string fid = "FID " + std::to_string(feature->oid());
    const host::Point* point = feature->shape().point();
    if (point == nullptr || point->isEmpty()) return fid + " has no position";
    const int time2 = feature->findField("Time2");
    if (time2 >= 0 && feature->value(time2).isEmpty()) return fid + ": the field \"Time2\" is empty";
  }
  return {};
}

class TravelSubcommand final : public Subcommand {
 public:
  TravelSubcommand() : Subcommand(kTravelProgId) {}
  void declare(CLI::App& sub, CommandArgs& args) override {
    sub.add_option("--by", args.text("by"),
                   "The field that tells the animals apart (e.g. AnimalID): intervals and cumulative sums "
                   "restart at each animal, whose fixes are taken in time order");
  }
  void script(const CommandArgs& args, platform::headless::HeadlessApplication& application) override {
    if (args.given("by")) nameAnimalField(application, args.textOf("by"));
  }
  int report(const CommandArgs& args, platform::headless::HeadlessApplication& application,
             int exitCode) override;
};

int TravelSubcommand::report(const CommandArgs& args, platform::headless::HeadlessApplication& application,
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
  // A stop on a message after the answer: two fixes of one time is the design's stop, which
  // keeps the fixes before it (the layer was changed, and is reported as the output of a run
  // that did not finish); any other (no UTM coordinate system, a fix without a position) is a
  // failure that changes nothing.
  const bool stopped = question + 1 != messages.size();
  if (stopped && !messages[question + 1].message.text.starts_with(kTravelSameTime)) {
    discardEdits();
    const std::filesystem::path path =
        args.files.size() == 1 ? std::filesystem::absolute(args.files.front()) : std::filesystem::path();
    std::string reason = messages[question + 1].message.text;
    for (char& c : reason) c = c == '\n' || c == '\r' ? ' ' : c;
    const auto layer = std::dynamic_pointer_cast<host::FeatureLayer>(application.document()->selectedLayer());
    if (reason.ends_with(kMissingValueError) && layer && layer->featureClass())
      if (const std::string missing = firstMissingValue(*layer->featureClass()); !missing.empty())
        reason += " (" + missing + ")";
    application.runRecord().failure({.item = path.empty() ? std::string("the run") : path.filename().string(),
                                     .reason = reason + "; nothing was changed in it",
                                     .path = path});
    return kExitCommandFailed;
  }
  const auto layer = std::dynamic_pointer_cast<host::FeatureLayer>(application.document()->selectedLayer());
  const auto featureClass = layer ? layer->featureClass() : nullptr;
  if (featureClass) {
    const int fixes = featureClass->featureCount();
    if (!stopped)
      std::cout << layer->name() << ": travel fields written for " << fixes
                << (fixes == 1 ? " fix\n" : " fixes\n");
    // The command edits its layer in place: the file given is the output.
    const std::filesystem::path path =
        args.files.size() == 1 ? std::filesystem::absolute(args.files.front()) : std::filesystem::path();
    application.runRecord().output(
        {.path = path, .kind = host::OutputKind::Shapefile, .layer = layer->name(), .features = fixes});
  }
  if (stopped) return kExitCommandFailed;
  return exitCode;
}

}  // namespace

std::unique_ptr<Subcommand> makeTravelSubcommand() { return std::make_unique<TravelSubcommand>(); }

}  // namespace orvex::cli
