#pragma once

// Opening the dataset that receives a new vector layer (GDAL side of vector_output.h).

#include <filesystem>
#include <string>

#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/vector_output.h"

namespace orvex::platform::gdal {

class ErrorCollector;

/// A dataset open for writing one new layer, and that layer's name. A GeoPackage is written in
/// one transaction, begun before an existing layer of the name is deleted: until `commit`, the
/// file keeps every layer it had (an output dropped uncommitted is rolled back).
class VectorOutput {
 public:
  VectorOutput(DatasetPtr opened, std::string name, bool transaction)
      : dataset(std::move(opened)), layer(std::move(name)), transaction_(transaction) {}
  ~VectorOutput();
  VectorOutput(VectorOutput&&) = default;
  VectorOutput& operator=(VectorOutput&&) = delete;

  /// Commits the layer and closes the file. Throws host::Error (kDataError) naming `file`
  /// with GDAL's reason when `errors` collected a failure (then nothing is committed) or the
  /// commit or the close fails.
  void commit(const std::filesystem::path& file, const ErrorCollector& errors);

  DatasetPtr dataset{};
  std::string layer{};

 private:
  bool transaction_ = false;
};

/// Opens `file` to receive the layer `layer`: a shapefile is created (its folder too), named
/// by the file; a GeoPackage is opened for update when it exists (its other layers stay) and
/// created otherwise. An existing shapefile, or a layer of that name in the GeoPackage, is
/// deleted first when `replace` is true, else refused with host::Error (kAlreadyExists).
/// For a shapefile `layer` is ignored (the layer is the file's name without extension).
/// Throws host::Error (kDataError) with GDAL's reason when the file cannot be made or opened.
VectorOutput openVectorOutput(const std::filesystem::path& file, std::string layer, bool replace);

}  // namespace orvex::platform::gdal
