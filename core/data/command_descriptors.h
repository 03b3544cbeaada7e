#pragma once

// What orvexcore tells the host about its three commands and its component classes: the
// command properties, class identifiers, ProgIDs and bitmaps.
// The module's class table and each command class read them from here, so a property is
// written once.

#include <string_view>

#include "host/command.h"
#include "host/guid.h"

namespace orvex::core {

/// Bitmap resources of the commands: 16x16 images in 16 colours.
inline constexpr int kImportBitmapResource = 201;
inline constexpr int kKernelBitmapResource = 204;
inline constexpr int kMcpBitmapResource = 205;

/// One component class with its command properties.
struct CommandDescriptor {
  host::Guid clsid{};
  std::string_view className{};                 ///< "orvex_MCP"
  std::string_view description{};               ///< "orvex_MCP Class"
  std::string_view progId{};                    ///< "Orvex8.orvex_MCP.1"
  std::string_view versionIndependentProgId{};  ///< "Orvex8.orvex_MCP"
  std::string_view name{};
  std::string_view caption{};
  std::string_view tooltip{};
  std::string_view message{};
  std::string_view category{};
  int bitmapResource = 0;
};

// Fixed class identifiers: registries and saved toolbars refer to them, so they never change.
inline constexpr CommandDescriptor kOrvexImport{
    host::guid("{0FC74B68-D7A5-4D20-8ED9-40875D58B225}"),
    "orvex_import",
    "orvex_import Class",
    "Orvex8.orvex_import.1",
    "Orvex8.orvex_import",
    "Import Lotek MDB Files",
    "Import Lotek MDB Files",
    "Import Lotek",
    "Imports points from a set of Lotek MDB data files",
    "Orvex",
    kImportBitmapResource,
};

inline constexpr CommandDescriptor kOrvexKernel{
    host::guid("{69D31308-C7A8-48BE-A6D1-8A439946B8FD}"),
    "orvex_kernel",
    "orvex_kernel Class",
    "Orvex8.orvex_kernel.1",
    "Orvex8.orvex_kernel",
    "Kernel Analysis",
    "Kernel Analysis",
    "Kernel Analysis",
    "Performs kernel analysis on a selection of points",
    "Orvex",
    kKernelBitmapResource,
};

inline constexpr CommandDescriptor kOrvexMcp{
    host::guid("{93E68FC4-7456-4C45-A0A2-5CACE436BBAE}"),
    "orvex_MCP",
    "orvex_MCP Class",
    "Orvex8.orvex_MCP.1",
    "Orvex8.orvex_MCP",
    "MCP Analysis",
    "MCP Analysis",
    "MCP Analysis",
    "Performs Minimum Convex Polygon analysis on a selection of points",
    "Orvex",
    kMcpBitmapResource,
};

/// The 16x16 image of a bitmap resource (201, 204, 205), ARGB row by row from the top, with
/// the background transparent; a resource the module does not hold gives `Bitmap{}`.
host::Bitmap commandBitmap(int resourceId);

}  // namespace orvex::core
