#pragma once

// The track display dialog "Display Travel": the fixes selected on the table-of-contents point
// layer drawn from fix to fix as arrowed line graphics, automatically at a pace or one step at
// a time, with the current fix's date, time, speed and distance, and the drawn path saved as a
// polyline shapefile on request.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/application.h"
#include "host/form.h"
#include "host/graphics.h"
#include "host/map.h"
#include "host/map_events.h"
#include "host/row.h"
#include "host/table.h"

namespace orvex::ui {
namespace track {

/// Title of the track display's messages that carry one.
inline constexpr const char* kDisplayTracksTitle = "Display Tracks";

// Messages of the dialog.
inline constexpr const char* kTrackNoLayerAtStart =
    "You must select a point layer and restart the display tracks tool.";
inline constexpr const char* kTrackNoLayerAfterSelection =
    "You must select a point layer and restart the Display Tracks Tool";
inline constexpr const char* kTrackContentsChanged =
    "Feature Layer changed. Please restart the display tracks tool.";
inline constexpr const char* kTrackMapsChanged = "Maps changed. Please restart the display tracks tool.";
inline constexpr const char* kTrackOutOfSequence =
    "This track segment is out of sequence.  Do you want to draw the track segment?";
inline constexpr const char* kTrackNoMoreSteps = "No more steps. Please reset.";
inline constexpr const char* kTrackNoMoreForward = "No more steps forward.";
inline constexpr const char* kTrackNoMoreBack = "No more steps back.";
inline constexpr const char* kTrackNothingToSave = "Please add a track";
inline constexpr const char* kTrackSaveErrorPrefix = "ConvertGraphic2Shapefile sub ERROR: ";

/// Title of the save dialog of Save Travel.
inline constexpr const char* kSaveTravelTitle = "Save Travel";

/// The symbol of every drawn step: a line 2 points wide in RGB (223, 223, 223) with a red arrow
/// of size 12 at the middle of the segment, pointing in the direction of travel.
host::Symbol TrackSymbol();

/// The track slider's pace for a speed-slider value: value x 0.01 + 0.01 seconds.
double PaceForSpeedSlider(int value);

/// The texts of the three fix labels.
struct FixLabels {
  std::string stats;        ///< lblStats: "Meters per sec: <speed> Distance: <distance>"
  std::string dateAndTime;  ///< LblDateAndTime1: "Date: <date> at <time>"
  std::string fix;          ///< lblfix: "<object id + 1>/<last object id + 1>"
};

/// The labels of one fix. `row` null: a fix whose row is gone (shown like one without the
/// fields). Speed is "Me_Per_Sec" and distance "Dist" (0 when the field is missing or empty);
/// the date is "Date", else "Date_", and the time "Time1" ("No data" when missing or empty).
/// Field names are matched without regard to letter case. Object ids are widened before the
/// + 1, so the largest 32-bit id still counts correctly.
FixLabels LabelsForFix(const host::Row* row, host::ObjectId objectId, host::ObjectId lastObjectId);

/// The point feature layer chosen in the table of contents; null when none is chosen, it is
/// not a feature layer, its data is missing or its shapes are not points.
std::shared_ptr<host::FeatureLayer> SelectedPointLayer(const host::Document& document);

}  // namespace track

/// The track display form `frmORVEX`, captioned "Display Travel", shown modally by the MOLE
/// command.
///
/// Controls (name: kind, caption):
/// - CmdTrackMoose: button "Display Travel" (automatic display); cmdStop: button "Stop";
/// - CmbStep: button "Step Forward"; cmdStepBack: button "Step Back" (both disabled until one
///   step at a time is chosen);
/// - cbOneStep: check box "One Step at a Time"; CBKeepGraphic: check box " Keep Travel Path";
/// - cmdDeleteGraphic: button "Delete Travel Path"; CmdSaveTravel: button "Save Travel";
/// - Slider: slider over the track positions 0 .. n-1;
/// - SlideSec: speed slider 0 .. 100; TxtSec: text box with the pace in seconds (the slider's
///   value x 0.01 + 0.01; a number typed there, 0 or more, is used as it is, capped at an
///   hour); lblSpeed: label "Display Speed (sec)";
/// - LblDateAndTime1 ("Date:"), lblStats ("Meters per sec: 0 Distance:0"), lblfix: labels.
///
/// Load keeps the document and focus map, subscribes to the active view's map events and
/// collects the selected fixes of the table-of-contents point layer, in selection order, into
/// the track; without such a layer it shows kTrackNoLayerAtStart and unloads. Unload
/// unsubscribes and ends an automatic display.
///
/// Drawing a step between two successive fixes asks kTrackOutOfSequence (Yes/No) when the later
/// fix's object id exceeds the earlier one's by more than 1 (No draws nothing, the position
/// still moves); without keep-path the drawn path is deleted first; the line runs from the
/// earlier fix to the later one, also when stepping back, so the arrow shows the direction of
/// travel. A step with a fix that has no point draws nothing.
///
/// The drawn path is the set of track graphics (lines in the track's symbol) this form added,
/// and those a closed display left on the map when it kept its path (taken over at load);
/// deleting it removes those only and leaves other graphics of the map alone.
///
/// Map events: contents changed (other than by the form's own Save Travel) and focus map
/// changed show their message and unload the form; a selection change rebuilds the track.
///
/// Every handler reports its own failures as "<procedure> sub ERROR: <description>"; nothing
/// escapes to the host.
class frmORVEX final : public host::Form {
 public:
  static constexpr std::string_view kFormName = "frmORVEX";
  static constexpr std::string_view kCaption = "Display Travel";

