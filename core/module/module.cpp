// The entry points through which a host finds, creates and registers the classes of
// orvexcore. The class table below is the whole of what the library offers: a class is made
// available by adding its row (and its header); nothing else needs to change.
//
// Row: {CLSID, class name, "<class name> Class", version-dependent ProgID,
//       version-independent ProgID, categories, create function}; the command classes take
// theirs from their descriptors (core/data/command_descriptors.h).

#include <memory>
#include <string>
#include <vector>

#include "core/data/command_descriptors.h"
#include "core/data/orvex_import.h"
#include "core/kernel/orvex_kernel.h"
#include "core/mcp/orvex_mcp.h"
#include "host/component.h"
#include "host/component_library.h"

namespace {

using orvex::core::CommandDescriptor;
using orvex::host::ClassEntry;
using orvex::host::Guid;

// The three command classes are listed by the host among its toolbar commands.
constexpr Guid kCommand[] = {orvex::host::kCommandCategory};

// Each part of the library makes its own command.
std::shared_ptr<orvex::host::Component> createImport() { return orvex::core::makeOrvexImport(); }
std::shared_ptr<orvex::host::Component> createKernel() { return orvex::core::makeOrvexKernel(); }
std::shared_ptr<orvex::host::Component> createMcp() { return orvex::core::makeOrvexMCP(); }

ClassEntry commandRow(const CommandDescriptor& descriptor, orvex::host::CreateFn create) {
  return {descriptor.clsid,
          descriptor.className,
          descriptor.description,
          descriptor.progId,
          descriptor.versionIndependentProgId,
          kCommand,
          create};
}

// In this order: orvex_import, orvex_kernel, orvex_MCP.
const std::vector<ClassEntry> kClasses{
    commandRow(orvex::core::kOrvexImport, &createImport),
    commandRow(orvex::core::kOrvexKernel, &createKernel),
    commandRow(orvex::core::kOrvexMcp, &createMcp),
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
