#include "platform/gdal/shapefile_edit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/environment.h"
#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/deferred_stops.h"

namespace orvex::platform::gdal {
namespace fs = std::filesystem;
namespace {

/// The files that make up the set and are carried into the working copy.
constexpr std::array<std::string_view, 5> kSetExtensions{".shp", ".shx", ".dbf", ".prj", ".cpg"};
/// Companions derived from the old contents (spatial indexes): stale after an edit.
constexpr std::array<std::string_view, 3> kStaleExtensions{".qix", ".sbn", ".sbx"};
constexpr std::string_view kJournalHeader = "orvex-edit 1";
/// A lock that changed hands between open and flock is retried this often.
constexpr int kLockAttempts = 5;

fs::path editFolder(const fs::path& shp) {
  return shp.parent_path() / ("." + shp.stem().string() + ".orvex-edit");
}
fs::path lockPath(const fs::path& shp) {
  return shp.parent_path() / ("." + shp.stem().string() + ".orvex-lock");
}
fs::path journalPath(const fs::path& shp) { return editFolder(shp) / "journal"; }
fs::path newFolder(const fs::path& shp) { return editFolder(shp) / "new"; }

/// The files of the shapefile's folder with its stem and one of `extensions` (any letter
/// case), by file name.
template <std::size_t N>
std::vector<std::string> companions(const fs::path& shp, const std::array<std::string_view, N>& extensions) {
  std::vector<std::string> names;
  std::error_code error;
  const fs::path folder = shp.parent_path().empty() ? fs::path(".") : shp.parent_path();
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const fs::path& file = entry.path();
    if (file.stem() != shp.stem()) continue;
    for (const std::string_view extension : extensions)
      if (host::iequals(file.extension().string(), extension)) names.push_back(file.filename().string());
  }
  return names;
}

void syncPath(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), path.string());
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0) throw std::system_error(error, std::generic_category(), path.string());
}

/// The lock file's descriptor, locked; -1 when another process holds the lock; throws when
/// the lock file cannot be made (a read-only folder).
int acquireLock(const fs::path& path) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), path.string());
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return -1;
    }
    // The holder before us removes the file as it lets go: a lock on a removed file is none.
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev)
      return fd;
    ::close(fd);
  }
  return -1;
}

void releaseLock(const fs::path& path, int fd) noexcept {
  ::unlink(path.c_str());
  ::close(fd);
}

struct Journal {
  std::vector<std::string> moves;    ///< file names moved from new/ over the originals
  std::vector<std::string> removes;  ///< stale companions removed
};

void writeJournal(const fs::path& shp, const Journal& journal) {
  const fs::path temporary = journalPath(shp).string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << kJournalHeader << '\n';
    for (const auto& name : journal.moves) out << "move " << name << '\n';
    for (const auto& name : journal.removes) out << "remove " << name << '\n';
    out << "end\n";
    out.flush();
    if (!out) throw std::system_error(errno, std::generic_category(), temporary.string());
  }
  syncPath(temporary);
  fs::rename(temporary, journalPath(shp));
  syncPath(editFolder(shp));
}

/// The journal; nothing when it is absent or incomplete (a journal is renamed into place
/// complete, so an incomplete one was never in force).
std::optional<Journal> readJournal(const fs::path& shp) {
  std::ifstream in(journalPath(shp), std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  if (!std::getline(in, line) || line != kJournalHeader) return std::nullopt;
  Journal journal;
  while (std::getline(in, line)) {
    if (line == "end") return journal;
    if (line.rfind("move ", 0) == 0)
      journal.moves.push_back(line.substr(5));
    else if (line.rfind("remove ", 0) == 0)
      journal.removes.push_back(line.substr(7));
    else
      return std::nullopt;
  }
  return std::nullopt;
}

/// Carries out a journal: idempotent, so a switch interrupted again is finished next time.
void applyJournal(const fs::path& shp, const Journal& journal) {
  const fs::path folder = shp.parent_path();
  for (const auto& name : journal.moves) {
    const fs::path from = newFolder(shp) / name;
    if (fs::exists(from)) fs::rename(from, folder / name);
  }
  for (const auto& name : journal.removes) {
    std::error_code ignored;
    fs::remove(folder / name, ignored);
  }
  syncPath(folder.empty() ? fs::path(".") : folder);
}

/// With the lock held: finishes a journalled switch or throws an unjournalled copy away.
void recoverLocked(const fs::path& shp) {
  std::error_code error;
  if (!fs::exists(editFolder(shp), error)) return;
  if (const auto journal = readJournal(shp)) applyJournal(shp, *journal);
  fs::remove_all(editFolder(shp), error);
}

fs::path absoluteShp(const fs::path& shp) {
  std::error_code error;
  const fs::path absolute = fs::absolute(shp, error);
  return error ? shp : absolute.lexically_normal();
}

}  // namespace

