#include "platform/qgis/edit_sessions.h"

#include <algorithm>

#include <qgsvectordataprovider.h>

#include "host/error.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {

std::string readOnlyRefusal(const QgsVectorLayer& layer, int capabilities) {
  const QgsVectorDataProvider* provider = layer.dataProvider();
  const auto needed = static_cast<QgsVectorDataProvider::Capabilities::Int>(capabilities);
  const bool providerCan = provider != nullptr && (provider->capabilities() & needed) == needed;
  if (!layer.readOnly() && providerCan) return {};
  const std::string why =
      layer.readOnly() ? "the project marks it read-only" : "its data source cannot be changed";
  return "The layer \"" + toStd(layer.name()) + "\" is read-only (" + why + "), so Orvex cannot change it. " +
         (layer.readOnly() ? "Clear \"Read-only\" in Project > Properties > Data Sources"
                           : "Save it as a shapefile or GeoPackage (Export > Save Features As...)") +
         ", then run the tool again on that layer.";
}

QString EditSessions::commandText(const std::string& caption) {
  return QStringLiteral("Orvex: ") + toQString(caption.empty() ? std::string("edit") : caption);
}

void EditSessions::startRun(const std::string& caption) { commandText_ = commandText(caption); }

void EditSessions::begin(QgsVectorLayer& layer) {
  if (owns(layer)) return;
  const std::string name = toStd(layer.name());
  if (const std::string refusal = readOnlyRefusal(layer, 0); !refusal.empty())
    throw host::Error(host::kAccessDenied, refusal);
  const bool startedHere = !layer.isEditable();
  if (startedHere && !layer.startEditing())
    throw host::Error(host::kAccessDenied,
                      "The layer \"" + name +
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
