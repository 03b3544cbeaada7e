#pragma once

// The makers of the three command classes, one per part of the library, for the module's
// class table (core/data/module.cpp).
//
// The Kernel Analysis and MCP makers are defined by their own parts (core/kernel, core/mcp).
// They are declared weak so that the library still links while a part is not built yet; the
// class table then answers kClassNotAvailable for that class instead of failing to load.

#include <memory>

#include "host/command.h"

namespace orvex::core {

/// The Lotek import command, orvex_import (core/data).
std::unique_ptr<host::Command> makeOrvexImport();
/// The Kernel Analysis command, orvex_kernel (core/kernel).
[[gnu::weak]] std::unique_ptr<host::Command> makeOrvexKernel();
/// The MCP Analysis command, orvex_MCP (core/mcp).
[[gnu::weak]] std::unique_ptr<host::Command> makeOrvexMCP();

}  // namespace orvex::core
