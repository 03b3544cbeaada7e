// Start-up without the HEVC decoder's tables.
//
// GDAL links libheif for its HEIF driver, and libheif registers its decoders from a static
// constructor that initialises libde265. Building that library's tables costs about 25 million
// instructions (some 15 ms) at every start of every command, for a format that hardly any run
// opens. This executable defines the library's two reference-counted entry points itself, and
// the loader binds every caller to them first, because the executable heads the search order.
// Calls made while the shared libraries are still being initialised are only counted. From the
// program's own initialisation on, every call goes through to the library; its decoder
// constructor calls de265_init itself, so the tables are built when a HEIF file is first
// decoded, and such a file still opens.

#include <dlfcn.h>

#include <atomic>
#include <cstring>

namespace {

/// The library's signature of both entry points: no argument, an error code (0 is success).
using Entry = int (*)();
constexpr int kSuccess = 0;

std::atomic<bool> forwarding{false};
/// Initialisations made during loading that the library has not seen; each pairs with a later
/// de265_free, which must not reach the library either.
std::atomic<int> deferredInits{0};

/// The library's own definition of `name` (the next one after this executable), or null.
Entry libraryEntry(const char* name) {
  void* symbol = ::dlsym(RTLD_NEXT, name);
  Entry entry = nullptr;
  static_assert(sizeof entry == sizeof symbol);
  std::memcpy(&entry, &symbol, sizeof entry);
  return entry;
}

/// The executable's static objects are constructed after those of every library it needs.
struct EndOfLoading {
  EndOfLoading() { forwarding.store(true); }
} endOfLoading;

}  // namespace

extern "C" __attribute__((visibility("default"))) int de265_init() {
  if (!forwarding.load()) {
    deferredInits.fetch_add(1);
    return kSuccess;
  }
  static const Entry library = libraryEntry("de265_init");
  return library != nullptr ? library() : kSuccess;
}

extern "C" __attribute__((visibility("default"))) int de265_free() {
  for (int pending = deferredInits.load(); pending > 0;) {
    if (deferredInits.compare_exchange_weak(pending, pending - 1)) return kSuccess;
  }
  static const Entry library = libraryEntry("de265_free");
  return library != nullptr ? library() : kSuccess;
}
