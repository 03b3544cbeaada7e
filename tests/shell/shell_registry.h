#pragma once

// The component registry of the build folder: both component libraries, registered in memory,
// so that the shell tests create classes exactly as the host does.

#include <filesystem>

#include "host/registry.h"

namespace orvex::test {

inline const host::ComponentRegistry& buildRegistry() {
  static const host::ComponentRegistry registry =
      host::ComponentRegistry::fromFolder(std::filesystem::path(ORVEX_BIN_DIR));
  return registry;
}

}  // namespace orvex::test
