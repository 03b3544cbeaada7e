#include "apps/orvex/row_track.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "apps/orvex/global_options.h"
#include "apps/orvex/save_answers.h"
#include "apps/orvex/track_svg.h"
#include "host/error.h"
#include "host/form.h"
#include "host/text.h"
#include "platform/common/output_path.h"
#include "platform/headless/form_script.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

namespace headless = platform::headless;

// The track display form and the controls the command line uses.
constexpr const char* kTrackForm = "frmORVEX";
constexpr const char* kPaceText = "TxtSec";
constexpr const char* kKeepPath = "CBKeepGraphic";
constexpr const char* kDisplayTravel = "CmdTrackMoose";
constexpr const char* kSaveTravel = "CmdSaveTravel";
/// The fix labels, in the order the captions show them.
constexpr const char* kLabels[] = {"lblfix", "LblDateAndTime1", "lblStats"};

/// Follows the track display while it runs: a moment is recorded when the form opens and at
/// every pass of the event loop, which the display makes once per step while it waits.
class TrackRecording : public std::enable_shared_from_this<TrackRecording> {
 public:
  explicit TrackRecording(headless::HeadlessApplication& application) : application_(&application) {}

  void formShown(host::Form& form) {
    if (form.name() != kTrackForm) return;
    form_ = &form;
    opened_ = true;
    record();
    armNextLook();
  }
  void formClosed(const host::Form& form) {
    if (&form == form_) form_ = nullptr;
  }

  bool opened() const { return opened_; }
  /// The --save-path file was there before the run.
  bool saveTargetExisted = false;
  const std::vector<TrackFrame>& frames() const { return frames_; }

 private:
  void armNextLook() {
    application_->scriptedUi().postEvent([weak = weak_from_this()] {
      const auto self = weak.lock();
      if (!self || self->form_ == nullptr) return;
      self->record();
      self->armNextLook();
    });
  }

  void record() {
    TrackFrame frame;
    for (const auto& [id, element] : application_->view().graphics().elements()) frame.shown.push_back(id);
    for (const char* label : kLabels) {
      if (const host::Control* control = form_->find(label)) frame.captions.push_back(control->caption());
    }
    // Passes of the event loop that changed nothing are one moment.
    if (frames_.empty() || !(frames_.back() == frame)) frames_.push_back(std::move(frame));
  }

  headless::HeadlessApplication* application_;
  host::Form* form_ = nullptr;
  bool opened_ = false;
  std::vector<TrackFrame> frames_;
};

double paceOf(const CommandArgs& args) {
  return args.given("pace") ? host::parseNumberPrefix(args.textOf("pace")) : 0.0;
}

/// Everything the graphics container was given, paired with the ids it handed out.
std::vector<std::pair<host::ElementId, host::GraphicElement>> drawnGraphics(
    headless::HeadlessApplication& application) {
  const headless::RecordingGraphicsContainer& graphics = application.view().recordingGraphics();
  std::vector<std::pair<host::ElementId, host::GraphicElement>> drawn;
  std::size_t next = 0;
  for (const headless::GraphicsOperation& operation : graphics.operations()) {
    if (operation.kind != headless::GraphicsOperation::Kind::Add || next >= graphics.added().size()) continue;
    drawn.emplace_back(operation.id, graphics.added()[next++]);
  }
  return drawn;
}

/// "<path>: <n> features", read back through the host; false when the file is not there.
bool reportSavedPath(headless::HeadlessApplication& application, const std::filesystem::path& path) {
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) return false;
  try {
    const auto workspace = application.workspaces().openShapefileWorkspace(path.parent_path());
    const auto featureClass = workspace->openFeatureClass(path.filename().string());
    if (!featureClass) return false;
    const int features = featureClass->featureCount();
    std::cout << path.string() << ": " << features << (features == 1 ? " feature" : " features") << '\n';
    return true;
  } catch (const host::Error& error) {
    std::cerr << "orvex: cannot read back " << path.string() << ": " << error.description() << '\n';
    return false;
  }
}

/// The track display: the script sets up the recording of the click, the report reads it.
class TrackSubcommand final : public Subcommand {
 public:
  TrackSubcommand() : Subcommand(kTrackProgId) {}
  void declare(CLI::App& sub, CommandArgs& args) override;
  void script(const CommandArgs& args, headless::HeadlessApplication& application) override;
  int report(const CommandArgs& args, headless::HeadlessApplication& application, int exitCode) override;

 private:
  std::shared_ptr<TrackRecording> recording_;
};

}  // namespace

