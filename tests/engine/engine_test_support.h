#pragma once
// Helpers shared by the engine tests: a private log folder, file reading, fix sets.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/engine/kernel_engine.h"

namespace orvex::core::test {

/// Points TEMP at a fresh folder for the lifetime of the object, so that engines created
/// meanwhile write their log there; restores TEMP and removes the folder afterwards.
class TempLogFolder {
 public:
  TempLogFolder();
  ~TempLogFolder();
  TempLogFolder(const TempLogFolder&) = delete;
  TempLogFolder& operator=(const TempLogFolder&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path log_path() const { return folder_ / "logfile"; }
  /// The log file's bytes as they are on disk now.
  std::string contents() const;

 private:
  std::filesystem::path folder_;
  std::optional<std::string> previous_temp_;
};

/// Sets or unsets an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

std::string read_file(const std::filesystem::path& path);

using Fixes = std::vector<std::pair<double, double>>;

/// Adds every fix (through single precision, as a caller must).
void add_fixes(KernelEngine& engine, const Fixes& fixes);

/// n pseudo-normal fixes (Box-Muller on mt19937, whose output the standard fixes) around
/// (cx, cy) with the given standard deviations.
Fixes normal_fixes(std::size_t n, double cx, double cy, double sx, double sy, std::uint32_t seed);

/// The fixes of one animal from a shared telemetry CSV (AnimalID,X,Y,...), or all fixes when
/// `animal` is empty. Empty when the file cannot be read.
Fixes read_track_csv(const std::filesystem::path& path, const std::string& animal = "");

/// The shared data folder, or nullopt when it is absent (tests then skip).
std::optional<std::filesystem::path> shared_data();

}  // namespace orvex::core::test
