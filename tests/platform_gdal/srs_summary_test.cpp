// Coordinate systems kept across runs: a shapefile opened with its .prj's answers in the cache
// must behave as one opened without them, and write the same files. The hint that rasters will
// be written (`expectRasterOutputs`) must be harmless: the files written and the failures met
// are the same with and without it, and a helper thread still at work when its factory goes is
// joined, not left running.

#include <gtest/gtest.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <stdlib.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/error.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/ogr_spatial_reference.h"
#include "platform/gdal/shapefile_feature_class.h"
#include "platform/gdal/spatial_refs.h"
#include "platform/gdal/srs_summary.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;
namespace fs = std::filesystem;
using orvex::test::TempFolder;

namespace {

/// Points the cache at a private folder for one test.
class PrivateCache {
 public:
  PrivateCache() {
    if (const char* old = std::getenv("XDG_CACHE_HOME")) old_ = old;
    ::setenv("XDG_CACHE_HOME", folder_.path().c_str(), 1);
  }
  ~PrivateCache() {
    if (old_)
      ::setenv("XDG_CACHE_HOME", old_->c_str(), 1);
    else
      ::unsetenv("XDG_CACHE_HOME");
  }
  std::vector<fs::path> files() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder_.path()))
      if (entry.is_regular_file()) found.push_back(entry.path());
    return found;
  }

 private:
  TempFolder folder_{"srs_cache"};
  std::optional<std::string> old_;
};

std::string bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

host::FeatureClassSpec pointSpec(const std::string& name, host::SpatialReferencePtr srs) {
  host::FeatureClassSpec spec;
  spec.name = name;
  spec.shapeFieldName = "Shape";
  host::FieldDef shape;
  shape.name = "Shape";
  shape.type = host::FieldType::Geometry;
  shape.geometry = host::GeometryDef{host::GeometryType::Point, false, false, std::move(srs)};
  spec.fields.add(shape);
  host::FieldDef value;
  value.name = "V";
  value.type = host::FieldType::Integer;
  value.length = 9;
  spec.fields.add(value);
  return spec;
}

/// Rows (i, V = i) at (1000 + i, 2000 - i / 3), with a null shape at every fourth.
void writePoints(const fs::path& shp, host::SpatialReferencePtr srs, int count) {
  auto fc = gdal::ShapefileFeatureClass::create(shp, pointSpec(shp.stem().string(), std::move(srs)));
  auto cursor = fc->insert(true);
  for (int i = 0; i < count; ++i) {
    host::Row row = fc->createRowBuffer();
    row.setValue(row.findField("V"), host::Value(i));
    if (i % 4 == 3)
      row.setShape(host::Geometry(host::Geometry::Shape{}));
    else
      row.setShape(host::Point{1000.0 + i, 2000.0 - i / 3.0});
    cursor->insert(row);
  }
  cursor->flush();
  fc->close();
}

/// What a run sees of an opened shapefile: its reference's answers and its rows.
struct Reading {
  std::string name, wkt, rows;
  std::optional<int> epsg;
  bool geographic = false, projected = false;
  double tolerance = 0;
  bool operator==(const Reading&) const = default;
};

Reading read(const gdal::ShapefileFeatureClass& fc) {
  Reading r;
  const auto srs = fc.spatialReference();
  r.name = srs->name();
  r.wkt = srs->wkt();
  r.epsg = srs->epsg();
  r.geographic = srs->isGeographic();
  r.projected = srs->isProjected();
  r.tolerance = srs->xyTolerance();
  std::ostringstream rows;
  rows.precision(17);
  auto cursor = fc.search();
  while (auto row = cursor->next()) {
    rows << row->oid() << ' ' << row->value(row->findField("V")).toText() << ' ';
    if (row->shape().type() == host::GeometryType::Null)
      rows << "null\n";
    else
      rows << row->shape().point()->x << ' ' << row->shape().point()->y << '\n';
  }
  r.rows = rows.str();
  return r;
}

struct System {
  const char* label;
  int epsg;  // 0: `wkt` instead
  const char* wkt;
};