void finishInterruptedEdit(const fs::path& shpIn) {
  const fs::path shp = absoluteShp(shpIn);
  std::error_code error;
  if (!fs::exists(editFolder(shp), error)) return;
  try {
    const int fd = acquireLock(lockPath(shp));
    if (fd < 0) return;  // being edited now: the originals are intact until its journal
    try {
      recoverLocked(shp);
    } catch (...) {
      releaseLock(lockPath(shp), fd);
      return;
    }
    releaseLock(lockPath(shp), fd);
  } catch (...) {
    // A folder we cannot write to: leave the recovery to an open that can.
  }
}

bool isWorkingCopy(const fs::path& shpIn) {
  const fs::path shp = absoluteShp(shpIn);
  const fs::path original = shp.parent_path().parent_path().parent_path() / shp.filename();
  return shp.parent_path() == newFolder(original);
}

ShapefileEdit::ShapefileEdit(fs::path shp, int lockFd) : shp_(std::move(shp)), lockFd_(lockFd) {}

ShapefileEdit::ShapefileEdit(ShapefileEdit&& other) noexcept
    : shp_(std::move(other.shp_)), lockFd_(other.lockFd_), finished_(other.finished_) {
  other.lockFd_ = -1;
  other.finished_ = true;
}

ShapefileEdit::~ShapefileEdit() {
  if (!finished_) rollBack();
  release();
}

ShapefileEdit ShapefileEdit::begin(const fs::path& shpIn) {
  const fs::path shp = absoluteShp(shpIn);
  int fd = -1;
  try {
    fd = acquireLock(lockPath(shp));
  } catch (const std::system_error& error) {
    throw host::Error(host::kAccessDenied, "Cannot edit '" + shp.string() + "': " + error.code().message());
  }
  if (fd < 0)
    throw host::Error(host::kAccessDenied, "'" + shp.string() +
                                               "' is being edited by another run; nothing was changed. "
                                               "Try again when that run has finished.");
  // A run stopped by a signal removes the lock and the working copy: nothing is left beside
  // the user's file (until the journal is written: from then on the copy is the edit).
  host::noteScratchPath(lockPath(shp), true);
  ShapefileEdit edit(shp, fd);
  try {
    recoverLocked(shp);
    fs::create_directories(editFolder(shp));
    host::noteScratchPath(editFolder(shp), true);
    fs::create_directories(newFolder(shp));
    for (const auto& name : companions(shp, kSetExtensions))
      fs::copy_file(shp.parent_path() / name, newFolder(shp) / name);
  } catch (const std::exception& error) {
    edit.rollBack();
    throw host::Error(host::kDataError,
                      "Cannot make the working copy of '" + shp.string() + "': " + error.what());
  }
  return edit;
}

fs::path ShapefileEdit::workingCopy() const { return newFolder(shp_) / shp_.filename(); }

void ShapefileEdit::commit() {
  const DeferredStops stops;  // the journal and the renames run whole, or the edit is removed
  Journal journal;
  try {
    journal.moves = companions(workingCopy(), kSetExtensions);
    for (const auto& name : journal.moves) syncPath(newFolder(shp_) / name);
    syncPath(newFolder(shp_));
    for (const auto& name : companions(shp_, kStaleExtensions)) journal.removes.push_back(name);
    writeJournal(shp_, journal);
  } catch (const std::exception& error) {
    rollBack();
    throw host::Error(host::kDataError, "Cannot write the edit of '" + shp_.string() +
                                            "'; the file is unchanged: " + error.what());
  }
  host::noteScratchPath(editFolder(shp_), false);  // journalled: the next open finishes it
  finished_ = true;
  try {
    applyJournal(shp_, journal);
    std::error_code ignored;
    fs::remove_all(editFolder(shp_), ignored);
  } catch (const std::exception& error) {
    throw host::Error(host::kDataError, "The edit of '" + shp_.string() +
                                            "' was interrupted; it is finished the next time Orvex "
                                            "opens the file: " +
                                            error.what());
  }
}

void ShapefileEdit::rollBack() noexcept {
  finished_ = true;
  std::error_code ignored;
  host::noteScratchPath(editFolder(shp_), false);
  if (!readJournal(shp_)) fs::remove_all(editFolder(shp_), ignored);
}

void ShapefileEdit::release() noexcept {
  if (lockFd_ < 0) return;
  host::noteScratchPath(lockPath(shp_), false);
  releaseLock(lockPath(shp_), lockFd_);
  lockFd_ = -1;
}

}  // namespace orvex::platform::gdal
