#include "apps/orvex/terminal_progress.h"

#include <unistd.h>  // isatty

#include <cmath>
#include <iostream>
#include <string>

#include "apps/orvex/global_options.h"

namespace orvex::cli {

bool drawsProgress(const GlobalOptions& global) {
  return !global.quiet && !global.json && isatty(STDERR_FILENO) != 0;
}

host::ProgressFn runProgress(const GlobalOptions& global) {
  if (!drawsProgress(global)) return {};
  return [](double fraction, std::string_view message) {
    const int percent = static_cast<int>(std::lround(fraction * 100.0));
    std::cerr << "\r\033[K" << percent << "% " << message << (percent >= 100 ? "\n" : "") << std::flush;
    return true;
  };
}

}  // namespace orvex::cli