const System kSystems[] = {
    {"UTM 33N", 32633, nullptr},
    {"WGS 84", 4326, nullptr},
    {"NZGD2000 / NZTM", 2193, nullptr},
    {"an unnamed Lambert conic", 0,
     "+proj=lcc +lat_1=-30 +lat_2=-40 +lat_0=-35 +lon_0=145 +x_0=0 +y_0=0 +ellps=GRS80 +units=m +no_defs"},
};

/// A reference as a run holds one read from a .prj whose answers are cached: PROJ has not
/// read it yet, so the hint sets a helper to work. `fullWkt` replaces the text it is rebuilt
/// from (a damaged cache record).
host::SpatialReferencePtr cachedReference(int epsg, const std::string& fullWkt = {}) {
  const gdal::SpatialRefPtr parsed = gdal::srsFromEpsg(epsg);
  gdal::SrsSummary summary = gdal::summarise(*parsed, epsg);
  if (!fullWkt.empty()) summary.fullWkt = fullWkt;
  return std::make_shared<gdal::OgrSpatialReference>(summary.shapefilePrj, summary);
}

/// A host's own reference that only gives its text.
class TextReference final : public host::SpatialReference {
 public:
  explicit TextReference(std::string wkt) : wkt_(std::move(wkt)) {}
  std::string name() const override { return "text"; }
  std::string wkt() const override { return wkt_; }
  std::optional<int> epsg() const override { return std::nullopt; }
  bool isGeographic() const override { return false; }
  bool isProjected() const override { return true; }
  double xyTolerance() const override { return 0.001; }
  bool isSame(const host::SpatialReference& other) const override { return other.wkt() == wkt_; }

 private:
  std::string wkt_;
};

/// What a KDE run writes, in small: a raster in `srs`, then a shapefile in the raster's own
/// reference. Returns every file's bytes by name, or the failure's text.
std::map<std::string, std::string> writeOutputs(const host::SpatialReferencePtr& srs, bool hint) {
  TempFolder dir("warm_up");
  auto factory = gdal::makeSpatialReferenceFactory();
  if (hint) factory->expectRasterOutputs(*srs);
  std::map<std::string, std::string> files;
  try {
    auto rasters = gdal::openRasterWorkspace(dir.path());
    auto raster = rasters->createRaster({.name = "kde0",
                                         .originX = 500000,
                                         .originY = 4000000,
                                         .cellSize = 100,
                                         .rows = 4,
                                         .columns = 5,
                                         .spatialReference = srs});
    raster->band(0)->writeRows(0, 4, std::vector<float>(20, 1.5f));
    gdal::ShapefileFeatureClass::create(dir / "iso.shp", pointSpec("iso", raster->spatialReference()))
        ->close();
  } catch (const host::Error& e) {
    return {{"failure", std::to_string(e.status()) + " " + e.description()}};
  }
  for (const auto& entry : fs::directory_iterator(dir.path()))
    files[entry.path().filename().string()] = bytesOf(entry.path());
  return files;
}

}  // namespace

