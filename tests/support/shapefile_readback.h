#pragma once

// Reads a written shapefile back with GDAL directly, independently of the platform code that
// wrote it: the .dbf field definitions, the coordinate system, and every feature's values
// and shape.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace orvex::test {

struct ShpField {
  std::string name;
  OGRFieldType type = OFTString;
  int width = 0;
  int precision = 0;
};

struct ShpFeature {
  std::map<std::string, std::string> text;  ///< every attribute as GDAL prints it
  std::map<std::string, double> number;     ///< every attribute as a double
  double area = 0.0;                        ///< (multi)polygon area by GEOS; 0 for other shapes
  int vertices = 0;                         ///< exterior ring vertices of a polygon, closing one included
  double x = 0.0, y = 0.0;                  ///< the point of a point feature

  /// The attribute as a double; 0 when the file has no such field.
  double numberOf(const std::string& name) const {
    const auto found = number.find(name);
    return found == number.end() ? 0.0 : found->second;
  }
  /// The attribute as GDAL prints it; empty when the file has no such field.
  std::string textOf(const std::string& name) const {
    const auto found = text.find(name);
    return found == text.end() ? std::string() : found->second;
  }
};

struct ShpContents {
  bool opened = false;
  OGRwkbGeometryType geometry = wkbUnknown;
  int epsg = 0;  ///< 0 when the file has no (identifiable) coordinate system
  std::vector<ShpField> fields;
  std::vector<ShpFeature> features;

  const ShpField* field(const std::string& name) const {
    for (const auto& f : fields)
      if (f.name == name) return &f;
    return nullptr;
  }
};

/// The contents of a shapefile; `opened` false (and nothing else) when GDAL cannot open it.
inline ShpContents readShapefile(const std::filesystem::path& path) {
  GDALAllRegister();
  ShpContents contents;
  GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) return contents;
  OGRLayer* layer = dataset->GetLayer(0);
  contents.opened = true;
  contents.geometry = wkbFlatten(layer->GetGeomType());
  if (const OGRSpatialReference* srs = layer->GetSpatialRef()) {
    OGRSpatialReference copy(*srs);
    if (copy.AutoIdentifyEPSG() == OGRERR_NONE || copy.GetAuthorityCode(nullptr) != nullptr) {
      if (const char* code = copy.GetAuthorityCode(nullptr)) contents.epsg = std::atoi(code);
    }
  }
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const OGRFieldDefn* f = defn->GetFieldDefn(i);
    contents.fields.push_back({f->GetNameRef(), f->GetType(), f->GetWidth(), f->GetPrecision()});
  }
  layer->ResetReading();
  for (auto& feature : *layer) {
    ShpFeature row;
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
      const std::string name = defn->GetFieldDefn(i)->GetNameRef();
      row.text[name] = feature->GetFieldAsString(i);
      row.number[name] = feature->GetFieldAsDouble(i);
    }
    if (const OGRGeometry* g = feature->GetGeometryRef()) {
      if (wkbFlatten(g->getGeometryType()) == wkbPolygon) {
        const auto* polygon = g->toPolygon();
        row.area = polygon->get_Area();
        if (const OGRLinearRing* ring = polygon->getExteriorRing()) row.vertices = ring->getNumPoints();
      } else if (wkbFlatten(g->getGeometryType()) == wkbMultiPolygon) {
        row.area = g->toMultiPolygon()->get_Area();
      } else if (wkbFlatten(g->getGeometryType()) == wkbPoint) {
        row.x = g->toPoint()->getX();
        row.y = g->toPoint()->getY();
      }
    }
    contents.features.push_back(std::move(row));
  }
  return contents;
}

}  // namespace orvex::test
