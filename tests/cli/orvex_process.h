#pragma once

// The `orvex` runner of the tests lives in the shared test support; this name stays for the
// test areas that still include it.

#include "support/orvex_process.h"