TEST(ShapefileKnownSystems, AnOpenWithKnownAnswersReadsAndWritesAsAParsingOne) {
  for (const System& system : kSystems) {
    SCOPED_TRACE(system.label);
    PrivateCache cache;
    TempFolder dir("srs");
    auto factory = gdal::makeSpatialReferenceFactory();
    writePoints(dir / "in.shp",
                system.epsg != 0 ? factory->fromEpsg(system.epsg) : factory->fromWkt(system.wkt), 40);

    auto parsed = gdal::ShapefileFeatureClass::open(dir / "in.shp");
    ASSERT_EQ(cache.files().size(), 1U) << "the first open keeps the answers";
    auto known = gdal::ShapefileFeatureClass::open(dir / "in.shp");
    const auto* knownSrs = dynamic_cast<const gdal::OgrSpatialReference*>(known->spatialReference().get());
    ASSERT_NE(knownSrs, nullptr);
    ASSERT_NE(knownSrs->knownShapefilePrj(), nullptr) << "the second open uses them";

    EXPECT_EQ(read(*known), read(*parsed));
    EXPECT_TRUE(known->spatialReference()->isSame(*parsed->spatialReference()));
    EXPECT_TRUE(parsed->spatialReference()->isSame(*known->spatialReference()));
    // The reference rebuilt for a run that needs PROJ after all is the parsed one.
    const auto* parsedSrs = dynamic_cast<const gdal::OgrSpatialReference*>(parsed->spatialReference().get());
    ASSERT_NE(knownSrs->ogr(), nullptr);
    EXPECT_TRUE(gdal::sameSrs(*knownSrs->ogr(), *parsedSrs->ogr()));
    EXPECT_EQ(gdal::srsName(*knownSrs->ogr()), gdal::srsName(*parsedSrs->ogr()));

    // Outputs carrying either reference are the same files.
    writePoints(dir / "from_parsed.shp", parsed->spatialReference(), 5);
    writePoints(dir / "from_known.shp", known->spatialReference(), 5);
    for (const char* extension : {".prj", ".shp", ".shx", ".dbf", ".cpg"}) {
      EXPECT_EQ(bytesOf((dir / "from_known").replace_extension(extension)),
                bytesOf((dir / "from_parsed").replace_extension(extension)))
          << extension;
    }
  }
}

TEST(ShapefileKnownSystems, RowsWrittenThroughAKnownOpenAreReadBack) {
  PrivateCache cache;
  TempFolder dir("srs");
  writePoints(dir / "in.shp", gdal::makeSpatialReferenceFactory()->fromEpsg(32633), 12);
  gdal::ShapefileFeatureClass::open(dir / "in.shp")->close();
  auto known = gdal::ShapefileFeatureClass::open(dir / "in.shp");
  {
    auto cursor = known->update();
    while (auto row = cursor->next()) {
      if (row->oid() != 5) continue;
      row->setShape(host::Point{-7.5, 8.25});
      cursor->updateRow(*row);
    }
  }
  host::Row added = known->createRowBuffer();
  added.setValue(added.findField("V"), host::Value(99));
  added.setShape(host::Point{3.0, 4.0});
  const host::ObjectId id = known->insert(true)->insert(added);
  EXPECT_EQ(known->row(5)->shape().point()->x, -7.5);
  EXPECT_EQ(known->row(id)->shape().point()->y, 4.0);
  EXPECT_EQ(known->row(3)->shape().type(), host::GeometryType::Null);
  EXPECT_EQ(known->row(4)->shape().point()->x, 1004.0);
}

TEST(ShapefileKnownSystems, ADamagedCacheRecordIsParsedAgainAndReplaced) {
  PrivateCache cache;
  TempFolder dir("srs");
  writePoints(dir / "in.shp", gdal::makeSpatialReferenceFactory()->fromEpsg(32633), 3);
  const Reading first = read(*gdal::ShapefileFeatureClass::open(dir / "in.shp"));
  ASSERT_EQ(cache.files().size(), 1U);
  const fs::path record = cache.files().front();
  const std::string whole = bytesOf(record);
  for (const std::string& damaged : {whole.substr(0, whole.size() / 2), std::string("12\nnot a record\n")}) {
    std::ofstream(record, std::ios::binary | std::ios::trunc) << damaged;
    auto again = gdal::ShapefileFeatureClass::open(dir / "in.shp");
    EXPECT_EQ(read(*again), first);
    EXPECT_EQ(bytesOf(record), whole);
  }
}

