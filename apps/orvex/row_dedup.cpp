#include "apps/orvex/row_dedup.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "apps/orvex/global_options.h"
#include "apps/orvex/row_mcp_groups.h"
#include "host/environment.h"
#include "host/error.h"
#include "host/table.h"
#include "host/text.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

constexpr std::string_view kDeletedPrefix = "Deleted ";

/// A selected feature as it was before the click.
struct NotedFeature {
  host::ObjectId id = host::kNoObjectId;
  std::string description;
};

std::string describe(const host::Feature& feature) {
  std::string text = "FID " + std::to_string(feature.oid());
  const host::Point* point = feature.shape().point();
  text += point != nullptr && !point->isEmpty()
              ? " (" + host::numberText(point->x) + ", " + host::numberText(point->y)
              : std::string(" (no position");
  const int time2 = feature.findField("Time2");
  if (time2 >= 0) {
    const host::Value& value = feature.value(time2);
    text += "; Time2 " + (value.isEmpty() ? std::string("empty") : value.toText());
  }
  return text + ")";
}

std::shared_ptr<host::FeatureLayer> selectedFeatureLayer(
    platform::headless::HeadlessApplication& application) {
  return std::dynamic_pointer_cast<host::FeatureLayer>(application.document()->selectedLayer());
}

/// A private folder holding copies of the files a dry run works on; removed with the object.
class DryRunCopies {
 public:
  /// Copies `file` and its companion files (same folder, same name before the extension:
  /// .shx, .dbf, .prj, .cpg ...) and returns the copy of `file`. Files of the same name from
  /// different folders go to separate subfolders.
  std::filesystem::path copy(const std::filesystem::path& file) {
    const std::filesystem::path target = folder_.path() / std::to_string(copies_++);
    std::filesystem::create_directories(target);
    if (!std::filesystem::exists(file))
      throw host::Error(host::kFileNotFound, "file not found: " + file.string());
    const std::filesystem::path source = std::filesystem::absolute(file);
    for (const auto& entry : std::filesystem::directory_iterator(source.parent_path())) {
      if (entry.is_regular_file() && entry.path().stem() == source.stem())
        std::filesystem::copy_file(entry.path(), target / entry.path().filename());
    }
    return target / source.filename();
  }

 private:
  host::ScratchFolder folder_{"orvex-dry-run-"};
  int copies_ = 0;
};

/// The duplicate-removal commands: the selected features are noted before the click, so that
/// the report can say which of them the click deleted.
class DedupSubcommand final : public Subcommand {
 public:
  explicit DedupSubcommand(std::string_view progId) : Subcommand(progId) {}
  void declare(CLI::App& sub, CommandArgs& args) override;
  void script(const CommandArgs& args, platform::headless::HeadlessApplication& application) override;
  int report(const CommandArgs& args, platform::headless::HeadlessApplication& application,
             int exitCode) override;
  int run(const CommandArgs& args, const GlobalOptions& global) override;

 private:
  /// One click; its report is printed only once the edit is committed: a write-back that
  /// fails deletes nothing, and nothing may be said to be deleted.
  int clickAndReport(const CommandArgs& args, const GlobalOptions& global) {
    deletions_.str({});
    const int exitCode = clickOnce(args, global);
    std::cout << deletions_.str();
    return exitCode;
  }

  std::vector<NotedFeature> noted_;
  std::ostringstream deletions_;
};

int DedupSubcommand::run(const CommandArgs& args, const GlobalOptions& global) {
  if (!args.flagOf("dry-run")) return clickAndReport(args, global);
  DryRunCopies copies;
  CommandArgs onCopies = args;
  for (std::string& file : onCopies.files) {
    const std::filesystem::path original = file;
    file = copies.copy(original).string();
  }
  std::cerr << "orvex: dry run on copies; nothing given is changed\n";
  return clickAndReport(onCopies, global);
}

}  // namespace

void DedupSubcommand::declare(CLI::App& sub, CommandArgs& args) {
  sub.add_flag("--dry-run", args.flag("dry-run"),
               "Report the features that would be deleted, working on copies: nothing given changes");
  sub.add_option("--by", args.text("by"),
                 "The field that tells the animals apart (e.g. AnimalID): duplicates are looked for within "
                 "each animal only");
}

void DedupSubcommand::script(const CommandArgs& args, platform::headless::HeadlessApplication& application) {
  noted_.clear();
  if (args.given("by")) nameAnimalField(application, args.textOf("by"));
  const auto layer = selectedFeatureLayer(application);
  if (!layer || !layer->featureClass()) return;
  const auto cursor = layer->selection().search();
  while (const auto feature = cursor->next()) noted_.push_back({feature->oid(), describe(*feature)});
}

int DedupSubcommand::report(const CommandArgs& args, platform::headless::HeadlessApplication& application,
                            int exitCode) {
  const std::vector<NotedFeature> noted = std::move(noted_);
  noted_.clear();
  const bool dryRun = args.flagOf("dry-run");
  const auto layer = selectedFeatureLayer(application);
  const auto featureClass = layer ? layer->featureClass() : nullptr;
  long long gone = 0;
  if (featureClass) {
    for (const NotedFeature& feature : noted) {
      if (featureClass->row(feature.id)) continue;
      ++gone;
      deletions_ << (dryRun ? "would delete " : "deleted ") << feature.description << '\n';
    }
  }
  deletions_ << gone << (gone == 1 ? " feature " : " features ") << (dryRun ? "would be deleted" : "deleted")
             << '\n';
  if (gone > 0 && !dryRun) {
    // The command edits its layer in place: the file given is the output.
    const std::filesystem::path path =
        args.files.size() == 1 ? std::filesystem::absolute(args.files.front()) : std::filesystem::path();
    application.runRecord().output({.path = path,
                                    .kind = host::OutputKind::Shapefile,
                                    .layer = layer->name(),
                                    .features = featureClass->featureCount()});
  }

  // The command closes a complete run with "Deleted N duplicate features"; anything else last
  // is the message of a refusal or an error.
  const auto& messages = application.scriptedUi().messages();
  if (messages.empty() || !messages.back().message.text.starts_with(kDeletedPrefix))
    return kExitCommandFailed;
  return exitCode;
}

std::unique_ptr<Subcommand> makeDedupTimeSubcommand() {
  return std::make_unique<DedupSubcommand>(kDedupTimeProgId);
}

std::unique_ptr<Subcommand> makeDedupXySubcommand() {
  return std::make_unique<DedupSubcommand>(kDedupXyProgId);
}

}  // namespace orvex::cli
