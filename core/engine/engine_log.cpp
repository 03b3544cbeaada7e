#include "core/engine/engine_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>  // ftruncate

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

namespace orvex::core {

struct EngineLog::SharedFile {
  std::string key;
  std::filesystem::path path;
  std::FILE* stream = nullptr;
  int users = 0;
  std::mutex write_mutex;
};

namespace {

constexpr const char* kLogFileName = "logfile";
constexpr const char* kLastResortFolder = "/tmp";

// Opening, sharing and closing all happen under this one lock, so a file is never reopened
// (and truncated) while an earlier stream on it still holds unwritten lines.
std::mutex& registry_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, std::unique_ptr<EngineLog::SharedFile>>& registry() {
  static std::map<std::string, std::unique_ptr<EngineLog::SharedFile>> files;
  return files;
}

// Two spellings of one file (a trailing slash, a symbolic link) must share one stream.
std::string key_for(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  if (error) canonical = path.lexically_normal();
  return canonical.string();
}

// The log has a fixed name in a folder anybody may write to: a link or a file another user put
// there first is never written through (it could point at any file of the user's), only a
// regular file of the user's own, emptied as the log starts.
std::FILE* open_own_file(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
      ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* stream = ::fdopen(fd, "wb");
  if (stream == nullptr) ::close(fd);
  return stream;
}

}  // namespace

EngineLog::~EngineLog() { release(); }

EngineLog::EngineLog(EngineLog&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}

EngineLog& EngineLog::operator=(EngineLog&& other) noexcept {
  if (this != &other) {
    release();
    file_ = std::exchange(other.file_, nullptr);
  }
  return *this;
}

std::vector<std::filesystem::path> EngineLog::default_candidates() {
  std::vector<std::filesystem::path> candidates;
  for (const char* variable : {"TEMP", "TMPDIR"}) {
    const char* folder = std::getenv(variable);
    if (folder != nullptr && *folder != '\0')
      candidates.push_back(std::filesystem::path(folder) / kLogFileName);
  }
  candidates.push_back(std::filesystem::path(kLastResortFolder) / kLogFileName);
  return candidates;
}

EngineLog EngineLog::open_shared(const std::vector<std::filesystem::path>& candidates) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  auto& files = registry();
  for (const auto& candidate : candidates) {
    const std::string key = key_for(candidate);
    auto found = files.find(key);
    if (found != files.end()) {
      ++found->second->users;
      return EngineLog(found->second.get());
    }
    std::FILE* stream = open_own_file(candidate);
    if (stream == nullptr) continue;
    // Every text goes to the file when written (it was flushed at once before too), so a
    // failed write leaves nothing behind in a buffer to come out later.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    auto file = std::make_unique<SharedFile>();
    file->key = key;
    file->path = candidate;
    file->stream = stream;
    file->users = 1;
    SharedFile* raw = file.get();
    files.emplace(key, std::move(file));
    return EngineLog(raw);
  }
  return EngineLog();
}

std::filesystem::path EngineLog::path() const {
  return file_ != nullptr ? file_->path : std::filesystem::path();
}

void EngineLog::write(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  std::lock_guard<std::mutex> lock(file_->write_mutex);
  const long before = std::ftell(file_->stream);
  const bool whole = std::fwrite(text.data(), 1, text.size(), file_->stream) == text.size();
  if (whole || before < 0) return;
  // A full disk took part of the text: the log is cut back to its last whole text, so that it
  // never ends in a broken line. The log is diagnostic: a run goes on without it.
  std::clearerr(file_->stream);
  if (::ftruncate(::fileno(file_->stream), static_cast<off_t>(before)) == 0)
    std::fseek(file_->stream, before, SEEK_SET);
}

void EngineLog::print(std::string_view format, std::initializer_list<LogArg> args) {
  if (file_ == nullptr) return;
  write(format_log_text(format, args));
}

void EngineLog::release() {
  if (file_ == nullptr) return;
  std::lock_guard<std::mutex> lock(registry_mutex());
  if (--file_->users == 0) {
    std::fclose(file_->stream);
    registry().erase(file_->key);
  }
  file_ = nullptr;
}

}  // namespace orvex::core
