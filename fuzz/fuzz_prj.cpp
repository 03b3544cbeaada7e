// libFuzzer target for the text of a shapefile's .prj: any bytes are judged without fault, and
// a problem found is always said in words.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/gdal/prj_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto problem = orvex::platform::gdal::prjTextProblem(text);
  if (problem && problem->empty()) std::abort();
  return 0;
}
