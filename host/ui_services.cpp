#include "host/ui_services.h"

namespace orvex::host {

std::filesystem::path withDefaultExtension(const std::filesystem::path& path, std::string_view extension) {
  if (extension.empty() || path.filename().empty() || path.has_extension()) return path;
  std::filesystem::path result = path;
  result += ".";
  result += std::string(extension);
  return result;
}

}  // namespace orvex::host
