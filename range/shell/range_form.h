#pragma once
// What the range tools' dialogs share: controls laid out from a table, the map's layers and the
// chosen layer's fields in their lists, and the output folder, OK and Cancel buttons.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host/form.h"

namespace orvex::host {
class Application;
class Map;
}  // namespace orvex::host

namespace orvex::range {

/// The page of a control below a dialog's tabs, or of every control of a dialog without tabs.
inline constexpr int kNoPage = -1;

/// One control of a dialog's layout: a frame (no container) or a control inside a frame.
struct RangeControlRow {
  host::ControlKind kind;
  const char* name;
  const char* caption;
  const char* frame;  ///< the containing frame, or null
  int page = kNoPage;
  const char* text = nullptr;  ///< initial text, or null
};

/// A range tool's dialog on a map. Its layout names the point layer combo "cmbPntL", the animal
/// ID combo "cmbUIDFLD", and "txtOutFolder", "btnFolder", "btnOK" and "btnCancel", wherever the
/// helpers below that use them are called.
class RangeForm : public host::Form {
 protected:
  RangeForm(std::string_view name, std::string caption, host::Application& application,
            std::shared_ptr<host::Map> map);

  /// Adds the rows in order, each in its frame and on its page, with its text set silently.
  void AddControls(std::span<const RangeControlRow> rows);
  /// The names of the map's point layers, then of its raster layers, appended to a combo.
  void ListPointLayers(std::string_view combo);
  void ListRasterLayers(std::string_view combo);
  /// Empties cmbUIDFLD and lists in it the fields, geometry aside, of the point layer cmbPntL
  /// names; left empty when the map has no such feature layer or the layer no data source.
  void ListIdFields();
  /// txtOutFolder read-only, filled by btnFolder from the host's folder dialog (left as it is
  /// when the person cancels); btnOK calls `run`, and closes the dialog with OK when it returns
  /// true (a completed run); btnCancel cancels.
  void ConnectButtons(std::function<bool()> run);

  host::Application& app() const { return *app_; }
  const std::shared_ptr<host::Map>& map() const { return map_; }

 private:
  host::Application* app_;
  std::shared_ptr<host::Map> map_;
};

}  // namespace orvex::range
