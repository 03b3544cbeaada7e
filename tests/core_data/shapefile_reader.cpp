#include "core_data/shapefile_reader.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <memory>
#include <stdexcept>

namespace orvex::test {

const ShapefileField* ShapefileContent::field(const std::string& name) const {
  for (const auto& f : fields)
    if (f.name == name) return &f;
  return nullptr;
}

ShapefileContent readShapefile(const std::filesystem::path& shp) {
  GDALAllRegister();
  std::unique_ptr<GDALDataset> dataset(
      GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
  if (!dataset || dataset->GetLayerCount() != 1) throw std::runtime_error("cannot open " + shp.string());
  OGRLayer* layer = dataset->GetLayer(0);

  ShapefileContent content;
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const OGRFieldDefn* f = defn->GetFieldDefn(i);
    content.fields.push_back(
        {f->GetNameRef(), OGRFieldDefn::GetFieldTypeName(f->GetType()), f->GetWidth(), f->GetPrecision()});
  }
  content.hasPrj = std::filesystem::exists(std::filesystem::path(shp).replace_extension(".prj"));
  if (const OGRSpatialReference* srs = layer->GetSpatialRef()) {
    OGRSpatialReference copy(*srs);
    copy.AutoIdentifyEPSG();
    if (const char* code = copy.GetAuthorityCode(nullptr)) content.epsg = std::stoi(code);
  }

  layer->ResetReading();
  while (std::unique_ptr<OGRFeature> feature{layer->GetNextFeature()}) {
    const OGRGeometry* geometry = feature->GetGeometryRef();
    if (geometry == nullptr || wkbFlatten(geometry->getGeometryType()) != wkbPoint)
      throw std::runtime_error("not a point feature in " + shp.string());
    ShapefilePoint point;
    point.x = geometry->toPoint()->getX();
    point.y = geometry->toPoint()->getY();
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
      const std::string name = defn->GetFieldDefn(i)->GetNameRef();
      if (feature->IsFieldSetAndNotNull(i))
        point.values[name] = std::string(feature->GetFieldAsString(i));
      else
        point.values[name] = std::nullopt;
    }
    content.points.push_back(std::move(point));
  }
  return content;
}

}  // namespace orvex::test
