#include "engine_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace orvex::core::test {

namespace {

std::optional<std::string> get_env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void set_env(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

std::filesystem::path unique_folder(const char* stem) {
  static std::atomic<int> counter{0};
  auto folder = std::filesystem::temp_directory_path() /
                (std::string(stem) + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// Test processes run in parallel: each points TEMP at its own folder, so that no engine of
// this suite ever writes a shared log file.
class ProcessLogFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = unique_folder("orvex-engine-test");
    ::setenv("TEMP", folder_.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::filesystem::path folder_;
};

[[maybe_unused]] ::testing::Environment* const process_log_folder =
    ::testing::AddGlobalTestEnvironment(new ProcessLogFolder);

}  // namespace

TempLogFolder::TempLogFolder() : folder_(unique_folder("orvex-engine-log")), previous_temp_(get_env("TEMP")) {
  ::setenv("TEMP", folder_.c_str(), 1);
}

TempLogFolder::~TempLogFolder() {
  set_env("TEMP", previous_temp_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string TempLogFolder::contents() const { return read_file(log_path()); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name), previous_(get_env(name)) {
  set_env(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
}

ScopedEnv::~ScopedEnv() { set_env(name_.c_str(), previous_); }

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void add_fixes(KernelEngine& engine, const Fixes& fixes) {
  for (const auto& [x, y] : fixes) engine.Add_Point(static_cast<float>(x), static_cast<float>(y));
}

Fixes normal_fixes(std::size_t n, double cx, double cy, double sx, double sy, std::uint32_t seed) {
  std::mt19937 random(seed);
  auto uniform = [&]() { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  Fixes fixes;
  for (std::size_t k = 0; k < n; ++k) {
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    const double a = 2.0 * 3.141592653589793 * uniform();
    fixes.emplace_back(cx + sx * r * std::cos(a), cy + sy * r * std::sin(a));
  }
  return fixes;
}

Fixes read_track_csv(const std::filesystem::path& path, const std::string& animal) {
  std::ifstream in(path);
  Fixes fixes;
  std::string line;
  if (!std::getline(in, line)) return fixes;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string id, x, y;
    if (!std::getline(row, id, ',') || !std::getline(row, x, ',') || !std::getline(row, y, ',')) continue;
    if (!animal.empty() && id != animal) continue;
    double vx = 0.0, vy = 0.0;
    std::from_chars(x.data(), x.data() + x.size(), vx);
    std::from_chars(y.data(), y.data() + y.size(), vy);
    fixes.emplace_back(vx, vy);
  }
  return fixes;
}

std::optional<std::filesystem::path> shared_data() {
  const std::filesystem::path folder(ORVEX_SHARED_DATA);
  if (!std::filesystem::is_directory(folder)) return std::nullopt;
  return folder;
}

}  // namespace orvex::core::test
