#pragma once

#include <filesystem>
#include <string_view>

namespace orvex::host {

/// The folder for temporary files: $TEMP, else $TMPDIR, else "/tmp" (a variable that is set but
/// empty counts as unset). One trailing separator is removed.
std::filesystem::path temporaryFolder();

/// The environment variable through which a user or a test sets the thread count of the
/// components' numeric loops: a positive integer.
inline constexpr const char* kWorkerThreadsVariable = "ORVEX_THREADS";

/// The value of kWorkerThreadsVariable; 0 (one thread per processor) when it is unset, empty,
/// 0 or not a whole number. An application reads it once, when it is made.
unsigned workerThreadSetting();

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

/// Told of each scratch folder once it is made (true) and before it is removed (false), on the
/// thread that makes or removes it: a host that removes them when a signal stops the run keeps
/// its list so. One watcher per process; null (the default): none.
using ScratchWatcher = void (*)(const std::filesystem::path& folder, bool made);
void watchScratchFolders(ScratchWatcher watcher);

/// Tells the watcher of a scratch folder or file made elsewhere than in a ScratchFolder (an
/// in-place edit's working copy and lock beside the user's file): made (true), or about to be
/// removed or to be kept after the run (false). A stop removes the paths it was told of.
void noteScratchPath(const std::filesystem::path& path, bool made);

/// The folder of the running executable (from /proc/self/exe); empty when it cannot be read,
/// never the current folder (whatever lies there is not ours to load).
std::filesystem::path executableFolder();

/// The file of the loaded shared library (or executable) that contains `address`, made
/// absolute; empty when it cannot be found.
std::filesystem::path moduleFileOf(const void* address);

}  // namespace orvex::host
