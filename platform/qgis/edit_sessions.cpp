#include "platform/qgis/edit_sessions.h"

#include <algorithm>

#include "host/error.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {

void EditSessions::begin(QgsVectorLayer& layer) {
  if (owns(layer)) return;
  const std::string name = toStd(layer.name());
  if (layer.isEditable() && layer.isModified())
    throw host::Error(host::kAccessDenied,
                      "The layer \"" + name +
                          "\" has unsaved edits. Save or discard them (Layer > Toggle Editing), then run "
                          "the tool again.");
  const bool startedHere = !layer.isEditable();
  if (startedHere && !layer.startEditing())
    throw host::Error(host::kAccessDenied,
                      "The layer \"" + name + "\" cannot be edited (its data source is read-only).");
  sessions_.push_back({QPointer<QgsVectorLayer>(&layer), startedHere});
}

bool EditSessions::owns(const QgsVectorLayer& layer) const {
  return std::any_of(sessions_.begin(), sessions_.end(),
                     [&](const Session& session) { return session.layer.data() == &layer; });
}

void EditSessions::commitAll() {
  std::vector<Session> pending;
  pending.swap(sessions_);
  for (std::size_t i = 0; i < pending.size(); ++i) {
    QgsVectorLayer* layer = pending[i].layer.data();
    if (layer == nullptr) continue;  // removed from the project meanwhile
    if (layer->commitChanges(pending[i].startedHere)) continue;
    const std::string errors = toStd(layer->commitErrors().join(QStringLiteral("\n")));
    sessions_.assign(pending.begin() + static_cast<std::ptrdiff_t>(i), pending.end());
    rollBackAll();
    throw host::Error(host::kDataError, "The changes to the layer \"" + toStd(layer->name()) +
                                            "\" could not be saved; they were rolled back.\n" + errors);
  }
}

void EditSessions::rollBackAll() noexcept {
  for (const Session& session : sessions_) {
    QgsVectorLayer* layer = session.layer.data();
    if (layer == nullptr) continue;
    layer->rollBack(session.startedHere);
  }
  sessions_.clear();
}

}  // namespace orvex::platform::qgis
