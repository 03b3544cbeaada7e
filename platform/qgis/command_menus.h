#pragma once

// The toolbars and menus of the desktop host, built from the registered toolbar definitions:
// one Qt toolbar per definition, each menu item a drop-down of the toolbar and a menu of the
// main window's menu bar ("TALVO Tools"), each command an action with its caption, tooltip,
// status text, icon (its bitmap, else its caption drawn small) and enabled state.
//
// An item whose class cannot be made shows as "<ProgID> (not available)", disabled, with the
// reason as its tooltip. While a command runs every action is disabled, so no second command
// starts from inside the first one's event processing.

#include <memory>
#include <string>
#include <vector>

#include <QPointer>

#include "host/command_catalog.h"

class QAction;
class QIcon;
class QMainWindow;
class QMenu;
class QToolBar;

namespace orvex::platform::qgis {

class QgisApplication;

/// An icon from a command's bitmap, or from its caption when it has none.
QIcon commandIcon(const host::Command& command);

class CommandMenus {
 public:
  /// Adds the toolbars and menus to `window`; `catalog` and `application` must outlive this.
  CommandMenus(QMainWindow& window, host::CommandCatalog& catalog, QgisApplication& application);
  /// Removes what it added.
  ~CommandMenus();
  CommandMenus(const CommandMenus&) = delete;
  CommandMenus& operator=(const CommandMenus&) = delete;

  /// Every command action, in menu order (object name "orvex:<ProgID>").
  std::vector<QAction*> actions() const;
  /// The menus added to the menu bar.
  std::vector<QMenu*> menus() const;
  /// Re-reads each command's enabled state (none while a command runs).
  void refreshEnabled();

 private:
  struct Entry {
    QPointer<QAction> action;
    std::shared_ptr<host::Command> command;  // null: not available
    std::string progId;
  };
  QMenu* buildMenu(const host::CommandItem& item, QWidget* parent);
  void run(const Entry& entry);

  QMainWindow& window_;
  host::CommandCatalog& catalog_;
  QgisApplication& application_;
  std::vector<Entry> entries_;
  std::vector<QPointer<QToolBar>> toolbars_;
  std::vector<QPointer<QMenu>> menus_;
  bool running_ = false;
};

}  // namespace orvex::platform::qgis