void TrackSubcommand::declare(CLI::App& sub, CommandArgs& args) {
  sub.add_flag("--keep-path", args.flag("keep-path"),
               "Tick \" Keep Travel Path\": the whole path stays drawn (otherwise only the latest segment)");
  sub.add_option("--pace", args.text("pace"), "Seconds to wait after each step (default 0)")
      ->check(CLI::NonNegativeNumber);
  sub.add_option("--save-path", args.text("save-path"),
                 "Save the drawn travel path as this polyline shapefile (an existing file is not replaced)");
  sub.add_option("--svg", args.text("svg"), "Write an animated SVG of the display to this file");
  sub.add_option("--svg-step", args.text("svg-step"),
                 "Seconds per step in the SVG (default: the pace, or 0.25 at pace 0)")
      ->check(CLI::PositiveNumber);
}

void TrackSubcommand::script(const CommandArgs& args, headless::HeadlessApplication& application) {
  headless::FormScript script;
  script.type(kPaceText, host::numberText(paceOf(args)));
  if (args.flagOf("keep-path")) script.check(kKeepPath, true);
  script.click(kDisplayTravel);
  if (args.given("save-path")) {
    const std::filesystem::path path = std::filesystem::absolute(args.textOf("save-path"));
    // A save dialog only offers folders that exist; the command line may name a new one.
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    application.scriptedUi().queueSaveAnswer(path);
    script.click(kSaveTravel);
  }
  application.scriptedUi().setFormScript(kTrackForm, script.cancel());

  auto recording = std::make_shared<TrackRecording>(application);
  if (args.given("save-path")) {
    std::error_code ignored;
    recording->saveTargetExisted =
        std::filesystem::exists(host::withDefaultExtension(args.textOf("save-path"), "shp"), ignored);
  }
  recording_ = recording;
  application.scriptedUi().setFormShownHook([recording](host::Form& form) { recording->formShown(form); });
  application.scriptedUi().setFormClosedHook(
      [recording](const host::Form& form) { recording->formClosed(form); });
}

int TrackSubcommand::report(const CommandArgs& args, headless::HeadlessApplication& application,
                            int exitCode) {
  const std::shared_ptr<TrackRecording> recording = std::move(recording_);
  if (!recording || !recording->opened()) {
    std::cerr << "orvex: track: the track display did not open; nothing was drawn\n";
    return kExitCommandFailed;
  }

  if (args.given("save-path")) {
    const auto path = std::filesystem::absolute(
        host::withDefaultExtension(std::filesystem::path(args.textOf("save-path")), "shp"));
    // The display never replaces a file, so one that was there before is not the path drawn.
    if (recording->saveTargetExisted) {
      std::cerr << "orvex: track: " << path.string() << " exists; the travel path was not saved\n";
      exitCode = kExitCommandFailed;
    } else if (!reportSavedPath(application, path)) {
      std::cerr << "orvex: track: the travel path was not saved to " << path.string() << '\n';
      exitCode = kExitCommandFailed;
    } else {
      application.runRecord().output(
          {.path = path, .kind = host::OutputKind::Shapefile, .layer = path.stem().string()});
    }
  }

  if (args.given("svg")) {
    TrackAnimation animation;
    animation.drawn = drawnGraphics(application);
    animation.frames = recording->frames();
    const double pace = paceOf(args);
    animation.stepSeconds = args.given("svg-step") ? host::parseNumberPrefix(args.textOf("svg-step"))
                            : pace > 0.0           ? pace
                                                   : kTrackSvgStepAtPaceZero;
    const std::filesystem::path path = std::filesystem::absolute(args.textOf("svg"));
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    const std::vector<std::filesystem::path> inputs(args.files.begin(), args.files.end());
    try {
      if (const auto refusal = platform::outputRefusal(
              path, inputs,
              !std::filesystem::exists(path, ignored) || mayReplace(application, path, "Track picture")))
        throw host::Error(host::kAlreadyExists, path.string() + " " + *refusal);
      writeTrackSvg(path, animation);
      std::cout << path.string() << ": " << animation.drawn.size() << " segments over "
                << animation.frames.size() << " moments, "
                << host::numberText(animation.stepSeconds * static_cast<double>(animation.frames.size()))
                << " s\n";
      application.runRecord().output({.path = path, .kind = host::OutputKind::Picture});
    } catch (const host::Error& error) {
      std::cerr << "orvex: " << error.description() << '\n';
      application.runRecord().failure(
          {.item = path.filename().string(), .reason = error.description(), .path = path});
      exitCode = kExitCommandFailed;
    }
  }
  return exitCode;
}

std::unique_ptr<Subcommand> makeTrackSubcommand() { return std::make_unique<TrackSubcommand>(); }

}  // namespace orvex::cli
