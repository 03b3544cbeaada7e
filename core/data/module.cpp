// The entry points through which a host finds, creates and registers the classes of
// orvexcore. The class table below is the whole of what the library offers: a class is made
// available by adding its row (and its header); nothing else needs to change.
//
// Row: {CLSID, class name, "<class name> Class", version-dependent ProgID,
//       version-independent ProgID, categories, &host::createComponent<Class>}

#include <vector>

#include "host/component.h"
#include "host/component_library.h"

namespace {

using orvex::host::ClassEntry;
using orvex::host::Guid;
using orvex::host::guid;

// Fixed class identifiers: registries and saved toolbars refer to them, so they never change.
[[maybe_unused]] constexpr Guid kImportClsid =
    guid("{0FC74B68-D7A5-4D20-8ED9-40875D58B225}");  // orvex_import
[[maybe_unused]] constexpr Guid kKernelClsid =
    guid("{69D31308-C7A8-48BE-A6D1-8A439946B8FD}");                                          // orvex_kernel
[[maybe_unused]] constexpr Guid kMcpClsid = guid("{93E68FC4-7456-4C45-A0A2-5CACE436BBAE}");  // orvex_MCP

// The three command classes are listed by the host among its toolbar commands.
[[maybe_unused]] constexpr Guid kCommand[] = {orvex::host::kCommandCategory};

// In this order: orvex_import, orvex_kernel, orvex_MCP, e.g.
//   {kMcpClsid, "orvex_MCP", "orvex_MCP Class", "Orvex8.orvex_MCP.1", "Orvex8.orvex_MCP", kCommand,
//    &orvex::host::createComponent<orvex::core::OrvexMcp>},
const std::vector<ClassEntry> kClasses{};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
