#include "ui/tools/mole.h"

#include <exception>

#include "host/error.h"
#include "host/layer.h"
#include "ui/tools/frm_orvex.h"

namespace orvex::ui {
namespace track {

host::ObjectId LastObjectId(const host::FeatureClass& featureClass) {
  host::ObjectId last = host::kNoObjectId;
  const auto cursor = featureClass.search();
  while (const auto feature = cursor->next()) last = feature->oid();
  return last;
}

}  // namespace track

host::Status MOLE::onClick() {
  if (application_ == nullptr) return host::kUnexpected;
  try {
    OpenTrackDisplay();
  } catch (const host::Error& error) {
    if (host::errorsPassThrough()) throw;
    application_->ui().messageBox("MOLE_Click sub ERROR: " + error.description());
  } catch (const std::exception& error) {
    if (host::errorsPassThrough()) throw;
    application_->ui().messageBox(std::string("MOLE_Click sub ERROR: ") + error.what());
  }
  return host::kOk;
}

void MOLE::OpenTrackDisplay() {
  host::UiServices& ui = application_->ui();
  const auto layer = track::SelectedPointLayer(*application_->document());
  if (!layer) {
    ui.messageBox(track::kMoleNoPointLayer, std::string(track::kDisplayTracksTitle));
    return;
  }
  const int selected = layer->selection().count();
  if (selected == 0) {
    ui.messageBox(track::kMoleNothingSelected, std::string());
    return;
  }
  if (selected == 1) {
    ui.messageBox(track::kMoleOneSelected, std::string());
    return;
  }
  frmORVEX form(*application_, track::LastObjectId(*layer->featureClass()));
  ui.showModal(form);
}

}  // namespace orvex::ui
