#include "apps/orvex/terminal_progress.h"

#include <unistd.h>  // isatty

#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include "apps/orvex/global_options.h"
#include "platform/headless/status_bar.h"

namespace orvex::cli {

bool drawsProgress(const GlobalOptions& global) {
  return !global.quiet && !global.json && !global.progressLines && isatty(STDERR_FILENO) != 0;
}

host::ProgressFn runProgress(const GlobalOptions& global) {
  if (global.progressLines) {
    auto lines = std::make_shared<platform::headless::ProgressLines>(std::cerr);
    return [lines](double fraction, std::string_view message) {
      lines->draw(fraction, message);
      return true;
    };
  }
  if (!drawsProgress(global)) return {};
  return [](double fraction, std::string_view message) {
    const int percent = static_cast<int>(std::lround(fraction * 100.0));
    std::cerr << "\r\033[K" << percent << "% " << message << (percent >= 100 ? "\n" : "") << std::flush;
    return true;
  };
}

}  // namespace orvex::cli
