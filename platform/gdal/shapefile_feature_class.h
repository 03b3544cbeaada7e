#pragma once

// A shapefile as a host feature class, on OGR's "ESRI Shapefile" driver.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "host/table.h"
#include "host/workspace.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/memory_set.h"

class OGRLayer;

namespace orvex::platform::gdal {

/// One shapefile (.shp with its .shx, .dbf and optional .prj and .cpg).
///
/// Fields: "FID" (object id) first, "Shape" second, then the .dbf attributes. Object ids are
/// OGR's record numbers. They stay stable while the object lives: the file is opened with
/// OGR's automatic repacking off, so a deleted row is only marked as deleted, every later read
/// skips it, and no other row is renumbered. The deleted records are packed away when the last
/// holder releases the object, at which point no id of it can be in use any more.
///
/// An edit's working copy (see ShapefileEdit) of up to kMaxMemorySetBytes is edited in memory
/// and written back to its files when it is closed (see MemorySet).
///
/// The workspace shares one object per file among all its holders (see ShapefileWorkspace),
/// so every cursor, layer and selection of a file sees the same state.
///
/// Not for concurrent use from several threads beyond what its internal lock serialises:
/// each operation is atomic, a walk over several operations is not.
class ShapefileFeatureClass final : public host::FeatureClass {
 public:
  /// Opens an existing shapefile, for update when its files are writable, else read-only.
  /// Throws host::Error (kDataError) naming the file when OGR cannot read it.
  static std::shared_ptr<ShapefileFeatureClass> open(const std::filesystem::path& shp);

  /// Creates a new shapefile from its definition (geometry type and spatial reference from
  /// its geometry field, attribute fields in order, text written as UTF-8). Removes what it
  /// wrote and throws host::Error (kDataError) when OGR fails.
  static std::shared_ptr<ShapefileFeatureClass> create(const std::filesystem::path& shp,
                                                       const host::FeatureClassSpec& definition);

  ~ShapefileFeatureClass() override;
  ShapefileFeatureClass(const ShapefileFeatureClass&) = delete;
  ShapefileFeatureClass& operator=(const ShapefileFeatureClass&) = delete;

  std::string name() const override;
  const host::Fields& fields() const override;
  int addField(const host::FieldDef& field) override;
  void deleteField(std::string_view name) override;
  int rowCount(const host::QueryFilter& filter = {}) const override;
  std::unique_ptr<host::Cursor> search(const host::QueryFilter& filter = {}) const override;
  std::unique_ptr<host::UpdateCursor> update(const host::QueryFilter& filter = {}) override;
  std::unique_ptr<host::InsertCursor> insert(bool useBuffering = true) override;
  std::optional<host::Row> row(host::ObjectId id) const override;
  void deleteRow(host::ObjectId id) override;

  host::GeometryType shapeType() const override { return shapeType_; }
  host::Envelope extent() const override;
  host::SpatialReferencePtr spatialReference() const override { return spatialReference_; }

  /// Names the first attribute fields, in order, as the source of a shapefile copy holds them
  /// (a GeoPackage's names, which the copy cut to 10 characters): fields(), finding a field,
  /// where clauses and rows written take these names from then on. Names past the field
  /// count are ignored; a field deleted takes its name with it.
  void useSourceFieldNames(std::vector<std::string> names);

  /// The .shp file.
  const std::filesystem::path& shpPath() const { return shp_; }
  bool readOnly() const { return readOnly_; }

  /// Closes the files so that they can be removed. Every later operation throws host::Error
  /// (kNotFound): the dataset no longer exists.
  void closeForDeletion();

  /// Writes everything through and closes the files (packing deleted records away). GDAL
  /// reports failures of the last writes only through its error state, which is checked.
  /// Throws host::Error (kDataError) naming the file when any write of this object failed;
  /// a file this object created is removed then rather than left truncated. Every later
  /// operation throws host::Error (kNotFound). Closing a closed object does nothing.
  void close();

  /// `close`, for a holder that cannot throw: a failure goes to the file's sink.
  void closeAndRecord() noexcept;
  /// Where a failure found by `closeAndRecord` (or the last release) goes; kept when one is
  /// set already (the first workspace that opened the file).
  void setFailedWrites(std::shared_ptr<FailedWriteSink> sink);
  /// True once the file was closed (written through, or deleted): a later open of the same
  /// path must open it anew, since this object refuses every use.
  bool isClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }

  /// True when a write to the files failed (the files may be incomplete).
  bool writeFailed() const { return writeFailed_; }

  // For the cursors.

  /// Ids of the rows the filter selects, in stored order or in the filter's id order.
  std::vector<host::ObjectId> matchingIds(const host::QueryFilter& filter) const;
  /// Writes a row's values (matched by field name) and shape over the stored row of its id.
  void writeRow(const host::Row& row);
  /// Appends a row and returns its id.
  host::ObjectId appendRow(const host::Row& buffer);
  /// Writes buffered changes and headers through to the files.
  void sync();

 protected:
  /// The ids of the walk that answers a where clause, which reads no shape; a list of ids
  /// without a clause is checked row by row, since some of them may name no row.
  std::vector<host::ObjectId> selectedIds(const host::QueryFilter& filter) const override;

 private:
  ShapefileFeatureClass(std::filesystem::path shp, DatasetPtr dataset, bool readOnly,
                        std::unique_ptr<MemorySet> memory = nullptr);

  void requireOpen() const;
  /// The one close of the files, under the lock: packs deleted records away and checks that
  /// everything was written, except when the files are closed to be deleted. The text of what
  /// failed, empty when everything was written.
  std::string closeFiles(bool forDeletion) noexcept;
  /// Removes the files of a created shapefile whose writing failed.
  void removeFailedFiles() noexcept;
  /// Marks the files as possibly incomplete and throws `what` with GDAL's reason.
  [[noreturn]] void failWrite(const std::string& what, const ErrorCollector& errors);
  void requireWritable() const;
  void rebuildFields();
  std::string where() const;
  /// The row of an id, read under the lock.
  std::optional<host::Row> readRow(host::ObjectId id) const;
  /// Fills an OGR feature from a host row (values by field name, shape type-checked).
  void fillFeature(OGRFeature& feature, const host::Row& row) const;

  std::filesystem::path shp_;
  std::unique_ptr<MemorySet> memory_;  ///< the set in memory, declared before the dataset on it
  DatasetPtr dataset_;
  OGRLayer* layer_ = nullptr;
  bool readOnly_ = false;
  bool closed_ = false;
  bool rowsDeleted_ = false;
  bool created_ = false;  ///< made by `create`: removed when its writing fails
  bool writeFailed_ = false;
  std::shared_ptr<FailedWriteSink> failedWrites_;
  host::GeometryType shapeType_ = host::GeometryType::Null;
  host::SpatialReferencePtr spatialReference_;
  std::shared_ptr<const host::Fields> fields_;
  std::vector<std::string> sourceFieldNames_;  ///< see useSourceFieldNames
  // Earlier field lists, kept so that a reference from fields() stays valid after a field is
  // added or deleted.
  std::vector<std::shared_ptr<const host::Fields>> retiredFields_;
  // The feature a row read last came from: an update cursor rewrites the row it just read, and
  // writing over this feature spares reading it again. Dropped by every change but that write.
  mutable FeaturePtr lastRead_;
  mutable std::recursive_mutex mutex_;
};

}  // namespace orvex::platform::gdal
