#include "apps/orvex/cli.h"
#include "apps/orvex/stop_signals.h"

int main(int argc, char** argv) {
  orvex::cli::removeScratchFoldersOnStop();
  return orvex::cli::runCommandLine(argc, argv);
}
