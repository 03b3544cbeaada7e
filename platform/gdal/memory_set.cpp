#include "platform/gdal/memory_set.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "host/error.h"
#include "host/text.h"

namespace orvex::platform::gdal {
namespace fs = std::filesystem;
namespace {

/// The files that make up a set (the working copy of an edit holds no others).
constexpr std::array<std::string_view, 5> kSetExtensions{".shp", ".shx", ".dbf", ".prj", ".cpg"};
/// The memory file system's root; the set's own absolute folder follows it, so that two sets
/// never share a folder.
constexpr std::string_view kMemoryRoot = "/vsimem/orvex-edit";

/// The files of the set of `shp` on disk.
std::vector<fs::path> setFiles(const fs::path& shp) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(shp.parent_path(), error)) {
    const fs::path& file = entry.path();
    if (file.stem() != shp.stem() || !entry.is_regular_file(error)) continue;
    for (const std::string_view extension : kSetExtensions)
      if (host::iequals(file.extension().string(), extension)) files.push_back(file);
  }
  return files;
}

/// Writes `size` bytes to `path` (created or truncated); the reason when that fails.
std::string writeFile(const fs::path& path, const GByte* data, vsi_l_offset size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return path.string() + ": " + std::strerror(errno);
  vsi_l_offset done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, data + done, static_cast<std::size_t>(size - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const std::string reason = path.string() + ": " + std::strerror(written < 0 ? errno : ENOSPC);
      ::close(fd);
      return reason;
    }
    done += static_cast<vsi_l_offset>(written);
  }
  if (::close(fd) != 0) return path.string() + ": " + std::strerror(errno);
  return {};
}

}  // namespace

MemorySet::MemorySet(const fs::path& shp) : shp_(fs::absolute(shp).lexically_normal()) {
  folder_ = std::string(kMemoryRoot) + shp_.parent_path().string();
  memoryShp_ = folder_ + "/" + shp_.filename().string();
  VSIStatBufL stat{};
  if (VSIStatL(memoryShp_.c_str(), &stat) == 0)
    throw host::Error(host::kAlreadyExists, "'" + shp_.string() + "' is held in memory already");
  for (const fs::path& file : setFiles(shp_)) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    // GDAL takes the buffer and frees it with the file; one byte more keeps an empty file's
    // buffer a real allocation.
    auto* buffer = static_cast<GByte*>(VSIMalloc(static_cast<std::size_t>(size) + 1));
    const int fd = error || buffer == nullptr ? -1 : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    std::uintmax_t done = 0;
    while (fd >= 0 && done < size) {
      const ssize_t got = ::read(fd, buffer + done, static_cast<std::size_t>(size - done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::uintmax_t>(got);
    }
    if (fd >= 0) ::close(fd);
    if (done != size || fd < 0) {
      VSIFree(buffer);
      discard();
      throw host::Error(host::kDataError, "cannot read '" + file.string() + "' into memory");
    }
    const std::string name = folder_ + "/" + file.filename().string();
    VSILFILE* held = VSIFileFromMemBuffer(name.c_str(), buffer, static_cast<vsi_l_offset>(size), TRUE);
    if (held == nullptr) {
      VSIFree(buffer);
      discard();
      throw host::Error(host::kDataError, "cannot hold '" + file.string() + "' in memory");
    }
    VSIFCloseL(held);
  }
}

MemorySet::~MemorySet() { discard(); }

std::string MemorySet::writeBack() noexcept {
  std::string failure;
  std::set<std::string> written;
  const CPLStringList names(VSIReadDir(folder_.c_str()));
  for (int i = 0; i < names.size(); ++i) {
    const std::string name = names[i];
    vsi_l_offset size = 0;
    GByte* data = VSIGetMemFileBuffer((folder_ + "/" + name).c_str(), &size, TRUE);
    if (data == nullptr) continue;
    if (failure.empty()) failure = writeFile(shp_.parent_path() / name, data, size);
    VSIFree(data);
    written.insert(name);
  }
  // A file of the set the edit dropped (none today) must not come back beside the new ones.
  for (const fs::path& file : setFiles(shp_)) {
    std::error_code ignored;
    if (failure.empty() && written.count(file.filename().string()) == 0) fs::remove(file, ignored);
  }
  discard();
  return failure;
}

void MemorySet::discard() noexcept {
  if (!folder_.empty()) VSIRmdirRecursive(folder_.c_str());
}

std::uintmax_t MemorySet::setBytes(const fs::path& shp) {
  std::uintmax_t total = 0;
  for (const fs::path& file : setFiles(shp)) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (!error) total += size;
  }
  return total;
}

}  // namespace orvex::platform::gdal
