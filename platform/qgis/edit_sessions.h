#pragma once

// The editing sessions a command run opens on the layers it changes in place.
//
// A command's in-place edits (new fields, changed values, deleted features) go through the
// layer's own editing session, so that QGIS's undo stack and commit apply and the map shows the
// change at once. The first write of a run starts the session; the run ends it once: `commitAll`
// when the command succeeded, `rollBackAll` when it failed, so a layer is never left half
// written.

#include <string>
#include <vector>

#include <qgsvectorlayer.h>
#include <QPointer>

namespace orvex::platform::qgis {

class EditSessions {
 public:
  /// Makes `layer` editable for this run. Throws host::Error (kAccessDenied) naming the layer
  /// when it already has unsaved edits of the user's, or cannot be edited at all.
  void begin(QgsVectorLayer& layer);
  /// True when `layer` is edited by this run.
  bool owns(const QgsVectorLayer& layer) const;

  /// Commits every session; stops editing on layers this run put into editing mode. Throws
  /// host::Error (kDataError) with QGIS's commit errors when a commit fails; that layer and
  /// those not yet committed are rolled back.
  void commitAll();
  /// Discards every session's edits. Never throws.
  void rollBackAll() noexcept;
  bool empty() const { return sessions_.empty(); }

 private:
  struct Session {
    QPointer<QgsVectorLayer> layer;
    bool startedHere = false;
  };
  std::vector<Session> sessions_;
};

}  // namespace orvex::platform::qgis
