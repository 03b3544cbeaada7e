// The entry points through which a host finds, creates and registers the classes of orvexui.
// The class table below is the whole of what the library offers: a class is made available
// by adding its row (and its header); nothing else needs to change.
//
// Row: {CLSID, class name, description, "" (no versioned ProgID), "ORVEX.<class name>",
//       categories, &host::createComponent<Class>}
// The host matches ProgIDs without regard to letter case, so "ORVEX.toolsMenu" in the
// toolbar finds the row of ToolsMenu.

#include <vector>

#include "host/component.h"
#include "host/component_library.h"
#include "ui/gis/cls_hiso.h"
#include "ui/kde/cls_kde_tool.h"
#include "ui/tools/dup_time2.h"
#include "ui/tools/dup_xy.h"
#include "ui/tools/orvexobs.h"

namespace {

using orvex::host::ClassEntry;
using orvex::host::Guid;
using orvex::host::guid;

// Fixed class identifiers: registries and saved toolbars refer to them, so they never change.
[[maybe_unused]] constexpr Guid kToolBarClsid = guid("{8820DCA9-DAAC-4C42-AF7F-2BA20DD879ED}");  // Orvex9ui
[[maybe_unused]] constexpr Guid kToolsMenuClsid =
    guid("{6E0E0CCF-C798-427E-83CC-E3587967BFCC}");                                            // ToolsMenu
constexpr Guid kKdeToolClsid = guid("{652DAEED-B4A8-42B5-8926-6E48AD5EC79A}");                 // clsKDETool
constexpr Guid kObsClsid = guid("{ACBD5445-9930-4B58-955C-A146D0B6B094}");                     // ORVEXOBS
constexpr Guid kDupTime2Clsid = guid("{C637CB37-A847-47AB-85CE-1BA778ED3EFC}");                // FIndDupTime2
constexpr Guid kDupXyClsid = guid("{CCE82996-6684-4261-A353-A1BA4014A3CD}");                   // FindDupxy
[[maybe_unused]] constexpr Guid kMoleClsid = guid("{1C15B40E-DDB4-4187-A397-0FC51B4BE095}");   // MOLE
[[maybe_unused]] constexpr Guid kAboutClsid = guid("{AA3B8A5A-AB90-4290-B1C1-6197597117A8}");  // clsAbout
[[maybe_unused]] constexpr Guid kCalculatorClsid =
    guid("{6D9F4EDF-FE3A-4AC4-9746-54516E6AA34C}");  // clsKernelCalculator
[[maybe_unused]] constexpr Guid kLscvClsid = guid("{DC816E3D-EC12-467E-9F9E-B7A1B293DCAA}");  // clsLSCV
constexpr Guid kHisoClsid = guid("{6718714F-1F7D-4D9E-91FB-A4E1ECA11165}");                   // clsHISO

// Categories: the toolbar definition, the menu definition, and the six menu commands.
[[maybe_unused]] constexpr Guid kToolBar[] = {orvex::host::kToolBarCategory};
[[maybe_unused]] constexpr Guid kMenu[] = {orvex::host::kMenuCategory};
constexpr Guid kCommand[] = {orvex::host::kCommandCategory};

const std::vector<ClassEntry> kClasses{
    {kKdeToolClsid, "clsKDETool", "clsKDETool", "", "ORVEX.clsKDETool", kCommand,
     &orvex::host::createComponent<orvex::ui::clsKDETool>},
    {kObsClsid, "ORVEXOBS", "ORVEXOBS", "", "ORVEX.ORVEXOBS", kCommand,
     &orvex::host::createComponent<orvex::ui::ORVEXOBS>},
    {kDupTime2Clsid, "FIndDupTime2", "FIndDupTime2", "", "ORVEX.FIndDupTime2", kCommand,
     &orvex::host::createComponent<orvex::ui::FIndDupTime2>},
    {kDupXyClsid, "FindDupxy", "FindDupxy", "", "ORVEX.FindDupxy", kCommand,
     &orvex::host::createComponent<orvex::ui::FindDupxy>},
    {kHisoClsid,
     "clsHISO",
     "clsHISO",
     "",
     "ORVEX.clsHISO",
     {},
     &orvex::host::createComponent<orvex::ui::clsHISO>},
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