  // Control names.
  static constexpr const char* kDisplayTravel = "CmdTrackMoose";
  static constexpr const char* kStop = "cmdStop";
  static constexpr const char* kStepForward = "CmbStep";
  static constexpr const char* kStepBack = "cmdStepBack";
  static constexpr const char* kOneStep = "cbOneStep";
  static constexpr const char* kKeepPath = "CBKeepGraphic";
  static constexpr const char* kDeletePath = "cmdDeleteGraphic";
  static constexpr const char* kSaveTravel = "CmdSaveTravel";
  static constexpr const char* kTrackSlider = "Slider";
  static constexpr const char* kSpeedSlider = "SlideSec";
  static constexpr const char* kPaceText = "TxtSec";
  static constexpr const char* kSpeedLabel = "lblSpeed";
  static constexpr const char* kDateLabel = "LblDateAndTime1";
  static constexpr const char* kStatsLabel = "lblStats";
  static constexpr const char* kFixLabel = "lblfix";

  /// Speed slider range and starting value (0.5 s).
  static constexpr int kSpeedSliderMax = 100;
  static constexpr int kSpeedSliderStart = 49;
  /// Longest pace honoured, seconds: the wait is made in milliseconds of a 64-bit count.
  static constexpr double kMaxPaceSeconds = 3600.0;

  /// `application` outlives the form; `lastObjectId` is the object id of the last feature of
  /// the layer's feature class (shown in lblfix).
  frmORVEX(host::Application& application, host::ObjectId lastObjectId);
  ~frmORVEX() override;

  /// Display Travel: takes keep-path, pace and one-step mode, deletes the drawn path unless a
  /// Stop came before, clears the stop request and runs the automatic display. Does nothing
  /// in one-step mode or while an automatic display is running.
  void SetupTrackMoose(bool keep, double seconds, bool oneStep);
  /// The automatic loop: until a stop is requested or the form unloads, steps to the next fix
  /// and waits `seconds` on the host clock (user-interface events handled while it waits); at
  /// the last position shows kTrackNoMoreSteps and ends.
  void Auto_Track_Moose(bool keep, double seconds);
  /// Removes the drawn path from the active view's graphics and refreshes the view.
  void DeleteMooseTracks();
  /// Takes the track graphics already on the map as the drawn path.
  void AdoptKeptPath();
  /// Save Travel: the drawn path's lines into a new polyline shapefile named in the save
  /// dialog ("OID" and "Shape" fields, the lines' coordinate system), added to the focus map.
  /// An existing shapefile is never replaced (the GIS helper's "File Error" message).
  void ConvertGraphics2Shapefile();

  /// Number of fixes in the track.
  int trackSize() const { return static_cast<int>(track_.size()); }
  /// The graphics of the drawn path still shown, in drawing order.
  std::vector<host::ElementId> DrawnPath() const;
  /// True while the automatic display runs.
  bool running() const { return running_; }

 private:
  struct TrackFix {
    host::ObjectId oid = host::kNoObjectId;
    host::Point point{};
  };
  enum class StepDirection { None, Forward, Back };

  void BuildControls();
  void ConnectEvents();
  /// Runs `work`; a failure is shown as "<procedure> sub ERROR: <description>" and gives false.
  bool guarded(std::string_view procedure, const std::function<void()>& work);

  void FormLoad();
  void FormUnload();
  void OnMapEvent(const host::MapEvent& event);
  void CloseWithMessage(const char* message);

  /// Rebuilds the track from the table-of-contents layer's selection; false when there is no
  /// point layer (the track is then empty).
  bool GetCollectionFromActiveLayer();
  /// Slider range, lblfix and the labels of the fix at the slider position.
  void ResetTrackControls();
  void ShowFix(int position);
  /// Draws the step between track positions `earlier` and `earlier + 1`.
  void DrawStep(int earlier);
  double PaceFromDialog();

  void StepForward();
  void StepBack();
  void OneStepClicked();
  void TrackSliderMoved();
  void SpeedSliderMoved();

  host::GraphicsContainer& graphics();
  void RefreshView();
  /// Adds the saved path's layer without taking the contents change for an outside one.
  void AddShapeFile(const std::shared_ptr<host::FeatureClass>& featureClass, const std::string& name);

  host::Application* application_;
  host::ObjectId lastObjectId_;
  std::shared_ptr<host::Document> document_;
  std::shared_ptr<host::Map> map_;
  host::ScopedSubscription subscription_;

  std::shared_ptr<host::FeatureLayer> layer_;
  std::vector<TrackFix> track_;
  std::vector<host::ElementId> drawn_;

  bool keepPath_ = false;
  bool oneStep_ = false;
  bool stopRequested_ = false;
  bool steppingStarted_ = false;
  bool running_ = false;
  bool addingOwnLayer_ = false;
  StepDirection lastStep_ = StepDirection::None;
};

}  // namespace orvex::ui
