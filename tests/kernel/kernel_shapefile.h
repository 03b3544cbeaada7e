#pragma once

// Reads a Kernel Analysis shapefile back through GDAL directly, independently of the
// platform's own reader: the .dbf field definitions and every feature's values and polygon.

#include <ogrsf_frmts.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orvex::test {

struct DbfField {
  std::string name;
  OGRFieldType type = OFTString;
  int width = 0;
  int precision = 0;
};

struct KernelRow {
  double volume = 0.0;
  double density = 0.0;
  std::string kernType;
  double h = 0.0;
  double href = 0.0;
  long long nPoints = 0;
  double area = 0.0;
  double polygonArea = 0.0;  ///< computed by GDAL from the stored rings
};

struct KernelShapefile {
  bool opened = false;
  std::vector<DbfField> fields;
  std::vector<KernelRow> rows;
};

inline KernelShapefile readKernelShapefile(const std::filesystem::path& shp) {
  KernelShapefile file;
  GDALAllRegister();
  std::unique_ptr<GDALDataset> dataset(
      GDALDataset::Open(shp.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
  if (!dataset || dataset->GetLayerCount() != 1) return file;
  file.opened = true;
  OGRLayer* layer = dataset->GetLayer(0);
  OGRFeatureDefn* definition = layer->GetLayerDefn();
  for (int i = 0; i < definition->GetFieldCount(); ++i) {
    const OGRFieldDefn* field = definition->GetFieldDefn(i);
    file.fields.push_back({field->GetNameRef(), field->GetType(), field->GetWidth(), field->GetPrecision()});
  }
  layer->ResetReading();
  while (OGRFeature* raw = layer->GetNextFeature()) {
    std::unique_ptr<OGRFeature> feature(raw);
    KernelRow row;
    row.volume = feature->GetFieldAsDouble("Volume");
    row.density = feature->GetFieldAsDouble("Density");
    row.kernType = feature->GetFieldAsString("KernType");
    row.h = feature->GetFieldAsDouble("h");
    row.href = feature->GetFieldAsDouble("href");
    row.nPoints = feature->GetFieldAsInteger64("NPoints");
    row.area = feature->GetFieldAsDouble("Area");
    const OGRGeometry* geometry = feature->GetGeometryRef();
    if (const auto* polygon = dynamic_cast<const OGRSurface*>(geometry))
      row.polygonArea = polygon->get_Area();
    if (const auto* parts = dynamic_cast<const OGRMultiSurface*>(geometry))
      row.polygonArea = parts->get_Area();
    file.rows.push_back(row);
  }
  return file;
}

}  // namespace orvex::test
