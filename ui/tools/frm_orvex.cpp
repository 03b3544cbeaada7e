// The track display dialog: its controls, its events and the stepping, manual and automatic.
// Reading the track and drawing it are in frm_orvex_track.cpp, saving it in frm_orvex_save.cpp.

#include "ui/tools/frm_orvex.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>

#include "host/error.h"
#include "host/text.h"

namespace orvex::ui {

using host::ControlKind;
using host::Notify;

frmORVEX::frmORVEX(host::Application& application, host::ObjectId lastObjectId)
    : host::Form(std::string(kFormName), std::string(kCaption)),
      application_(&application),
      lastObjectId_(lastObjectId) {
  BuildControls();
  ConnectEvents();
}

frmORVEX::~frmORVEX() = default;

void frmORVEX::BuildControls() {
  add(ControlKind::Button, kDisplayTravel, "Display Travel");
  add(ControlKind::Button, kStop, "Stop");
  add(ControlKind::Button, kStepForward, "Step Forward").setEnabled(false);
  add(ControlKind::Button, kStepBack, "Step Back").setEnabled(false);
  add(ControlKind::CheckBox, kOneStep, "One Step at a Time");
  add(ControlKind::CheckBox, kKeepPath, " Keep Travel Path");
  add(ControlKind::Button, kDeletePath, "Delete Travel Path");
  add(ControlKind::Button, kSaveTravel, "Save Travel");
  add(ControlKind::Slider, kTrackSlider).setRange(0, 0);
  // The speed label names the slider and the pace box after it.
  add(ControlKind::Label, kSpeedLabel, "Display Speed (sec)");
  add(ControlKind::Slider, kSpeedSlider).setRange(0, kSpeedSliderMax).setValue(kSpeedSliderStart, Notify::No);
  add(ControlKind::TextBox, kPaceText)
      .setText(host::numberText(track::PaceForSpeedSlider(kSpeedSliderStart)), Notify::No);
  add(ControlKind::Label, kDateLabel, "Date:");
  add(ControlKind::Label, kStatsLabel, "Meters per sec: 0 Distance:0");
  add(ControlKind::Label, kFixLabel);
}

void frmORVEX::ConnectEvents() {
  onLoad = [this] {
    // A form that could not be set up is no use to anybody: it closes after the report.
    if (!guarded("Form_Load", [this] { FormLoad(); })) close(host::dialog_result::kCancel);
  };
  onUnload = [this] { FormUnload(); };
  control(kDisplayTravel).onClick = [this] {
    guarded("CmdTrackMoose_Click", [this] {
      SetupTrackMoose(control(kKeepPath).checked(), PaceFromDialog(), control(kOneStep).checked());
    });
  };
  // The loop ends after its current wait; Display Travel then goes on from where it stopped.
  control(kStop).onClick = [this] { stopRequested_ = true; };
  control(kStepForward).onClick = [this] { guarded("CmbStep_Click", [this] { StepForward(); }); };
  control(kStepBack).onClick = [this] { guarded("cmdStepBack_Click", [this] { StepBack(); }); };
  control(kOneStep).onClick = [this] { guarded("cbOneStep_Click", [this] { OneStepClicked(); }); };
  control(kKeepPath).onClick = [this] { keepPath_ = control(kKeepPath).checked(); };
  control(kDeletePath).onClick = [this] {
    guarded("cmdDeleteGraphic_Click", [this] { DeleteMooseTracks(); });
  };
  control(kSaveTravel).onClick = [this] { ConvertGraphics2Shapefile(); };
  control(kTrackSlider).onChange = [this] { guarded("Slider_Scroll", [this] { TrackSliderMoved(); }); };
  control(kSpeedSlider).onChange = [this] { SpeedSliderMoved(); };
}

bool frmORVEX::guarded(std::string_view procedure, const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (const host::Error& error) {
    if (host::errorsPassThrough()) throw;
    application_->ui().messageBox(std::string(procedure) + " sub ERROR: " + error.description());
  } catch (const std::exception& error) {
    if (host::errorsPassThrough()) throw;
    application_->ui().messageBox(std::string(procedure) + " sub ERROR: " + error.what());
  }
  return false;
}

void frmORVEX::FormLoad() {
  document_ = application_->document();
  map_ = document_->focusMap();
  subscription_ =
      host::ScopedSubscription(document_->activeView().events(), [this](const host::MapEvent& event) {
        guarded("ActiveViewEvents", [this, &event] { OnMapEvent(event); });
      });
  steppingStarted_ = false;
  lastStep_ = StepDirection::None;
  stopRequested_ = false;
  keepPath_ = control(kKeepPath).checked();
  oneStep_ = control(kOneStep).checked();
  AdoptKeptPath();
  if (!GetCollectionFromActiveLayer()) {
    CloseWithMessage(track::kTrackNoLayerAtStart);
    return;
  }
  ResetTrackControls();
}

void frmORVEX::FormUnload() {
  subscription_.reset();
  // An automatic display running in a handler below this one ends at its next look.
  stopRequested_ = true;
}

void frmORVEX::CloseWithMessage(const char* message) {
  application_->ui().messageBox(message, std::string(track::kDisplayTracksTitle));
  close(host::dialog_result::kCancel);
}

void frmORVEX::OnMapEvent(const host::MapEvent& event) {
  if (!isOpen()) return;
  switch (event.kind) {
    case host::MapEventKind::ContentsChanged:
      if (addingOwnLayer_) return;
      application_->ui().messageBox(track::kTrackContentsChanged);
      close(host::dialog_result::kCancel);
      return;
    case host::MapEventKind::FocusMapChanged:
      application_->ui().messageBox(track::kTrackMapsChanged);
      close(host::dialog_result::kCancel);
      return;
    case host::MapEventKind::SelectionChanged:
      if (!GetCollectionFromActiveLayer()) application_->ui().messageBox(track::kTrackNoLayerAfterSelection);
      ResetTrackControls();
      return;
  }
}

double frmORVEX::PaceFromDialog() {
  host::Control& text = control(kPaceText);
  const std::optional<double> typed = host::parseNumber(text.text());
  if (typed && std::isfinite(*typed) && *typed >= 0.0) return std::min(*typed, kMaxPaceSeconds);
  // Anything else in the box is no pace: the speed slider's stands and is shown again.
  const double pace = track::PaceForSpeedSlider(control(kSpeedSlider).value());
  text.setText(host::numberText(pace), Notify::No);
  return pace;
}

void frmORVEX::SetupTrackMoose(bool keep, double seconds, bool oneStep) {
  oneStep_ = oneStep;
  if (oneStep || running_ || !isOpen()) return;
  keepPath_ = keep;
  if (!stopRequested_) DeleteMooseTracks();
  stopRequested_ = false;
  Auto_Track_Moose(keep, seconds);
}

void frmORVEX::Auto_Track_Moose(bool keep, double seconds) {
  keepPath_ = keep;
  const auto wait = std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(
      std::llround(std::clamp(seconds, 0.0, kMaxPaceSeconds) * 1000.0)));
  running_ = true;
  try {
    while (!stopRequested_ && isOpen()) {
      // Position and track are read afresh each time: a selection change or a hand on the
      // slider during the wait moves them.
      const int position = control(kTrackSlider).value();
      if (position + 1 >= trackSize()) {
        application_->ui().messageBox(track::kTrackNoMoreSteps, std::string(track::kDisplayTracksTitle));
        break;
      }
      control(kTrackSlider).setValue(position + 1, Notify::No);
      ShowFix(position + 1);
      DrawStep(position);
      application_->clock().wait(wait);
    }
  } catch (...) {
    running_ = false;
    throw;
  }
  running_ = false;
}

