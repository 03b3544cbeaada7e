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
#include "core/data/command_factories.h"
#include "host/component.h"
#include "host/component_library.h"
#include "host/error.h"

namespace {

using orvex::core::CommandDescriptor;
using orvex::host::ClassEntry;
using orvex::host::Guid;

// The three command classes are listed by the host among its toolbar commands.
constexpr Guid kCommand[] = {orvex::host::kCommandCategory};

using CommandMaker = std::unique_ptr<orvex::host::Command> (*)();

/// A command from its part's maker; a part not built into the library has none.
std::shared_ptr<orvex::host::Component> makeCommand(CommandMaker maker, const CommandDescriptor& descriptor) {
  if (maker == nullptr) {
    throw orvex::host::Error(orvex::host::kClassNotAvailable,
                             "Class " + std::string(descriptor.className) + " is not built into orvexcore");
  }
  return std::shared_ptr<orvex::host::Component>(maker());
}

std::shared_ptr<orvex::host::Component> createImport() {
  return makeCommand(&orvex::core::makeOrvexImport, orvex::core::kOrvexImport);
}
std::shared_ptr<orvex::host::Component> createKernel() {
  return makeCommand(&orvex::core::makeOrvexKernel, orvex::core::kOrvexKernel);
}
std::shared_ptr<orvex::host::Component> createMcp() {
  return makeCommand(&orvex::core::makeOrvexMCP, orvex::core::kOrvexMcp);
}

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
