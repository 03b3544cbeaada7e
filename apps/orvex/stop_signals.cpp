#include "apps/orvex/stop_signals.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "host/environment.h"
#include "platform/gdal/deferred_stops.h"

namespace orvex::cli {
namespace {

/// One folder a handler may remove. `state` guards `path`: a slot is written while Claimed and
/// read by a handler only while Live.
struct Slot {
  enum State : int { Free, Claimed, Live };
  std::atomic<int> state{Free};
  std::array<char, PATH_MAX> path{};
};
static_assert(std::atomic<int>::is_always_lock_free, "a handler reads the slots' states");

std::array<Slot, kMaxWatchedFolders> slots;

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kDirentBuffer = 4096;

void watch(const std::filesystem::path& folder, bool made) {
  const std::string& text = folder.native();
  if (text.size() >= PATH_MAX) return;
  for (Slot& slot : slots) {
    if (made) {
      int expected = Slot::Free;
      if (!slot.state.compare_exchange_strong(expected, Slot::Claimed)) continue;
      std::memcpy(slot.path.data(), text.c_str(), text.size() + 1);
      slot.state.store(Slot::Live);
      return;
    }
    int expected = Slot::Live;
    if (slot.state.load() != Slot::Live || std::strcmp(slot.path.data(), text.c_str()) != 0 ||
        !slot.state.compare_exchange_strong(expected, Slot::Claimed))
      continue;
    slot.state.store(Slot::Free);
    return;
  }
}

void removeContents(int folder);

/// Removes the entry `name` of the open folder `parent`, a folder with everything in it.
/// Symbolic links are removed, never followed.
void removeEntry(int parent, const char* name) {
  if (::unlinkat(parent, name, 0) == 0) return;
  const int folder = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  removeContents(folder);
  ::close(folder);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

/// Empties the open folder `folder`, reading its entries with getdents64 (readdir is not
/// async-signal-safe), from the start again until a pass removes nothing.
void removeContents(int folder) {
  alignas(8) char buffer[kDirentBuffer];
  for (bool removed = true; removed;) {
    removed = false;
    ::lseek(folder, 0, SEEK_SET);
    for (long length; (length = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0;) {
      for (long at = 0; at < length;) {
        struct Entry {
          ino64_t inode;
          off64_t next;
          unsigned short size;
          unsigned char type;
          char name[1];
        };
        const auto* entry = reinterpret_cast<const Entry*>(buffer + at);
        at += entry->size;
        if (std::strcmp(entry->name, ".") == 0 || std::strcmp(entry->name, "..") == 0) continue;
        removeEntry(folder, entry->name);
        removed = true;
      }
    }
  }
}

void onStop(int signal) {
  // A stop that another thread takes while an edit is switched into the user's file waits for
  // the switch to end: it is raised again then, in the switching thread.
  if (platform::gdal::DeferredStops::deferIfSwitching(signal)) return;
  const int savedErrno = errno;
  for (Slot& slot : slots) {
    if (slot.state.load() != Slot::Live) continue;
    const int folder = ::open(slot.path.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0 && errno == ENOTDIR) ::unlink(slot.path.data());  // a scratch file: an edit's lock
    if (folder < 0) continue;
    removeContents(folder);
    ::close(folder);
    ::rmdir(slot.path.data());
  }
  errno = savedErrno;
  // Ended as the signal ends a process, so that the parent sees which one stopped it.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void removeScratchFoldersOnStop() {
  host::watchScratchFolders(&watch);
  struct sigaction action {};
  action.sa_handler = &onStop;
  sigemptyset(&action.sa_mask);
  for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kStopSignals) {
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace orvex::cli
