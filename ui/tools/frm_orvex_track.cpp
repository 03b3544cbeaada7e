// The track display's data side: the track read from the selection, the fix labels, and the
// drawn path in the active view's graphics.

#include <algorithm>
#include <cstdint>

#include "host/geometry.h"
#include "host/layer.h"
#include "host/value.h"
#include "ui/tools/frm_orvex.h"

namespace orvex::ui {
namespace track {
namespace {

constexpr host::Color kLineColor{223, 223, 223};
constexpr double kLineWidth = 2.0;
constexpr host::Color kArrowColor{255, 0, 0};
constexpr double kArrowSize = 12.0;
constexpr double kArrowPosition = 0.5;

constexpr const char* kNoData = "No data";

/// The value of the first of `names` the row has, or nullptr when it has none of them.
const host::Value* FirstField(const host::Row* row, std::initializer_list<std::string_view> names) {
  if (row == nullptr) return nullptr;
  for (const std::string_view name : names) {
    const int index = row->findField(name);
    if (index >= 0) return &row->value(index);
  }
  return nullptr;
}

std::string NumberOrZero(const host::Value* value) {
  return value == nullptr || value->isEmpty() ? std::string("0") : value->toText();
}

std::string TextOrNoData(const host::Value* value) {
  return value == nullptr || value->isEmpty() ? std::string(kNoData) : value->toText();
}

}  // namespace

host::Symbol TrackSymbol() {
  return host::Symbol{kLineColor, kLineWidth, host::ArrowMarker{kArrowColor, kArrowSize, kArrowPosition}};
}

double PaceForSpeedSlider(int value) {
  // value x 0.01 + 0.01 written as (value + 1) / 100: the same number, without the rounding
  // of 0.01 that would show 0.5 as 0.5000000000000001.
  return (static_cast<double>(value) + 1.0) / 100.0;
}

FixLabels LabelsForFix(const host::Row* row, host::ObjectId objectId, host::ObjectId lastObjectId) {
  FixLabels labels;
  labels.stats = "Meters per sec: " + NumberOrZero(FirstField(row, {"Me_Per_Sec"})) +
                 " Distance: " + NumberOrZero(FirstField(row, {"Dist"}));
  labels.dateAndTime = "Date: " + TextOrNoData(FirstField(row, {"Date", "Date_"})) + " at " +
                       TextOrNoData(FirstField(row, {"Time1"}));
  labels.fix = std::to_string(static_cast<std::int64_t>(objectId) + 1) + "/" +
               std::to_string(static_cast<std::int64_t>(lastObjectId) + 1);
  return labels;
}

std::shared_ptr<host::FeatureLayer> SelectedPointLayer(const host::Document& document) {
  auto layer = std::dynamic_pointer_cast<host::FeatureLayer>(document.selectedLayer());
  if (!layer) return nullptr;
  const auto featureClass = layer->featureClass();
  if (!featureClass || featureClass->shapeType() != host::GeometryType::Point) return nullptr;
  return layer;
}

}  // namespace track

bool frmORVEX::GetCollectionFromActiveLayer() {
  track_.clear();
  layer_ = track::SelectedPointLayer(*document_);
  if (!layer_) return false;
  const auto cursor = layer_->selection().search();
  while (const auto feature = cursor->next()) {
    const host::Point* point = feature->shape().point();
    track_.push_back({feature->oid(), point != nullptr ? *point : host::Point{}});
  }
  return true;
}

void frmORVEX::ResetTrackControls() {
  control(kTrackSlider).setRange(0, std::max(trackSize() - 1, 0));
  control(kStatsLabel).setCaption("Meters per sec: 0 Distance: 0");
  if (track_.empty()) {
    control(kDateLabel).setCaption("Date:");
    control(kFixLabel).setCaption("");
    return;
  }
  ShowFix(control(kTrackSlider).value());
}

void frmORVEX::ShowFix(int position) {
  if (position < 0 || position >= trackSize()) return;
  const host::ObjectId oid = track_[static_cast<std::size_t>(position)].oid;
  std::optional<host::Row> row;
  if (const auto featureClass = layer_ ? layer_->featureClass() : nullptr) row = featureClass->row(oid);
  const track::FixLabels labels = track::LabelsForFix(row ? &*row : nullptr, oid, lastObjectId_);
  control(kStatsLabel).setCaption(labels.stats);
  control(kDateLabel).setCaption(labels.dateAndTime);
  control(kFixLabel).setCaption(labels.fix);
}

void frmORVEX::DrawStep(int earlier) {
  if (earlier < 0 || earlier + 1 >= trackSize()) return;
  const TrackFix& from = track_[static_cast<std::size_t>(earlier)];
  const TrackFix& to = track_[static_cast<std::size_t>(earlier) + 1];

  // Widened: ids near the ends of the 32-bit range must not wrap into a false answer.
  const std::int64_t gap = static_cast<std::int64_t>(to.oid) - static_cast<std::int64_t>(from.oid);
  if (gap > 1 &&
      application_->ui().messageBox(track::kTrackOutOfSequence, std::nullopt, host::MessageButtons::YesNo,
                                    host::MessageIcon::Question) != host::MessageAnswer::Yes)
    return;
  if (!keepPath_) DeleteMooseTracks();
  if (from.point.isEmpty() || to.point.isEmpty()) return;

  host::Polyline line;
  line.paths.push_back({from.point, to.point});
  const auto featureClass = layer_ ? layer_->featureClass() : nullptr;
  host::GraphicElement element{host::Geometry(std::move(line), featureClass ? featureClass->spatialReference()
                                                                            : host::SpatialReferencePtr{}),
                               track::TrackSymbol(), std::nullopt};
  drawn_.push_back(graphics().add(std::move(element)));
  RefreshView();
}

void frmORVEX::DeleteMooseTracks() {
  host::GraphicsContainer& container = graphics();
  for (const host::ElementId id : drawn_) container.remove(id);
  drawn_.clear();
  RefreshView();
}

void frmORVEX::AdoptKeptPath() {
  // A path kept when an earlier display closed is still on the map; it becomes this display's
  // drawn path, so that Delete Travel Path (or a fresh start) removes it and Save Travel
  // saves it, as when the display that drew it was open.
  drawn_.clear();
  for (const auto& [id, element] : graphics().elements())
    if (element.geometry.polyline() != nullptr && element.symbol == track::TrackSymbol())
      drawn_.push_back(id);
}

std::vector<host::ElementId> frmORVEX::DrawnPath() const {
  if (!document_) return {};
  std::vector<host::ElementId> shown;
  for (const auto& [id, element] : document_->activeView().graphics().elements()) {
    if (std::find(drawn_.begin(), drawn_.end(), id) != drawn_.end()) shown.push_back(id);
  }
  return shown;
}

host::GraphicsContainer& frmORVEX::graphics() {
  if (!document_) document_ = application_->document();
  return document_->activeView().graphics();
}

void frmORVEX::RefreshView() {
  if (!document_) document_ = application_->document();
  document_->activeView().refresh();
}

}  // namespace orvex::ui
