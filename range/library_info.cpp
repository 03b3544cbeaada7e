#include "host/version.h"

/// Version of the component library, readable by a host that loaded it.
extern "C" const char* orvexrange_version() { return orvex::kVersion; }
