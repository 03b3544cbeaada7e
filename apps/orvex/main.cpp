#include "apps/orvex/cli.h"
#include "host/zeroed_pages.h"

int main(int argc, char** argv) {
  // GDAL's raster writers allocate and free strips by the thousand; a one-shot program keeps the
  // freed heap rather than fault it in again. (A desktop host keeps its own allocator settings.)
  orvex::host::keepFreedHeapMemory();
  return orvex::cli::runCommandLine(argc, argv);
}
