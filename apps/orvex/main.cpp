#include "apps/orvex/cli.h"

int main(int argc, char** argv) { return orvex::cli::runCommandLine(argc, argv); }
