// libFuzzer target for the component registry file. A file is either refused with a host
// Error or read; what was read, written back and read again, is the same records.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/error.h"
#include "host/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvex::host;
  static const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvex_fuzz_registry_" + std::to_string(::getpid()));
  static const std::filesystem::path input = folder / "in";
  static const std::filesystem::path output = folder / "out";
  std::filesystem::create_directories(folder);
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    const auto records = readRegistryFile(input);
    writeRegistryFile(output, records);
    if (readRegistryFile(output) != records) std::abort();
  } catch (const Error&) {
  }
  return 0;
}
