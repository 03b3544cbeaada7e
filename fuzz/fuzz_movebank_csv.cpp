// libFuzzer target for Movebank CSV text. Any bytes read without fault: either a host::Error
// naming the file, or fixes whose animal is named (no NUL, which would cut the name short
// where it is written), within the degree ranges, and counted among the rows read.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "host/error.h"
#include "platform/gdal/movebank_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvex::platform::gdal;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<MovebankFix> fixes;
  MovebankCounts counts;
  try {
    readMovebankCsv(in, "fuzz.csv", {}, fixes, counts);
  } catch (const orvex::host::Error& error) {
    if (error.description().rfind("fuzz.csv:", 0) != 0) std::abort();
    return 0;
  }
  if (fixes.size() > counts.rows) std::abort();
  for (const MovebankFix& fix : fixes)
    if (fix.animal.empty() || fix.animal.find('\0') != std::string::npos ||
        !(std::fabs(fix.longitude) <= 180) || !(std::fabs(fix.latitude) <= 90) ||
        !(fix.fraction >= 0 && fix.fraction < 1))
      std::abort();
  return 0;
}
