#pragma once

#include <filesystem>
#include <string_view>

namespace orvex::host {

/// The folder for temporary files: $TEMP, else $TMPDIR, else "/tmp" (a variable that is set but
/// empty counts as unset). One trailing separator is removed.
std::filesystem::path temporaryFolder();

/// A private folder made in `temporaryFolder()` (mkdtemp: "<prefix>" and six random characters),
/// removed with everything in it when the object goes; a folder that cannot be removed is left
/// behind, never fatal. Each object has a folder of its own, also across processes. Throws
/// Error (kAccessDenied) naming the temporary folder when the folder cannot be made.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view prefix = "orvex-");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// The folder of the running executable (from /proc/self/exe).
std::filesystem::path executableFolder();

/// The file of the loaded shared library (or executable) that contains `address`, made
/// absolute; empty when it cannot be found.
std::filesystem::path moduleFileOf(const void* address);

}  // namespace orvex::host
