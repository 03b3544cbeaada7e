#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/component.h"
#include "host/status.h"

namespace orvex::host {

class Application;

/// A command's 16x16 image. `resourceId` names the library's bitmap resource (0: none);
/// `argb` holds width*height pixels, row by row from the top, when the library supplies them.
struct Bitmap {
  int resourceId = 0;
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb{};

  bool isNone() const { return resourceId == 0 && argb.empty(); }
};

/// A command the host offers on a toolbar or menu. The host creates it by ProgID, calls
/// `onCreate` once, reads its properties when it draws it and calls `onClick` on every click,
/// always on the user-interface thread.
class Command : public Component {
 public:
  ~Command() override;

  virtual bool enabled() const { return true; }
  virtual bool checked() const { return false; }
  virtual std::string name() const = 0;
  virtual std::string caption() const = 0;
  virtual std::string tooltip() const = 0;
  /// Status-bar text.
  virtual std::string message() const = 0;
  virtual std::string category() const = 0;
  /// Nothing: not implemented (the host shows no help entry).
  virtual std::optional<std::string> helpFile() const { return std::nullopt; }
  virtual std::optional<int> helpContextId() const { return std::nullopt; }
  virtual Bitmap bitmap() const { return {}; }

  /// Called once, before any click. The application outlives the command: the host destroys
  /// its commands before it ends the application, so keeping the reference is safe.
  virtual void onCreate(Application& application) = 0;
  /// Runs the command. Failures come back as a negative status or as `Error`; a command that
  /// reports its own failures to the user returns `kOk`. Nothing else may escape.
  virtual Status onClick() = 0;
};

/// One entry of a toolbar or menu definition.
struct ItemInfo {
  std::string id{};         ///< ProgID of the command or menu
  bool beginGroup = false;  ///< draw a separator before the item
  int subType = 0;
  bool operator==(const ItemInfo&) const = default;
};

/// The items of a toolbar or menu, read by position.
class ItemDefinition : public Component {
 public:
  ~ItemDefinition() override;

  /// The internal name ("Tools").
  virtual std::string name() const = 0;
  /// The visible title ("TALVO Tools").
  virtual std::string caption() const = 0;
  virtual int itemCount() const = 0;
  /// Fills `info` for `position` (0 .. itemCount()-1) and returns true; a position outside
  /// that range leaves `info` untouched and returns false.
  virtual bool itemInfo(int position, ItemInfo& info) const = 0;
};

class ToolBarDef : public ItemDefinition {
 public:
  ~ToolBarDef() override;
};

class MenuDef : public ItemDefinition {
 public:
  ~MenuDef() override;
};

}  // namespace orvex::host
