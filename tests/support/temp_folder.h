#pragma once

// A private temporary folder for a test.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace orvex::test {

/// A fresh folder under the system's temporary directory, removed with everything in it when
/// the object goes. The name carries `tag`, the process id, a clock reading and a counter, so
/// parallel test processes never share one.
class TempFolder {
 public:
  explicit TempFolder(std::string_view tag = "test") {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("orvex_" + std::string(tag) + "_" + std::to_string(::getpid()) + "_" + std::to_string(stamp) +
             "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace orvex::test
