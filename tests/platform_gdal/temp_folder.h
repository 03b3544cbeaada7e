#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace orvex::test {

/// A fresh folder under the system's temporary directory, removed with everything in it when
/// the object goes. The name carries the process id, a clock reading and a counter, so parallel
/// test processes never share one.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ =
        std::filesystem::temp_directory_path() / ("orvex_gdal_" + std::to_string(::getpid()) + "_" +
                                                  std::to_string(stamp) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace orvex::test
