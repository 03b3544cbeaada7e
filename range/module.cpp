// The entry points through which a host finds, creates and registers the classes of
// orvexrange. The class table below is the whole of what the library offers.

#include <vector>

#include "host/component.h"
#include "host/component_library.h"
#include "range/bbmm/cls_bbmm_tool.h"

namespace {

using orvex::host::ClassEntry;
using orvex::host::guid;

// Fixed class identifiers: registries refer to them, so they never change.
constexpr orvex::host::Guid kBbmmToolClsid = guid("{3F1E6B52-9C0D-4E7A-B8D1-5A2C7E94F013}");
constexpr orvex::host::Guid kCommand[] = {orvex::host::kCommandCategory};

const std::vector<ClassEntry> kClasses{
    {kBbmmToolClsid, "clsBBMMTool", "clsBBMMTool", "", "ORVEX.clsBBMMTool", kCommand,
     &orvex::host::createComponent<orvex::range::clsBBMMTool>},
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
