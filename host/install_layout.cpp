#include "host/install_layout.h"

#include <system_error>

#include "host/environment.h"

#ifndef ORVEX_INSTALLED_COMPONENT_FOLDER
#define ORVEX_INSTALLED_COMPONENT_FOLDER "../lib/orvex"
#endif

namespace orvex::host {

const char* installedComponentFolder() { return ORVEX_INSTALLED_COMPONENT_FOLDER; }

std::filesystem::path componentFolder() {
  const std::filesystem::path executable = executableFolder();
  if (executable.empty()) return {};
  const std::filesystem::path installed = (executable / installedComponentFolder()).lexically_normal();
  std::error_code error;
  return std::filesystem::is_directory(installed, error) ? installed : executable;
}

std::filesystem::path systemRegistryPath() {
  const std::filesystem::path folder = componentFolder();
  return folder.empty() ? folder : folder / "registry";
}

}  // namespace orvex::host
