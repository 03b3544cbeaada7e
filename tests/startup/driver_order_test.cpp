// Drivers registered in two steps (the shapefile driver first, the others when a probe needs
// them) end in GDAL's own order, and a shapefile opened in between stays usable.

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/shapefile_feature_class.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;

namespace {

/// The vector drivers in the order `ogrinfo --formats` lists them: GDAL's registration order.
std::vector<std::string> referenceOrder() {
  std::vector<std::string> names;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen("ogrinfo --formats 2>/dev/null", "r"), ::pclose);
  if (!pipe) return names;
  std::array<char, 512> line{};
  while (std::fgets(line.data(), line.size(), pipe.get()) != nullptr) {
    // "  NAME -KIND,KIND- (FLAGS): DESCRIPTION", NAME may hold spaces.
    static const std::regex entry(R"(^\s+(.*?) -([a-z ,]+)- \()");
    std::cmatch match;
    if (!std::regex_search(line.data(), match, entry) || match[2].str().find("vector") == std::string::npos)
      continue;
    const std::string name = match[1].str();
    names.push_back(name);
  }
  return names;
}

}  // namespace

TEST(DriverRegistration, ShapefileFirstThenAllEndsInGdalsOwnOrder) {
  orvex::test::TempFolder dir("drivers");
  gdal::ensureShapefileDriver();
  ASSERT_EQ(GetGDALDriverManager()->GetDriverCount(), 1);
  {
    host::FeatureClassSpec spec;
    spec.name = "early";
    spec.shapeFieldName = "Shape";
    host::FieldDef shape;
    shape.name = "Shape";
    shape.type = host::FieldType::Geometry;
    shape.geometry = host::GeometryDef{host::GeometryType::Point, false, false, nullptr};
    spec.fields.add(shape);
    gdal::ShapefileFeatureClass::create(dir / "early.shp", spec)->close();
  }
  auto early = gdal::ShapefileFeatureClass::open(dir / "early.shp");

  gdal::ensureGdalReady();
  std::vector<std::string> ours;
  for (int i = 0; i < GetGDALDriverManager()->GetDriverCount(); ++i) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriver(i);
    if (driver->GetMetadataItem(GDAL_DCAP_VECTOR) != nullptr) ours.push_back(driver->GetDescription());
  }
  const std::vector<std::string> reference = referenceOrder();
  ASSERT_FALSE(reference.empty()) << "ogrinfo (gdal-bin) lists the drivers";
  EXPECT_EQ(ours, reference);

  // The file opened through the first driver object is still read and written.
  host::Row row = early->createRowBuffer();
  row.setShape(host::Point{1.0, 2.0});
  early->insert(true)->insert(row);
  EXPECT_EQ(early->rowCount(), 1);
  EXPECT_NO_THROW(early->close());
}
