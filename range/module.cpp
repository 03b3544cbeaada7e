// The entry points through which a host finds, creates and registers the classes of
// orvexrange. The class table below is the whole of what the library offers.

#include <vector>

#include "host/component.h"
#include "host/component_library.h"
#include "range/bbmm/cls_bbmm_tool.h"
#include "range/locoh/cls_locoh_tool.h"
#include "range/overlap/cls_overlap_tool.h"
#include "range/shell/range_menu.h"

namespace {

using orvex::host::ClassEntry;
using orvex::host::guid;

// Fixed class identifiers: registries refer to them, so they never change.
constexpr orvex::host::Guid kBbmmToolClsid = guid("{3F1E6B52-9C0D-4E7A-B8D1-5A2C7E94F013}");
constexpr orvex::host::Guid kLocohToolClsid = guid("{A4C83E17-5F2B-4D90-8B6E-1D7F39C2E5A8}");
constexpr orvex::host::Guid kOverlapToolClsid = guid("{E61B9D2C-3A47-4F08-9C5D-7B2E18A4F6C3}");
constexpr orvex::host::Guid kToolBarClsid = guid("{7C2D4A19-0B8E-4F63-9A57-E3D1B6C08F24}");
constexpr orvex::host::Guid kMenuClsid = guid("{5B8F1E03-6D2A-4C97-8E40-A9F3C27D1B65}");
constexpr orvex::host::Guid kCommand[] = {orvex::host::kCommandCategory};
constexpr orvex::host::Guid kToolBar[] = {orvex::host::kToolBarCategory};
constexpr orvex::host::Guid kMenu[] = {orvex::host::kMenuCategory};

const std::vector<ClassEntry> kClasses{
    {kToolBarClsid, "RangeToolbar", "RangeToolbar", "", "ORVEX.RangeToolbar", kToolBar,
     &orvex::host::createComponent<orvex::range::RangeToolbar>},
    {kMenuClsid, "RangeMenu", "RangeMenu", "", "ORVEX.RangeMenu", kMenu,
     &orvex::host::createComponent<orvex::range::RangeMenu>},
    {kBbmmToolClsid, "clsBBMMTool", "clsBBMMTool", "", "ORVEX.clsBBMMTool", kCommand,
     &orvex::host::createComponent<orvex::range::clsBBMMTool>},
    {kLocohToolClsid, "clsLOCOHTool", "clsLOCOHTool", "", "ORVEX.clsLOCOHTool", kCommand,
     &orvex::host::createComponent<orvex::range::clsLOCOHTool>},
    {kOverlapToolClsid, "clsOverlapTool", "clsOverlapTool", "", "ORVEX.clsOverlapTool", kCommand,
     &orvex::host::createComponent<orvex::range::clsOverlapTool>},
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
