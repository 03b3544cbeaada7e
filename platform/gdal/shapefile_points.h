#pragma once

// Point shapes read straight from a point shapefile's .shp through its .shx.
//
// OGR assigns the layer's coordinate system to every shape it reads, which makes it parse the
// .prj through PROJ's database first. A command that carries the coordinate system through
// without needing PROJ reads the points here instead, and OGR only reads the attributes.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "host/geometry.h"
#include "host/row.h"

namespace orvex::platform::gdal {

class ShapefilePointReader {
 public:
  /// A reader of a 2D point shapefile's shapes; null when the file is not one, or its .shp or
  /// .shx cannot be read.
  static std::unique_ptr<ShapefilePointReader> open(const std::filesystem::path& shp);
  ~ShapefilePointReader();
  ShapefilePointReader(const ShapefilePointReader&) = delete;
  ShapefilePointReader& operator=(const ShapefilePointReader&) = delete;

  /// The shape of a record: a point, or the null shape for a null record. Nothing when the
  /// record is not one of those two, or cannot be read: OGR must read it then.
  std::optional<host::Geometry> shape(host::ObjectId id, const host::SpatialReferencePtr& srs) const;

  /// The ids of the records not marked deleted in the .dbf, in order: the rows a walk over the
  /// whole file gives. Nothing when the .dbf is missing or does not hold one record per shape.
  std::optional<std::vector<host::ObjectId>> liveIds() const;

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

  ShapefilePointReader() = default;
  BlockFile shp_;
  BlockFile shx_;
  std::filesystem::path dbfPath_;
};

}  // namespace orvex::platform::gdal
