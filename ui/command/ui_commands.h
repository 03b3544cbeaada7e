#pragma once

// The six menu commands of orvexui: their fixed properties, written once, and a base class
// that answers the host from them. A command class of the library derives from `UiCommand`,
// passes its row and adds its `onClick`:
//
//   class ORVEXOBS final : public command::UiCommand {
//    public:
//     ORVEXOBS() : UiCommand(command::kObsCommand) {}
//     host::Status onClick() override;  // application(), document() are kept by onCreate
//   };

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "host/application.h"
#include "host/command.h"
#include "host/component.h"
#include "host/map.h"

namespace orvex::ui::command {

/// The category every orvexui command reports to the host.
inline constexpr std::string_view kUiCommandCategory = "ORVEX9";

/// What a command keeps of the host when it is created.
enum class KeptReferences {
  Application,             ///< the application only
  ApplicationAndDocument,  ///< the application and its document
  /// The application, its document, the document's focus map and the extension of
  /// `extensionUid` (normally none: the system defines no extension).
  ApplicationDocumentMapAndExtension,
};

/// One row of the command table. Enabled is always true, Checked false, no bitmap, help file
/// "" and help context 0 for every row, so they are not columns.
struct UiCommandProperties {
  std::string_view className{};  ///< "FIndDupTime2"
  std::string_view progId{};     ///< as registered: "ORVEX." + class name
  std::string_view name{};
  std::string_view caption{};
  std::string_view tooltip{};
  std::string_view message{};  ///< status-bar text
  KeptReferences kept = KeptReferences::Application;
  std::string_view extensionUid{};  ///< looked up at creation with the full set of references
};

inline constexpr UiCommandProperties kKdeToolCommand{
    "clsKDETool",
    "ORVEX.clsKDETool",
    "ORVEX_KDE",
    "Kernel Density Estimation",
    "Kernel Density Estimation",
    "Kernel Density Estimation",
    KeptReferences::ApplicationDocumentMapAndExtension,
    "ORVEX9.clsKDE",
};

inline constexpr UiCommandProperties kObsCommand{
    "ORVEXOBS",
    "ORVEX.ORVEXOBS",
    "CalcOBS",
    "Calculate Travel Times and Distances",
    "Calc Observation Fields",
    "Calculate Travel Times and Distances",
    KeptReferences::ApplicationAndDocument,
    {},
};

inline constexpr UiCommandProperties kDupTime2Command{
    "FIndDupTime2",
    "ORVEX.FIndDupTime2",
    "RemoveDupsByTime2",
    "Remove Time2 Field Duplicates",
    "Finds and Removes Duplicate points using the time2 field.",
    "Finds and Removes Duplicate points using the time2 field.",
    KeptReferences::ApplicationAndDocument,
    {},
};

inline constexpr UiCommandProperties kDupXyCommand{
    "FindDupxy",
    "ORVEX.FindDupxy",
    "RemoveDupsByxy",
    "Remove X/Y Duplicates",
    "Finds and Removes Duplicate points.",
    "Finds and Removes Duplicate points using the xy field.",
    KeptReferences::ApplicationAndDocument,
    {},
};

inline constexpr UiCommandProperties kMoleCommand{
    "MOLE",
    "ORVEX.MOLE",
    "MOLE",
    "Display Travel",
    "Display Travel",
    "Display Travel",
    KeptReferences::Application,
    {},
};

inline constexpr UiCommandProperties kAboutCommand{
    "clsAbout",
    "ORVEX.clsAbout",
    "ORVEX_About",
    "About...",
    "About...",
    "About...",
    KeptReferences::ApplicationDocumentMapAndExtension,
    "ORVEX9.clsAbout",
};

/// A menu command of orvexui answering the host from its table row. The kept references
/// are released when the command is destroyed.
class UiCommand : public host::Command {
 public:
  /// `properties` is one of the static rows above and outlives the command.
  explicit UiCommand(const UiCommandProperties& properties) : properties_(&properties) {}
  ~UiCommand() override;
  UiCommand(const UiCommand&) = delete;
  UiCommand& operator=(const UiCommand&) = delete;

  /// Always enabled: each click handler checks the map itself and says what is missing.
  bool enabled() const override { return true; }
  bool checked() const override { return false; }
  std::string name() const override { return std::string(properties_->name); }
  std::string caption() const override { return std::string(properties_->caption); }
  std::string tooltip() const override { return std::string(properties_->tooltip); }
  std::string message() const override { return std::string(properties_->message); }
  std::string category() const override { return std::string(kUiCommandCategory); }
  std::optional<std::string> helpFile() const override { return std::string(); }
  std::optional<int> helpContextId() const override { return 0; }
  host::Bitmap bitmap() const override { return {}; }

  /// Keeps what the row's `kept` names. A document without a focus map leaves the map empty.
  void onCreate(host::Application& application) override;

  const UiCommandProperties& properties() const { return *properties_; }

 protected:
  /// The application kept at creation. Throws host::Error (kUnexpected) naming the command
  /// when it is asked for before `onCreate`, since a click cannot do anything without it.
  host::Application& application() const;
  /// Empty unless the row keeps them (or the host had none).
  const std::shared_ptr<host::Document>& document() const { return document_; }
  const std::shared_ptr<host::Map>& focusMap() const { return focusMap_; }
  const std::shared_ptr<host::Component>& extension() const { return extension_; }

 private:
  const UiCommandProperties* properties_;
  host::Application* application_ = nullptr;
  std::shared_ptr<host::Document> document_;
  std::shared_ptr<host::Map> focusMap_;
  std::shared_ptr<host::Component> extension_;
};

}  // namespace orvex::ui::command
