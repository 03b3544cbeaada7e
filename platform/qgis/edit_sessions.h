#pragma once

// The edits a command run makes to the layers it changes in place, made as QGIS's own editing
// tools make them.
//
// A command's in-place edits (new fields, changed values, deleted features) go into the layer's
// edit buffer: the first write of a run puts the layer into editing mode when it is not in it
// already, and opens one undo command on it named for the run. The run ends it once: `keepAll`
// when the command's edits stand, which closes the undo command and leaves the changes in the
// buffer, uncommitted (the user saves them, or undoes the whole run with Edit > Undo);
// `discardAll` when the run failed, which undoes the command, so that the layer is as it was
// before the run, the user's own unsaved edits included.

#include <string>
#include <vector>

#include <qgsvectorlayer.h>
#include <QPointer>

namespace orvex::platform::qgis {

/// Why `layer` cannot take a run's edits that need the data provider's `capabilities`
/// (QgsVectorDataProvider flags; 0: none beyond editing itself): the plug-in's message naming
/// the layer and saying what to do; empty when it can take them. A layer is read-only when the
/// project marks it so or its data source cannot make those changes.
std::string readOnlyRefusal(const QgsVectorLayer& layer, int capabilities);

class EditSessions {
 public:
  /// Names the undo command of the next run's edits ("Orvex: " + `caption`).
  void startRun(const std::string& caption);

  /// Opens the run's undo command on `layer`, putting the layer into editing mode first when
  /// it is not in it. A layer the user is editing is worked on through its buffer, with its
  /// unsaved edits. Throws host::Error (kAccessDenied) with a message naming the layer when it
  /// is read-only or QGIS refuses to edit it.
  void begin(QgsVectorLayer& layer);
  /// True when the run has opened its undo command on `layer`.
  bool owns(const QgsVectorLayer& layer) const;

  /// Closes every layer's undo command, leaving its changes in the edit buffer, uncommitted,
  /// as one step of the layer's undo stack. Never throws.
  void keepAll() noexcept;
  /// Undoes every layer's undo command; a layer this run put into editing mode leaves it again.
  /// Never throws.
  void discardAll() noexcept;
  bool empty() const { return sessions_.empty(); }

  /// The name of the undo command of runs of a command with this caption.
  static QString commandText(const std::string& caption);

 private:
  struct Session {
    QPointer<QgsVectorLayer> layer;
    bool startedHere = false;
  };
  std::vector<Session> sessions_;
  QString commandText_ = commandText("");
};

}  // namespace orvex::platform::qgis
