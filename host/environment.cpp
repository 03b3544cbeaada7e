#include "host/environment.h"

#include <dlfcn.h>
#include <stdlib.h>  // mkdtemp

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "host/error.h"

namespace orvex::host {
namespace {

std::atomic<ScratchWatcher> scratchWatcher{nullptr};

const char* nonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

unsigned workerThreadSetting() {
  const char* text = std::getenv(kWorkerThreadsVariable);
  unsigned value = 0;
  if (text != nullptr) {
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc{} || stop != end) value = 0;
  }
  return value;
}

std::filesystem::path temporaryFolder() {
  const char* value = nonEmptyVariable("TEMP");
  if (value == nullptr) value = nonEmptyVariable("TMPDIR");
  std::string folder = value != nullptr ? value : "/tmp";
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

ScratchFolder::ScratchFolder(std::string_view prefix) {
  const std::filesystem::path parent = temporaryFolder();
  const std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr)
    throw Error(kAccessDenied, "Cannot make a scratch folder in '" + parent.string() +
                                   "': " + std::generic_category().message(errno));
  path_ = name.data();
  if (const ScratchWatcher watcher = scratchWatcher.load()) watcher(path_, true);
}

ScratchFolder::~ScratchFolder() {
  if (const ScratchWatcher watcher = scratchWatcher.load()) watcher(path_, false);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void watchScratchFolders(ScratchWatcher watcher) { scratchWatcher.store(watcher); }

void noteScratchPath(const std::filesystem::path& path, bool made) {
  if (const ScratchWatcher watcher = scratchWatcher.load()) watcher(path, made);
}

std::filesystem::path executableFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : exe.parent_path();
}

std::filesystem::path moduleFileOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0') return {};
  std::error_code error;
  auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname, error), error);
  return error ? std::filesystem::path(info.dli_fname) : path;
}

}  // namespace orvex::host
