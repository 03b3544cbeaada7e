// `orvex register`, `unregister` and `commands`.

#include <ostream>

#include "apps/orvex/cli.h"
#include "host/command.h"
#include "host/component.h"
#include "host/error.h"
#include "host/install_layout.h"

namespace orvex::cli {
namespace {

/// The libraries named, made absolute, or those beside the executable.
std::vector<std::filesystem::path> librariesToRegister(const std::vector<std::string>& named) {
  std::vector<std::filesystem::path> libraries;
  for (const auto& name : named) libraries.push_back(std::filesystem::absolute(name));
  if (!named.empty()) return libraries;
  const auto folder = host::componentFolder();
  libraries = host::componentLibrariesIn(folder);
  if (libraries.empty())
    throw host::Error(host::kFileNotFound, "No component libraries in '" + folder.string() + "'");
  return libraries;
}

}  // namespace

int registerLibraries(const GlobalOptions& global, const std::vector<std::string>& libraries, bool unregister,
                      std::ostream& out) {
  const auto registry = global.registryPath();
  if (registry.empty())
    throw host::Error(host::kPathNotFound,
                      "No registry file: neither XDG_CONFIG_HOME nor HOME names an absolute folder; name one "
                      "with --registry");
  for (const auto& library : librariesToRegister(libraries)) {
    if (unregister) {
      host::unregisterLibrary(library, registry);
      out << "Unregistered " << library.string() << " from " << registry.string() << '\n';
    } else {
      host::registerLibrary(library, registry);
      out << "Registered " << library.string() << " in " << registry.string() << '\n';
    }
  }
  return kExitSuccess;
}

int listCommands(const GlobalOptions& global, std::ostream& out) {
  const host::ComponentRegistry registry = global.openRegistry();
  int result = kExitSuccess;
  for (const host::ClassRecord& record : registry.classesInCategory(host::kCommandCategory)) {
    const std::string& progId =
        record.versionIndependentProgId.empty() ? record.progId : record.versionIndependentProgId;
    out << (progId.empty() ? record.clsid.toString() : progId) << '\n';
    try {
      const auto command = registry.createAs<host::Command>(record.clsid.toString());
      out << "  Name: " << command->name() << '\n'
          << "  Caption: " << command->caption() << '\n'
          << "  Tooltip: " << command->tooltip() << '\n'
          << "  Message: " << command->message() << '\n'
          << "  Category: " << command->category() << '\n';
    } catch (const host::Error& error) {
      // One class that cannot be made does not hide the others; the exit code tells.
      out << "  Error: " << error.description() << '\n';
      result = kExitCommandFailed;
    }
  }
  return result;
}

}  // namespace orvex::cli
