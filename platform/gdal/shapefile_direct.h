#pragma once

// The rows of a point shapefile read straight from its files: shapes from the .shp through the
// .shx, and, where every cell is plain, attributes from the .dbf.
//
// OGR assigns the layer's coordinate system to every shape it reads, which makes it parse the
// .prj through PROJ's database first. A command that carries the coordinate system through
// without needing PROJ reads the points here instead. OGR's reading of a row (a feature, a
// recoding of its text, a value per cell) costs several times the row's own parsing, so the
// cells it would read to the same values are read here too; any other cell is left to OGR.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "host/geometry.h"
#include "host/row.h"
#include "host/value.h"

namespace orvex::platform::gdal {

class ShapefileDirectReader {
 public:
  /// A reader of a 2D point shapefile's shapes; null when the file is not one, or its .shp or
  /// .shx cannot be read.
  static std::unique_ptr<ShapefileDirectReader> open(const std::filesystem::path& shp);
  ~ShapefileDirectReader();
  ShapefileDirectReader(const ShapefileDirectReader&) = delete;
  ShapefileDirectReader& operator=(const ShapefileDirectReader&) = delete;

  /// The shape of a record: a point, or the null shape for a null record. Nothing when the
  /// record is not one of those two, or cannot be read: OGR must read it then.
  std::optional<host::Geometry> shape(host::ObjectId id, const host::SpatialReferencePtr& srs) const;

  /// The ids of the records not marked deleted in the .dbf, in order: the rows a walk over the
  /// whole file gives. Nothing when the .dbf is missing or does not hold one record per shape.
  std::optional<std::vector<host::ObjectId>> liveIds() const;

  /// The kinds of attribute the .dbf reader reads itself, as OGR types them.
  enum class Kind { Text, Int32, Int64, Real, Date };

  /// Reads the attributes of the .dbf too, for fields of the given kinds in the .dbf's own
  /// order, when the file is UTF-8 (.cpg) and each field is stored as OGR reads such a kind.
  /// False when it cannot: OGR reads them then.
  bool readAttributes(const std::vector<Kind>& kinds);

  /// The attribute values of a record, as OGR gives them. Nothing when the record holds a value
  /// this reader leaves to OGR (text beyond printable ASCII, numbers in other notations, dates
  /// that are not eight digits), or cannot be read. `deleted` tells a record marked deleted.
  std::optional<std::vector<host::Value>> attributes(host::ObjectId id, bool& deleted) const;

 private:
  /// One file read through a block of its bytes, so that a walk in id order reads each part
  /// of the file once.
  struct BlockFile {
    int fd = -1;
    off_t size = 0;
    mutable off_t blockStart = -1;
    mutable std::vector<unsigned char> block;
    /// `length` bytes at `offset`; false when they are not all in the file.
    bool read(off_t offset, std::size_t length, unsigned char* out) const;
  };

  ShapefileDirectReader() = default;
  struct DbfField {
    Kind kind;
    off_t offset;  ///< within the record
    std::size_t length;
  };

  BlockFile shp_;
  BlockFile shx_;
  std::filesystem::path dbfPath_;
  BlockFile dbf_;
  std::vector<DbfField> dbfFields_;
  off_t dbfHeaderBytes_ = 0;
  off_t dbfRecordBytes_ = 0;
  std::int32_t dbfRecords_ = 0;
};

}  // namespace orvex::platform::gdal
