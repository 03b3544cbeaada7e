#include "ui/tools/dup_removal.h"

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_set>

#include "host/error.h"
#include "ui/gis/shapefile_utils.h"
#include "ui/tools/orvexobs_errors.h"

namespace orvex::ui {
namespace {

int ProgressValue(std::int64_t counter) {
  return static_cast<int>(std::min<std::int64_t>(counter, std::numeric_limits<int>::max()));
}

/// Every message of the duplicate tools: OK button, empty title.
void tell(host::UiServices& ui, std::string text) { ui.messageBox(std::move(text), std::string()); }

/// Drops what a tool collected when a walk ends, however it ends, so that no key outlives it.
template <class Clear>
class ClearOnExit {
 public:
  explicit ClearOnExit(Clear clear) : clear_(std::move(clear)) {}
  ~ClearOnExit() { clear_(); }
  ClearOnExit(const ClearOnExit&) = delete;
  ClearOnExit& operator=(const ClearOnExit&) = delete;

 private:
  Clear clear_;
};

}  // namespace

host::Status DuplicateRemoval::onClick() {
  FindAndRemove();
  return host::kOk;
}

std::shared_ptr<host::Document> DuplicateRemoval::CurrentDocument() const {
  return document() ? document() : application().document();
}

std::shared_ptr<host::FeatureLayer> DuplicateRemoval::SelectedFeatureLayer() const {
  const auto document = CurrentDocument();
  if (!document) return nullptr;
  return std::dynamic_pointer_cast<host::FeatureLayer>(document->selectedLayer());
}

host::SelectionSet DuplicateRemoval::GetSelectionFromActiveLayer() const {
  const auto layer = SelectedFeatureLayer();
  if (!layer) throw host::Error(host::error_number::kObjectNotSet, "no feature layer is selected");
  return layer->selection();
}

void DuplicateRemoval::FindAndRemove() {
  host::UiServices& ui = application().ui();
  try {
    const auto layer = SelectedFeatureLayer();
    if (!layer) {
      tell(ui, texts_.noLayer);
      return;
    }
    const auto featureClass = layer->featureClass();
    if (!featureClass || !suits(*featureClass)) {
      tell(ui, texts_.wrongLayer);
      return;
    }
    const host::SelectionSet selection = GetSelectionFromActiveLayer();
    const auto cursor = selection.search();
    progress_.SetMaximum(selection.count() == std::numeric_limits<int>::max() ? selection.count()
                                                                              : selection.count() + 1);
    std::string animalField = layer->animalField();
    if (!animalField.empty() && featureClass->findField(animalField) < 0) {
      application().runRecord().warning("The layer '" + layer->name() + "' has no field \"" + animalField +
                                        "\" to tell its animals apart: duplicates were looked for over the "
                                        "whole selection.");
      animalField.clear();
    }
    CalcFeatures(*cursor, selection, *featureClass, animalField);
  } catch (...) {
    if (host::errorsPassThrough()) throw;
    tell(ui, ErrorReport(texts_.setupError, std::current_exception()));
  }
}

void DuplicateRemoval::CalcFeatures(host::Cursor& cursor, const host::SelectionSet& selection,
                                    host::FeatureClass& featureClass, const std::string& animalField) {
  host::UiServices& ui = application().ui();
  const ClearOnExit forget([this] { clear(); });
  clear();
  try {
    auto feature = cursor.next();
    if (!feature) {
      tell(ui, kNothingSelected);
      return;
    }
    const ShownWhileAlive shown(progress_, ui);
    // A cursor wider than the selection must not bring in features nobody selected.
    const std::unordered_set<host::ObjectId> selected(selection.ids().begin(), selection.ids().end());
    std::int64_t counter = 0;
    std::map<host::Value, std::vector<host::Feature>, gis::UniqueValueOrder> animals;
    std::int64_t withoutAnimal = 0;
    for (; feature; feature = cursor.next()) {
      if (!selected.contains(feature->oid())) continue;
      progress_.SetProgress(ProgressValue(++counter));
      // A fix without a position stops the removal before anything is deleted, as it stops
      // the observation fields: a layer holding one is damaged, and no deletion may be made
      // from a layer read only in part.
      const host::Point* point = feature->shape().point();
      if (point == nullptr || point->isEmpty())
        throw host::Error(host::error_number::kInvalidUseOfNull,
                          "fix " + std::to_string(feature->oid()) + " has no position");
      if (animalField.empty()) {
        collect(*feature);
        continue;
      }
      const int animalIndex = feature->findField(animalField);
      if (animalIndex < 0)
        throw host::Error(host::kNotFound, "the layer has no field \"" + animalField + "\"");
      const host::Value& animal = feature->value(animalIndex);
      if (animal.isEmpty())
        ++withoutAnimal;
      else
        animals[animal].push_back(*feature);
    }

    std::vector<host::ObjectId> doomed = animalField.empty() ? duplicates() : std::vector<host::ObjectId>{};
    for (const auto& [animal, features] : animals) {
      clear();
      for (const host::Feature& member : features) collect(member);
      const std::vector<host::ObjectId> ofAnimal = duplicates();
      doomed.insert(doomed.end(), ofAnimal.begin(), ofAnimal.end());
    }
    if (withoutAnimal > 0)
      application().runRecord().warning(std::to_string(withoutAnimal) +
                                        (withoutAnimal == 1 ? " selected fix has" : " selected fixes have") +
                                        " no value of " + animalField + ": not compared, not deleted.");

    std::int64_t deleted = 0;
    for (const host::ObjectId id : doomed) {
      featureClass.deleteRow(id);
      ++deleted;
    }

    const auto document = CurrentDocument();
    document->focusMap()->clearSelection();
    document->activeView().refresh();
    progress_.hide(ui);
    tell(ui, "Deleted " + std::to_string(deleted) + " duplicate features");
  } catch (...) {
    if (host::errorsPassThrough()) throw;
    progress_.hide(ui);
    tell(ui, ErrorReport(texts_.compareError, std::current_exception()));
  }
}

}  // namespace orvex::ui
