#pragma once

// A shapefile set held in GDAL's in-memory file system while a run edits it.
//
// OGR's shapefile driver edits row by row: each read, rewrite, deletion and added field seeks,
// reads and writes a record at a time, so an edit of a million rows on disk costs tens of
// millions of system calls. An edit's working copy (see ShapefileEdit) is private to the run
// and replaced wholesale when the edit commits, so it can be edited in memory by the same
// driver code and written back once, file by file, when it is closed: the bytes written are
// the driver's own, only the medium differs.

#include <cstdint>
#include <filesystem>
#include <string>

namespace orvex::platform::gdal {

/// Sets larger than this (the files as they are opened) stay on disk: the memory copy grows
/// with the fields an edit adds, and must leave room for the run's own arrays.
constexpr std::uintmax_t kMaxMemorySetBytes = 512ull << 20;

/// One set's memory copy. Not copyable; the files in memory are removed with the object.
class MemorySet {
 public:
  /// Reads the files of the set of `shp` (.shp, .shx, .dbf, .prj, .cpg, whichever exist) into
  /// memory. Throws host::Error (kDataError) naming the file that cannot be read.
  explicit MemorySet(const std::filesystem::path& shp);
  ~MemorySet();
  MemorySet(const MemorySet&) = delete;
  MemorySet& operator=(const MemorySet&) = delete;

  /// The .shp to open with GDAL instead of the one on disk.
  const std::string& memoryShp() const { return memoryShp_; }

  /// Writes every file of the memory copy over its file on disk, removes the files of the set
  /// on disk that the copy no longer holds, and frees the memory. The text of what failed,
  /// empty when everything was written. The dataset on the copy must be closed first.
  std::string writeBack() noexcept;

  /// Frees the memory copy without writing it.
  void discard() noexcept;

  /// The total size of the files of the set of `shp` on disk.
  static std::uintmax_t setBytes(const std::filesystem::path& shp);

 private:
  std::filesystem::path shp_;
  std::string folder_;
  std::string memoryShp_;
};

}  // namespace orvex::platform::gdal
