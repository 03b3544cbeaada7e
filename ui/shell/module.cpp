// The entry points through which a host finds, creates and registers the classes of orvexui.
// The class table below is the whole of what the library offers: a class is made available
// by adding its row (and its header); nothing else needs to change.
//
// Every class registers the ProgID "ORVEX.<class name>" (no versioned ProgID). The host
// matches ProgIDs without regard to letter case, so "ORVEX.toolsMenu" in the toolbar finds the
// row of ToolsMenu and "ORVEX.orvexobs" in the menu finds ORVEXOBS.
//
// Menu commands take their properties from ui/command/ui_commands.h. A command whose class has
// not landed yet has a row with no create function: its ProgID is reserved, the host can
// not create it (and does not list it among its commands) and the menu shows the item as
// unavailable. When the class lands, its row becomes, for example:
//
//   CommandRow(kObsClsid, command::kObsCommand, &create<ORVEXOBS>),
//
// with its header included above. Nothing else changes.

#include <memory>
#include <span>
#include <vector>

#include "host/component.h"
#include "host/component_library.h"
#include "ui/command/ui_commands.h"
#include "ui/gis/cls_hiso.h"
#include "ui/kde/cls_kde_tool.h"
#include "ui/kde/cls_kde_uds.h"
#include "ui/kde/cls_kernel_calculator.h"
#include "ui/kde/cls_lscv.h"
#include "ui/shell/cls_about.h"
#include "ui/shell/toolbar.h"
#include "ui/tools/dup_time2.h"
#include "ui/tools/dup_xy.h"
#include "ui/tools/mole.h"
#include "ui/tools/orvexobs.h"

namespace {

using orvex::host::ClassEntry;
using orvex::host::CreateFn;
using orvex::host::Guid;
using orvex::host::guid;
namespace ui = orvex::ui;
namespace command = orvex::ui::command;

// Fixed class identifiers: registries and saved toolbars refer to them, so they never change.
constexpr Guid kToolBarClsid = guid("{8820DCA9-DAAC-4C42-AF7F-2BA20DD879ED}");     // Orvex9ui
constexpr Guid kToolsMenuClsid = guid("{6E0E0CCF-C798-427E-83CC-E3587967BFCC}");   // ToolsMenu
constexpr Guid kKdeToolClsid = guid("{652DAEED-B4A8-42B5-8926-6E48AD5EC79A}");     // clsKDETool
constexpr Guid kObsClsid = guid("{ACBD5445-9930-4B58-955C-A146D0B6B094}");         // ORVEXOBS
constexpr Guid kDupTime2Clsid = guid("{C637CB37-A847-47AB-85CE-1BA778ED3EFC}");    // FIndDupTime2
constexpr Guid kDupXyClsid = guid("{CCE82996-6684-4261-A353-A1BA4014A3CD}");       // FindDupxy
constexpr Guid kMoleClsid = guid("{1C15B40E-DDB4-4187-A397-0FC51B4BE095}");        // MOLE
constexpr Guid kAboutClsid = guid("{AA3B8A5A-AB90-4290-B1C1-6197597117A8}");       // clsAbout
constexpr Guid kCalculatorClsid = guid("{6D9F4EDF-FE3A-4AC4-9746-54516E6AA34C}");  // clsKernelCalculator
constexpr Guid kLscvClsid = guid("{DC816E3D-EC12-467E-9F9E-B7A1B293DCAA}");        // clsLSCV
constexpr Guid kHisoClsid = guid("{6718714F-1F7D-4D9E-91FB-A4E1ECA11165}");        // clsHISO
constexpr Guid kKdeUdsClsid = guid("{2B9E6F41-7C3D-4A85-9E12-6F0B8D4C3A97}");      // clsKDEUDs

// Categories: the toolbar definition, the menu definition, and the menu commands.
constexpr Guid kToolBar[] = {orvex::host::kToolBarCategory};
constexpr Guid kMenu[] = {orvex::host::kMenuCategory};
constexpr Guid kCommand[] = {orvex::host::kCommandCategory};

template <class T>
std::shared_ptr<orvex::host::Component> create() {
  return std::make_shared<T>();
}

// The worker classes of the KDE tool are plain classes; the host receives them as components
// and reaches the worker with std::dynamic_pointer_cast<clsLSCV> (a cross cast).
template <class Worker>
class CreatableWorker final : public orvex::host::Component, public Worker {};

// A menu command. A row without a create function reserves the ProgID and stays out of the
// command category, so hosts listing their commands do not trip over it.
ClassEntry CommandRow(const Guid& clsid, const command::UiCommandProperties& row, CreateFn make) {
  const std::span<const Guid> categories =
      make != nullptr ? std::span<const Guid>(kCommand) : std::span<const Guid>();
  return {clsid, row.className, row.className, "", row.progId, categories, make};
}

const std::vector<ClassEntry> kClasses{
    {kToolBarClsid, "Orvex9ui", "Orvex9ui", "", "ORVEX.Orvex9ui", kToolBar, &create<ui::Orvex9ui>},
    {kToolsMenuClsid, "ToolsMenu", "ToolsMenu", "", "ORVEX.ToolsMenu", kMenu, &create<ui::ToolsMenu>},
    CommandRow(kKdeToolClsid, command::kKdeToolCommand, &create<ui::clsKDETool>),
    CommandRow(kObsClsid, command::kObsCommand, &create<ui::ORVEXOBS>),
    CommandRow(kDupTime2Clsid, command::kDupTime2Command, &create<ui::FIndDupTime2>),
    CommandRow(kDupXyClsid, command::kDupXyCommand, &create<ui::FindDupxy>),
    CommandRow(kMoleClsid, command::kMoleCommand, &create<ui::MOLE>),
    CommandRow(kAboutClsid, command::kAboutCommand, &create<ui::clsAbout>),
    {kCalculatorClsid,
     "clsKernelCalculator",
     "clsKernelCalculator",
     "",
     "ORVEX.clsKernelCalculator",
     {},
     &create<CreatableWorker<ui::clsKernelCalculator>>},
    {kLscvClsid, "clsLSCV", "clsLSCV", "", "ORVEX.clsLSCV", {}, &create<CreatableWorker<ui::clsLSCV>>},
    {kHisoClsid, "clsHISO", "clsHISO", "", "ORVEX.clsHISO", {}, &create<ui::clsHISO>},
    {kKdeUdsClsid, "clsKDEUDs", "clsKDEUDs", "", "ORVEX.clsKDEUDs", {}, &create<ui::clsKDEUDs>},
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
