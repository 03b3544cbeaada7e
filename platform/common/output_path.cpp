#include "platform/common/output_path.h"

#include <fcntl.h>
#include <stdlib.h>  // mkstemp
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "host/error.h"
#include "host/text.h"

namespace orvex::platform {
namespace {

namespace fs = std::filesystem;

/// The files that make one dataset with a file of the same name: a shapefile's and a
/// GeoPackage's.
constexpr std::array<std::string_view, 12> kCompanions{".shp",  ".shx",      ".dbf",      ".prj",
                                                       ".cpg",  ".sbn",      ".sbx",      ".qix",
                                                       ".gpkg", ".gpkg-wal", ".gpkg-shm", ".gpkg-journal"};

bool isCompanion(const fs::path& file) {
  const std::string extension = host::toLowerAscii(file.extension().string());
  for (std::string_view companion : kCompanions)
    if (extension == companion) return true;
  return false;
}

/// Whether `file` names the same file as `input` or one of its companions, by any name.
bool isFileOf(const fs::path& file, const fs::path& input) {
  std::error_code error;
  const fs::path target = fs::weakly_canonical(file, error);
  if (error) return false;
  const fs::path source = fs::weakly_canonical(input, error);
  if (error) return false;
  if (target == source) return true;
  if (target.parent_path() == source.parent_path() && target.stem() == source.stem() && isCompanion(target))
    return true;
  // Another name of an input's file (a hard link).
  if (!fs::exists(target, error)) return false;
  for (const auto& entry : fs::directory_iterator(source.parent_path(), error)) {
    if (entry.path().stem() != source.stem()) continue;
    if (fs::equivalent(entry.path(), target, error)) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> outputRefusal(const fs::path& file, std::span<const fs::path> inputs,
                                         bool replace) {
  std::error_code error;
  if (fs::is_directory(file, error)) return "is a folder";
  for (const fs::path& input : inputs)
    if (isFileOf(file, input)) return "is a file of the input " + input.filename().string();
  if (!replace && fs::exists(fs::symlink_status(file, error)))
    return "exists; not replaced (--yes replaces it)";
  return std::nullopt;
}

fs::path fileBeside(const fs::path& file) {
  std::string name = file.string() + ".XXXXXX";
  const int descriptor = ::mkstemp(name.data());
  if (descriptor < 0) {
    throw host::Error(host::kAccessDenied,
                      "Cannot make a file beside '" + file.string() + "': " + std::strerror(errno));
  }
  // mkstemp makes the file 0600; an output gets the modes a new file of the user gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(descriptor, 0666 & ~mask);
  ::close(descriptor);
  return name;
}

void writeFileWhole(const fs::path& file, std::string_view bytes, const std::string& what) {
  const fs::path beside = fileBeside(file);
  const auto fail = [&](const char* step) {
    const std::string reason = std::strerror(errno);
    std::error_code ignored;
    fs::remove(beside, ignored);
    throw host::Error(host::kDataError,
                      std::string("Cannot ") + step + " " + what + " '" + file.string() + "': " + reason);
  };
  const int descriptor = ::open(beside.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  if (descriptor < 0) fail("write");
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      ::close(descriptor);
      fail("write");
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  if (::close(descriptor) != 0) fail("write");
  if (::rename(beside.c_str(), file.c_str()) != 0) fail("replace");
}

}  // namespace orvex::platform
