#pragma once

// Helpers of the MCP command tests: shapefiles read back with GDAL directly (not through the
// platform under test), convex hulls by GEOS through OGR, and `orvex` run in a chosen folder.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/orvex_process.h"
#include "headless/headless_fixtures.h"

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
  double area = 0.0;                        ///< polygon area by GEOS; 0 for other shapes
  int vertices = 0;                         ///< exterior ring vertices, closing one included
  double x = 0.0, y = 0.0;                  ///< the point of a point feature
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
      } else if (wkbFlatten(g->getGeometryType()) == wkbPoint) {
        row.x = g->toPoint()->getX();
        row.y = g->toPoint()->getY();
      }
    }
    contents.features.push_back(std::move(row));
  }
  return contents;
}

/// Area of the convex hull of the points, by GEOS: an algorithm independent of the gift
/// wrapping under test.
inline double geosHullArea(const std::vector<std::pair<double, double>>& points) {
  OGRMultiPoint multipoint;
  for (const auto& [x, y] : points) {
    OGRPoint p(x, y);
    multipoint.addGeometry(&p);
  }
  std::unique_ptr<OGRGeometry> hull(multipoint.ConvexHull());
  if (!hull || wkbFlatten(hull->getGeometryType()) != wkbPolygon) return 0.0;
  return hull->toPolygon()->get_Area();
}

/// The whole bytes of a file.
inline std::string fileBytes(const std::filesystem::path& path) { return readAll(path); }

/// `orvex args...` run inside `folder` (its working directory), otherwise as runOrvex does:
/// its own HOME, no terminal, nobody asked.
inline OrvexRun runOrvexIn(const std::filesystem::path& folder, const std::filesystem::path& home,
                           const std::vector<std::string>& args) {
  const std::filesystem::path orvex = std::filesystem::path(ORVEX_BIN_DIR) / "orvex";
  std::string command = "cd " + shellQuoted(folder.string()) +
                        " && env -u ORVEX_REGISTRY -u ORVEX_THROW HOME=" + shellQuoted(home.string()) +
                        " XDG_CONFIG_HOME=" + shellQuoted(home.string()) + " " + shellQuoted(orvex.string());
  for (const auto& arg : args) command += " " + shellQuoted(arg);
  const auto out = home / "orvex.stdout";
  const auto err = home / "orvex.stderr";
  command += " </dev/null >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string());
  OrvexRun run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readAll(out);
  run.err = readAll(err);
  return run;
}

/// Text of a run for failure messages.
inline std::string shown(const OrvexRun& run) {
  return "exit " + std::to_string(run.exitCode) + "\n--- stdout\n" + run.out + "--- stderr\n" + run.err;
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline std::filesystem::path sharedData() { return ORVEX_SHARED_DATA; }

}  // namespace orvex::test