TEST(ShapefileKnownSystems, RecordsMarkedDeletedOnDiskAreSkippedAsOgrSkipsThem) {
  PrivateCache cache;
  TempFolder dir("srs");
  writePoints(dir / "in.shp", gdal::makeSpatialReferenceFactory()->fromEpsg(32633), 9);
  const std::string parsed = read(*gdal::ShapefileFeatureClass::open(dir / "in.shp")).rows;
  {
    // Marks records 2 and 8 deleted, as another program that does not pack would leave them.
    std::fstream dbf(dir / "in.dbf", std::ios::binary | std::ios::in | std::ios::out);
    unsigned char header[12];
    dbf.read(reinterpret_cast<char*>(header), sizeof header);
    const int headerBytes = header[8] | (header[9] << 8);
    const int recordBytes = header[10] | (header[11] << 8);
    for (int record : {2, 8}) {
      dbf.seekp(headerBytes + record * recordBytes);
      dbf.put('*');
    }
  }
  std::string expected;
  std::istringstream lines(parsed);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("2 ", 0) != 0 && line.rfind("8 ", 0) != 0) expected += line + '\n';
  auto known = gdal::ShapefileFeatureClass::open(dir / "in.shp");
  EXPECT_EQ(read(*known).rows, expected);
  EXPECT_EQ(known->rowCount(), 7);
  EXPECT_FALSE(known->row(2).has_value());
}

namespace {

/// One .dbf cell as stored: `text` padded with blanks to the field's width, on the right for
/// text and on the left for numbers, as writers store them.
struct Cell {
  int field;
  const char* text;
};

/// Every value of a row with its type, doubles to the last bit.
std::string typedValues(const host::Row& row) {
  std::ostringstream out;
  out.precision(17);
  for (int i = 2; i < row.fields().count(); ++i) {
    const host::Value& v = row.value(i);
    out << static_cast<int>(v.type()) << ':';
    if (const double* real = v.real())
      out << *real;
    else if (!v.isEmpty())
      out << v.toText();
    out << '|';
  }
  return out.str();
}

}  // namespace

