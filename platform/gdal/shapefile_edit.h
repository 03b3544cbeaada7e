#pragma once

// Editing a shapefile so that an interruption at any moment leaves either the original or the
// complete result.
//
// A shapefile is several files (.shp, .shx, .dbf, .prj, .cpg) and no single rename switches
// them all, so an edit works on a complete copy and switches it in with a journal:
//
//   1. `ShapefileEdit::begin` takes the file's lock (".<stem>.orvex-lock" beside it; a second
//      edit of the same file is refused while the first runs), finishes an earlier
//      interrupted edit, and copies the set into the hidden folder ".<stem>.orvex-edit/new/".
//      The command edits that copy.
//   2. `commit` makes the copy durable (fsync), then writes the journal
//      (".<stem>.orvex-edit/journal", written to a temporary name, synced and renamed), then
//      renames each new file over the original and removes stale companions (spatial
//      indexes) the new set lacks, then removes the journal and the folder.
//   3. Any later open of the shapefile through this platform (`finishInterruptedEdit`)
//      rolls a journalled switch forward and throws away an edit folder without a journal:
//      the originals were not touched before the journal existed.
//
// A reader that does not know the journal can see a mixed set only while step 2 renames
// (one rename per file, microseconds on a local disk), or after a kill that falls between
// the journal and the last rename, until the next open by Orvex finishes the switch.

#include <filesystem>
#include <string>
#include <vector>

namespace orvex::platform::gdal {

/// Finishes or rolls back an interrupted edit of `shp`, when one is left and nobody is editing
/// the file now. Quiet and cheap when there is nothing to do; never throws (a recovery that
/// cannot run leaves the files as they are for the next open).
void finishInterruptedEdit(const std::filesystem::path& shp);

/// True when `shp` is the working copy of an edit (`ShapefileEdit::workingCopy`): a set private
/// to the run that edits it, replaced whole when the edit commits.
bool isWorkingCopy(const std::filesystem::path& shp);

/// One edit of one shapefile: the lock, the working copy and its switch.
class ShapefileEdit {
 public:
  /// Takes the lock, recovers an earlier interrupted edit and copies the set. Throws
  /// host::Error naming the file: (kAccessDenied) while another run edits the file,
  /// (kDataError) when the copy cannot be made (nothing is left behind then).
  static ShapefileEdit begin(const std::filesystem::path& shp);

  ShapefileEdit(ShapefileEdit&& other) noexcept;
  ShapefileEdit& operator=(ShapefileEdit&&) = delete;
  ShapefileEdit(const ShapefileEdit&) = delete;
  ShapefileEdit& operator=(const ShapefileEdit&) = delete;
  /// Rolls back an edit that was not committed and releases the lock.
  ~ShapefileEdit();

  /// The original .shp.
  const std::filesystem::path& original() const { return shp_; }
  /// The .shp of the working copy; every change goes there.
  std::filesystem::path workingCopy() const;

  /// Switches the working copy in. The copy must be closed by then. Throws host::Error
  /// (kDataError) when the copy cannot be made durable; the original stays then.
  void commit();
  /// Throws the working copy away; the original stays.
  void rollBack() noexcept;

 private:
  ShapefileEdit(std::filesystem::path shp, int lockFd);
  void release() noexcept;

  std::filesystem::path shp_;
  int lockFd_ = -1;
  bool finished_ = false;
};

}  // namespace orvex::platform::gdal
