#include "host/version.h"

namespace orvex {

/// Keeps the library's version readable from a loaded module.
extern "C" const char* orvexhost_version() { return kVersion; }

}  // namespace orvex