TEST(ShapefileKnownSystems, AttributesReadDirectlyEqualOgrsReadingCellByCell) {
  PrivateCache cache;
  TempFolder dir("srs");
  const fs::path shp = dir / "cells.shp";
  // Fields: 0 text C(12), 1 whole N(9), 2 wide whole N(15), 3 real N(12.4), 4 date D.
  const std::vector<std::vector<Cell>> rows = {
      {{0, "A1"}, {1, "42"}, {2, "1619931638"}, {3, "3.2500"}, {4, "20210502"}},
      {{0, "  two words "}, {1, "-7"}, {2, "-2147483649"}, {3, "-0.5000"}, {4, "20040231"}},
      {{0, ""}, {1, ""}, {2, ""}, {3, ""}, {4, "00000000"}},
      {{0, "caf\xc3\xa9"}, {1, "+0042"}, {2, "123456789012345"}, {3, "7."}, {4, ""}},
      {{0, "x"}, {1, "*********"}, {2, "1e3"}, {3, "1e-3"}, {4, "2021/5/2"}},
      {{0, "tab\there"}, {1, "12 34"}, {2, "0"}, {3, ".5"}, {4, "19991231"}},
  };
  {
    gdal::ensureShapefileDriver();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    ASSERT_NE(driver, nullptr);
    GDALDatasetUniquePtr ds(driver->Create(shp.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRSpatialReference utm;
    utm.importFromEPSG(32633);
    const char* options[] = {"ENCODING=UTF-8", nullptr};
    OGRLayer* layer = ds->CreateLayer("cells", &utm, wkbPoint, const_cast<char**>(options));
    OGRFieldDefn text("T", OFTString), whole("I", OFTInteger), wide("W", OFTInteger64), real("R", OFTReal),
        date("D", OFTDate);
    text.SetWidth(12);
    whole.SetWidth(9);
    wide.SetWidth(15);
    real.SetWidth(12);
    real.SetPrecision(4);
    for (OGRFieldDefn* f : {&text, &whole, &wide, &real, &date})
      ASSERT_EQ(layer->CreateField(f), OGRERR_NONE);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      OGRFeature feature(layer->GetLayerDefn());
      OGRPoint point(static_cast<double>(i), 1.0);
      feature.SetGeometry(&point);
      ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
  }
  {
    std::fstream dbf(dir / "cells.dbf", std::ios::binary | std::ios::in | std::ios::out);
    unsigned char header[32];
    dbf.read(reinterpret_cast<char*>(header), sizeof header);
    const int headerBytes = header[8] | (header[9] << 8);
    const int recordBytes = header[10] | (header[11] << 8);
    std::vector<int> offsets;
    std::vector<int> widths;
    int offset = 1;
    for (int f = 0; f < 5; ++f) {
      unsigned char d[32];
      dbf.seekg(32 + 32 * f);
      dbf.read(reinterpret_cast<char*>(d), sizeof d);
      offsets.push_back(offset);
      widths.push_back(d[16]);
      offset += d[16];
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
      for (const Cell& cell : rows[r]) {
        const std::string text = cell.text;
        const std::size_t width = static_cast<std::size_t>(widths[static_cast<std::size_t>(cell.field)]);
        ASSERT_LE(text.size(), width);
        const std::string blanks(width - text.size(), ' ');
        dbf.seekp(headerBytes + static_cast<int>(r) * recordBytes +
                  offsets[static_cast<std::size_t>(cell.field)]);
        dbf << (cell.field == 0 ? text + blanks : blanks + text);
      }
    }
  }
  std::vector<std::string> byOgr;
  {
    auto parsed = gdal::ShapefileFeatureClass::open(shp);
    for (std::size_t r = 0; r < rows.size(); ++r)
      byOgr.push_back(typedValues(*parsed->row(static_cast<int>(r))));
  }
  auto known = gdal::ShapefileFeatureClass::open(shp);
  ASSERT_NE(dynamic_cast<const gdal::OgrSpatialReference&>(*known->spatialReference()).knownShapefilePrj(),
            nullptr);
  for (std::size_t r = 0; r < rows.size(); ++r)
    EXPECT_EQ(typedValues(*known->row(static_cast<int>(r))), byOgr[r]) << "row " << r;
  // The first row is read directly (plain cells): its values are the expected ones.
  EXPECT_EQ(byOgr[0], "3:A1|1:42|1:1619931638|2:3.25|4:2021-05-02|");
}

TEST(SrsWarmUp, OutputsAndFailuresAreTheSameWithAndWithoutTheHint) {
  const struct {
    const char* label;
    std::function<host::SpatialReferencePtr()> make;
    bool fails;
  } cases[] = {
      {"cached UTM 33N", [] { return cachedReference(32633); }, false},
      {"cached WGS 84", [] { return cachedReference(4326); }, false},
      {"parsed NZTM", [] { return gdal::makeSpatialReferenceFactory()->fromEpsg(2193); }, false},
      {"host text", [] { return std::make_shared<TextReference>(gdal::srsWkt(*gdal::srsFromEpsg(32633))); },
       false},
      {"damaged cache record", [] { return cachedReference(32633, "PROJCRS[\"cut short"); }, true},
      {"host text PROJ cannot read", [] { return std::make_shared<TextReference>("GEOGCS[nonsense"); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto without = writeOutputs(c.make(), false);
    const auto with = writeOutputs(c.make(), true);
    EXPECT_EQ(without.contains("failure"), c.fails);
    EXPECT_EQ(with, without);
  }
}

TEST(SrsWarmUp, AFactoryEndingWhileItsHelperWorksJoinsIt) {
  // Sanitizer builds catch a helper left running into the process's end.
  for (int i = 0; i < 3; ++i)
    gdal::makeSpatialReferenceFactory()->expectRasterOutputs(*cachedReference(32633));
}

TEST(SrsWarmUp, APrjThatDoesNotReadIsRefusedEveryTime) {
  const std::string good = gdal::srsShapefilePrj(*gdal::srsFromEpsg(32633));
  const struct {
    std::string text;
    bool reads;
  } cases[] = {{good, true}, {"PROJCS[\"cut", false}, {good.substr(0, good.size() / 2), false}};
  for (const auto& c : cases) {
    char* lines[] = {const_cast<char*>(c.text.c_str()), nullptr};
    // The second answer may come from what the first learnt; it must be the same.
    EXPECT_EQ(gdal::prjLinesRead(lines), c.reads) << c.text;
    EXPECT_EQ(gdal::prjLinesRead(lines), c.reads) << c.text;
  }
}