void frmORVEX::StepForward() {
  if (lastStep_ != StepDirection::Forward) DeleteMooseTracks();
  lastStep_ = StepDirection::Forward;
  steppingStarted_ = true;
  const int position = control(kTrackSlider).value();
  if (position + 1 >= trackSize()) {
    application_->ui().messageBox(track::kTrackNoMoreForward, std::string(track::kDisplayTracksTitle));
    return;
  }
  control(kTrackSlider).setValue(position + 1, Notify::No);
  ShowFix(position + 1);
  DrawStep(position);
}

void frmORVEX::StepBack() {
  if (lastStep_ != StepDirection::Back) DeleteMooseTracks();
  lastStep_ = StepDirection::Back;
  steppingStarted_ = true;
  const int position = control(kTrackSlider).value();
  if (position <= 0 || position >= trackSize()) {
    application_->ui().messageBox(track::kTrackNoMoreBack, std::string(track::kDisplayTracksTitle));
    return;
  }
  control(kTrackSlider).setValue(position - 1, Notify::No);
  ShowFix(position - 1);
  DrawStep(position - 1);
}

void frmORVEX::OneStepClicked() {
  DeleteMooseTracks();
  oneStep_ = control(kOneStep).checked();
  control(kStepForward).setEnabled(oneStep_);
  control(kStepBack).setEnabled(oneStep_);
  control(kDisplayTravel).setEnabled(!oneStep_);
  control(kStop).setEnabled(!oneStep_);
  keepPath_ = control(kKeepPath).checked();
  // Stop is disabled from now on, so a running display could no longer be stopped.
  if (oneStep_ && running_) stopRequested_ = true;
}

void frmORVEX::TrackSliderMoved() {
  DeleteMooseTracks();
  ShowFix(control(kTrackSlider).value());
}

void frmORVEX::SpeedSliderMoved() {
  control(kPaceText).setText(host::numberText(track::PaceForSpeedSlider(control(kSpeedSlider).value())),
                             Notify::No);
}

}  // namespace orvex::ui
