#include "platform/qgis/edit_sessions.h"

#include <algorithm>

#include "host/error.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {

QString EditSessions::commandText(const std::string& caption) {
  return QStringLiteral("Orvex: ") + toQString(caption.empty() ? std::string("edit") : caption);
}

void EditSessions::startRun(const std::string& caption) { commandText_ = commandText(caption); }

void EditSessions::begin(QgsVectorLayer& layer) {
  if (owns(layer)) return;
  const std::string name = toStd(layer.name());
  if (layer.readOnly())
    throw host::Error(host::kAccessDenied,
                      "The layer \"" + name +
                          "\" is read-only, so Orvex cannot change it. Clear \"Read-only\" in the project's "
                          "layer settings (Project > Properties > Data Sources), or save a copy of the layer, "
                          "then run the tool again.");
  const bool startedHere = !layer.isEditable();
  if (startedHere && !layer.startEditing())
    throw host::Error(host::kAccessDenied, "The layer \"" + name +
                                               "\" cannot be edited (QGIS refused to start editing it), so Orvex "
                                               "cannot change it.");
  // One undo step for the whole run, however many features and fields it changes.
  layer.beginEditCommand(commandText_);
  sessions_.push_back({QPointer<QgsVectorLayer>(&layer), startedHere});
}

bool EditSessions::owns(const QgsVectorLayer& layer) const {
  return std::any_of(sessions_.begin(), sessions_.end(),
                     [&](const Session& session) { return session.layer.data() == &layer; });
}

void EditSessions::keepAll() noexcept {
  for (const Session& session : sessions_) {
    QgsVectorLayer* layer = session.layer.data();
    if (layer == nullptr) continue;  // removed from the project meanwhile
    layer->endEditCommand();
  }
  sessions_.clear();
}

void EditSessions::discardAll() noexcept {
  for (const Session& session : sessions_) {
    QgsVectorLayer* layer = session.layer.data();
    if (layer == nullptr) continue;
    layer->destroyEditCommand();
    // The buffer holds nothing but what the run did, now undone: editing mode ends as it began.
    if (session.startedHere) layer->rollBack(true);
  }
  sessions_.clear();
}

}  // namespace orvex::platform::qgis
