#include "ui/kde/kde_leftovers.h"

#include <fstream>
#include <system_error>

#include "host/error.h"
#include "ui/gis/shapefile_utils.h"

namespace orvex::ui {
namespace {

constexpr const char* kListHeading =
    "Rasters of a KDE run stopped by the user; a new run into this folder replaces them:";
constexpr const char* kIsoplethSuffixes[] = {"_iso_line", "_iso_poly", "_iso_donut"};

}  // namespace

std::vector<std::string> ReadStoppedRunList(const std::filesystem::path& folder) {
  std::ifstream in(folder / kStoppedRunListName, std::ios::binary);
  std::vector<std::string> names;
  std::string line;
  bool heading = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (heading) {
      heading = false;
      continue;
    }
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

void WriteStoppedRunList(const std::filesystem::path& folder, const std::vector<std::string>& names) {
  const std::filesystem::path path = folder / kStoppedRunListName;
  if (names.empty()) {
    std::error_code error;
    std::filesystem::remove(path, error);
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << kListHeading << "\r\n";
  for (const std::string& name : names) out << name << "\r\n";
  out.close();
  if (!out) throw host::Error(host::kDataError, "The file '" + path.string() + "' could not be written");
}

void DeleteKdeOutputs(host::WorkspaceFactory& workspaces, const std::filesystem::path& folder,
                      const std::string& name) {
  gis::DeleteDataset(workspaces, folder, name);
  for (const char* suffix : kIsoplethSuffixes) gis::DeleteDataset(workspaces, folder, name + suffix);
}

}  // namespace orvex::ui
