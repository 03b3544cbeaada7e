#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/command.h"
#include "host/registry.h"

namespace orvex::host {

class Application;

/// One entry of a toolbar or menu as the host shows it.
struct CommandItem {
  ItemInfo info{};                     ///< as the definition returned it
  std::shared_ptr<Command> command{};  ///< set when the item is a command
  std::shared_ptr<MenuDef> menu{};     ///< set when the item is a menu
  std::vector<CommandItem> items{};    ///< a menu's items, in order
  std::string problem{};               ///< why the item could not be made; empty when fine
};

/// A toolbar with its items.
struct CommandBar {
  std::string progId{};
  std::shared_ptr<ToolBarDef> definition{};
  std::vector<CommandItem> items{};
};

/// What a host builds at start-up from its registry: every toolbar of `kToolBarCategory` with
/// its menus and commands (items resolved by ProgID), then every other class of
/// `kCommandCategory`. Each command class is created once, whatever letter case or ProgID form
/// names it, and its `onCreate` runs once, before anyone can click it.
///
/// An item that cannot be made (unknown ProgID, library not loadable, not a command or menu)
/// is kept with its `problem`; the rest of the start-up goes on.
///
/// The catalog owns the commands: destroy it before the application.
class CommandCatalog {
 public:
  CommandCatalog(const ComponentRegistry& registry, Application& application);

  /// The toolbars in ProgID order (ASCII letter case ignored).
  const std::vector<CommandBar>& toolbars() const { return toolbars_; }
  /// Every command made, in creation order (toolbar items first).
  const std::vector<std::shared_ptr<Command>>& commands() const { return commands_; }
  /// Problems met while building, one line each.
  const std::vector<std::string>& problems() const { return problems_; }

  /// The command of that ProgID or CLSID, made (and given `onCreate`) on first request. Throws
  /// `Error` like `ComponentRegistry::create`, (kNoInterface) when the class is not a command.
  std::shared_ptr<Command> command(std::string_view progIdOrClsid);

 private:
  CommandItem makeItem(const ItemInfo& info, int depth);

  const ComponentRegistry* registry_;
  Application* application_;
  std::vector<CommandBar> toolbars_;
  std::vector<std::shared_ptr<Command>> commands_;
  std::map<Guid, std::shared_ptr<Command>> byClass_;
  std::vector<std::string> problems_;
};

}  // namespace orvex::host
