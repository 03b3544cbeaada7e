#pragma once
// What a KDE batch run stopped by the user leaves in its output folder: the rasters it finished
// (with their isopleths) stay, and a list of their names beside them lets a later run into the
// same folder replace them instead of refusing the folder for a naming conflict.
//
// The list, "TALVO_KDE_STOPPED.txt", is CR LF text: a first line saying what it holds, then
// one raster name per line.

#include <filesystem>
#include <string>
#include <vector>

#include "host/workspace.h"

namespace orvex::ui {

inline constexpr const char* kStoppedRunListName = "TALVO_KDE_STOPPED.txt";

/// The raster names listed in `folder`'s stopped-run list, in file order; none when the file is
/// absent or unreadable (the folder is then treated as holding no leftovers).
std::vector<std::string> ReadStoppedRunList(const std::filesystem::path& folder);

/// Writes the list of `names`; an empty list removes the file.
/// @throws host::Error (kDataError) when the file cannot be written.
void WriteStoppedRunList(const std::filesystem::path& folder, const std::vector<std::string>& names);

/// Deletes the raster `name` of `folder` and its isopleth shapefiles (name + "_iso_line",
/// "_iso_poly", "_iso_donut"); what does not exist is passed over.
/// @throws host::Error when one exists but cannot be deleted.
void DeleteKdeOutputs(host::WorkspaceFactory& workspaces, const std::filesystem::path& folder,
                      const std::string& name);

}  // namespace orvex::ui
