#pragma once

namespace orvex {

/// Version of the Orvex tool set, shown by `orvex --version` and written to the registry.
inline constexpr const char* kVersion = "0.1.0";

}  // namespace orvex
