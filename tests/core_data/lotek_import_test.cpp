// The Lotek import command end to end on the shared Access fixtures, read back with GDAL.
//
// Expected positions come from the fixtures' expected/*.csv files: X, Y are PROJ's forward
// projection (exact transverse Mercator) of Lon, Lat = stored value / 1000 / 3600 to EPSG:32642.
// The import projects the same degrees with PROJ through OGR, so the positions agree to
// rounding; the tolerance is 1 mm. In WGS 1984 the stored degrees are written unchanged
// (tolerance 1e-12 degree, about 0.1 micrometre).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "access/lotek_fixture.h"
#include "core/data/keepers_form.h"
#include "core/data/lotek_source.h"
#include "core/data/orvex_import.h"
#include "core_data/core_test_host.h"
#include "core_data/memory_workspace.h"
#include "core_data/shapefile_reader.h"
#include "platform/access/access_workspace.h"
#include "platform/headless/form_script.h"

namespace orvex::core {
namespace {

using access::testing::CsvRow;
using access::testing::lotekFolder;
using access::testing::readCsv;
using test::readShapefile;
using test::ShapefileContent;

constexpr double kProjectedToleranceM = 1e-3;
constexpr double kDegreeTolerance = 1e-12;
constexpr int kUtm42 = 32642;

std::vector<CsvRow> expected(const std::vector<std::string>& files, const std::string& suffix) {
  std::vector<CsvRow> rows;
  for (const auto& file : files) {
    auto part = readCsv(lotekFolder() / "expected" / (file + suffix + ".csv"));
    rows.insert(rows.end(), part.begin(), part.end());
  }
  return rows;
}

class LotekImport : public ::testing::Test {
 protected:
  void SetUp() override { ORVEX_REQUIRE_LOTEK(); }

  /// Clicks the import once: the files (fixture names without ".mdb", or full paths), the
  /// output in the temporary folder, the Keepers? button; `mapEpsg` 0 leaves the map without
  /// a coordinate system.
  host::Status run(const std::vector<std::string>& files, const char* keepersButton, int mapEpsg = kUtm42,
                   const std::string& outputName = "fixes.shp") {
    if (mapEpsg != 0) app.setMapEpsg(mapEpsg);
    std::vector<std::filesystem::path> paths;
    for (const auto& file : files)
      paths.push_back(file.find('/') != std::string::npos ? std::filesystem::path(file)
                                                          : lotekFolder() / (file + ".mdb"));
    app.scriptedUi().queueOpenAnswer(paths);
    app.scriptedUi().queueSaveAnswer(out / outputName);
    app.scriptedUi().setFormScript(KeepersForm::kName, platform::headless::FormScript().click(keepersButton));
    orvex_import command;
    command.onCreate(app);
    return command.onClick();
  }

  ShapefileContent output(const std::string& name = "fixes.shp") const { return readShapefile(out / name); }
  std::vector<std::shared_ptr<host::Layer>> layers() { return app.map().layers(); }

  test::ProbeApplication app;
  test::TempFolder out;
};

/// Positions and identifying values of the written points against the expected rows, in order.
void expectFixes(const ShapefileContent& shape, const std::vector<CsvRow>& rows) {
  ASSERT_EQ(shape.points.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& point = shape.points[i];
    SCOPED_TRACE("fix " + std::to_string(i) + ", ID " + rows[i].at("ID"));
    EXPECT_NEAR(point.x, std::stod(rows[i].at("X")), kProjectedToleranceM);
    EXPECT_NEAR(point.y, std::stod(rows[i].at("Y")), kProjectedToleranceM);
    EXPECT_EQ(point.values.at("Time2"), rows[i].at("Time2"));
    EXPECT_EQ(point.values.at("CollarID"), rows[i].at("CollarID"));
    EXPECT_EQ(point.values.at("FixStatus"), rows[i].at("FixStatus"));
  }
}

TEST_F(LotekImport, ExcludeKeepsEveryFixNotAcquiringProjectedToTheMap) {
  ASSERT_EQ(run({"collar_a"}, "btnExclude"), host::kOk);
  const ShapefileContent shape = output();
  expectFixes(shape, expected({"collar_a"}, "_fixes"));  // 300 rows less 30 Acquiring
  EXPECT_EQ(shape.epsg, kUtm42);

  // The 24-character status is kept whole (the schema's 20 characters would cut it).
  const auto uncertain = std::count_if(shape.points.begin(), shape.points.end(), [](const auto& p) {
    return p.values.at("FixStatus") == std::optional<std::string>("Resolved QFP (Uncertain)");
  });
  EXPECT_EQ(uncertain, 25);

  ASSERT_EQ(layers().size(), 1u);
  EXPECT_EQ(layers()[0]->name(), "fixes.shp");
  EXPECT_EQ(layers()[0]->spatialReference()->epsg(), kUtm42);
  EXPECT_EQ(app.headless.view().partialRefreshes(), std::vector{host::ViewPhase::Geography});
  ASSERT_EQ(app.scriptedUi().forms().size(), 1u);
  EXPECT_EQ(app.scriptedUi().forms()[0].caption, "Keepers?");
  EXPECT_TRUE(app.messages().empty()) << app.messages().front();
}

TEST_F(LotekImport, OutputSchemaHasTheElevenFieldsInOrder) {
  ASSERT_EQ(run({"collar_nulls"}, "btnExclude"), host::kOk);
  const ShapefileContent shape = output();
  std::vector<std::string> names, types;
  for (const auto& f : shape.fields) {
    names.push_back(f.name);
    types.push_back(f.type);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"CollarID", "Time1", "Date", "Time2", "FixStatus", "DOP",
                                             "ReceiverSt", "Convergenc", "Activity", "TTFF", "Temperatur"}));
  // Integer fields are 11 digits wide (every 32-bit value), which OGR reports as Integer64.
  EXPECT_EQ(types, (std::vector<std::string>{"String", "String", "Date", "Integer64", "String", "Real",
                                             "Integer64", "Integer64", "Integer64", "Integer64", "Real"}));
  EXPECT_EQ(shape.field("CollarID")->width, 20);
  EXPECT_EQ(shape.field("Time1")->width, 20);
  EXPECT_EQ(shape.field("FixStatus")->width, 24);  // widened to the longest status in the file
  EXPECT_EQ(shape.field("DOP")->width, 20);
  EXPECT_EQ(shape.field("DOP")->precision, 1);
  EXPECT_EQ(shape.field("Temperatur")->precision, 1);
}

TEST_F(LotekImport, IncludeKeepsAcquiringFixes) {
  ASSERT_EQ(run({"collar_a"}, "btnInclude"), host::kOk);
  expectFixes(output(), expected({"collar_a"}, "_all"));  // every row has ID > 0
}

TEST_F(LotekImport, TwoFilesMakeOneShapefileFirstFileFirst) {
  ASSERT_EQ(run({"collar_a", "collar_b"}, "btnExclude"), host::kOk);
  const ShapefileContent shape = output();
  expectFixes(shape, expected({"collar_a", "collar_b"}, "_fixes"));  // 270 + 184
  EXPECT_EQ(layers().size(), 1u);
}

TEST_F(LotekImport, RowWithoutCoordinatesIsLeftOutAndCounted) {
  ASSERT_EQ(run({"collar_nulls"}, "btnInclude"), host::kOk);
  const ShapefileContent shape = output();
  // The expected fixes are exactly the rows with coordinates (no row is Acquiring).
  expectFixes(shape, expected({"collar_nulls"}, "_fixes"));
  EXPECT_EQ(app.messages(),
            std::vector<std::string>{"1 row of the file " +
                                     (lotekFolder() / "collar_nulls.mdb").lexically_normal().string() +
                                     " has no coordinates and was not imported."});
  // NULL values stay empty: DOP in IDs 3, 7, 12; Temperature in 5, 12, 18; Time1 in 9, 15.
  auto nulls = [&](const char* field) {
    return std::count_if(shape.points.begin(), shape.points.end(),
                         [&](const auto& p) { return !p.values.at(field).has_value(); });
  };
  EXPECT_EQ(nulls("DOP"), 3);
  EXPECT_EQ(nulls("Temperatur"), 3);
  EXPECT_EQ(nulls("Time1"), 2);
  EXPECT_EQ(nulls("Activity"), 0);
}

TEST_F(LotekImport, FieldsMissingFromTheFileStayEmpty) {
  ASSERT_EQ(run({"collar_missing_fields"}, "btnExclude"), host::kOk);
  const ShapefileContent shape = output();
  expectFixes(shape, expected({"collar_missing_fields"}, "_fixes"));
  for (const auto& point : shape.points) {
    EXPECT_FALSE(point.values.at("Temperatur").has_value());
    EXPECT_FALSE(point.values.at("Activity").has_value());
    EXPECT_TRUE(point.values.at("TTFF").has_value());
  }
}

TEST_F(LotekImport, FixTableIsFoundAfterAnotherTable) {
  ASSERT_EQ(run({"collar_second_table"}, "btnExclude"), host::kOk);
  expectFixes(output(), expected({"collar_second_table"}, "_fixes"));
}

TEST_F(LotekImport, DamagedFileIsReportedAndTheOthersGoOn) {
  ASSERT_EQ(run({"collar_nulls", "corrupt_truncated", "collar_second_table"}, "btnExclude"), host::kOk);
  const auto texts = app.messages();
  const auto damaged = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
    return t.find("corrupt_truncated.mdb") != std::string::npos && t.ends_with("\norvex_import(281)");
  });
  EXPECT_NE(damaged, texts.end()) << ::testing::PrintToString(texts);
  expectFixes(output(), expected({"collar_nulls", "collar_second_table"}, "_fixes"));
}

TEST_F(LotekImport, MapWithoutCoordinateSystemKeepsWgs84Degrees) {
  ASSERT_EQ(run({"collar_b"}, "btnExclude", 0), host::kOk);
  const ShapefileContent shape = output();
  const auto rows = expected({"collar_b"}, "_fixes");
  ASSERT_EQ(shape.points.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_NEAR(shape.points[i].x, std::stod(rows[i].at("Lon")), kDegreeTolerance) << "fix " << i;
    EXPECT_NEAR(shape.points[i].y, std::stod(rows[i].at("Lat")), kDegreeTolerance) << "fix " << i;
  }
  EXPECT_EQ(shape.epsg, 4326);
  EXPECT_EQ(layers().at(0)->spatialReference()->epsg(), 4326);
}

TEST_F(LotekImport, CancellingEndsQuietly) {
  // No files chosen: nothing else is asked.
  orvex_import command;
  command.onCreate(app);
  EXPECT_EQ(command.onClick(), host::kAbort);
  EXPECT_EQ(app.scriptedUi().dialogs().size(), 1u);  // the open dialog only

  // No output chosen.
  app.scriptedUi().queueOpenAnswer({lotekFolder() / "collar_nulls.mdb"});
  app.scriptedUi().queueSaveAnswer(std::nullopt);
  EXPECT_EQ(command.onClick(), host::kAbort);
  EXPECT_TRUE(app.scriptedUi().forms().empty());

  // Keepers? cancelled: the empty output stays, no layer is added.
  EXPECT_EQ(run({"collar_nulls"}, "btnCancel"), host::kAbort);
  EXPECT_TRUE(output().points.empty());
  EXPECT_TRUE(layers().empty());
  EXPECT_TRUE(app.messages().empty());
}

TEST_F(LotekImport, ExistingOutputIsReplaced) {
  ASSERT_EQ(run({"collar_nulls"}, "btnExclude"), host::kOk);
  for (const auto& layer : layers()) app.map().removeLayer(layer);
  ASSERT_EQ(run({"collar_second_table"}, "btnExclude"), host::kOk);
  expectFixes(output(), expected({"collar_second_table"}, "_fixes"));
}

TEST_F(LotekImport, OutputStillShownInTheMapIsAppendedTo) {
  // The layer of the first run holds the shapefile, so it cannot be deleted: the second run
  // appends to it instead.
  ASSERT_EQ(run({"collar_nulls"}, "btnExclude"), host::kOk);
  ASSERT_EQ(run({"collar_second_table"}, "btnExclude"), host::kOk);
  expectFixes(output(), expected({"collar_nulls", "collar_second_table"}, "_fixes"));
}

TEST_F(LotekImport, NothingReadableLeavesAnExistingOutputAlone) {
  ASSERT_EQ(run({"collar_nulls"}, "btnExclude"), host::kOk);
  app.scriptedUi().clearRecords();
  EXPECT_EQ(run({"corrupt_truncated"}, "btnExclude"), host::kFail);
  EXPECT_EQ(app.messages().size(), 1u);
  EXPECT_TRUE(app.scriptedUi().forms().empty());
  EXPECT_EQ(output().points.size(), 19u);
}

TEST_F(LotekImport, OutputFolderThatDoesNotExistIsReportedWithLine171) {
  const host::Status status = run({"collar_nulls"}, "btnExclude", kUtm42, "missing/fixes.shp");
  EXPECT_TRUE(host::failed(status));
  ASSERT_EQ(app.messages().size(), 1u);
  EXPECT_TRUE(app.messages()[0].ends_with("\norvex_import(171)"));
}

// --- files refused for their layout, through stand-in Access files --------------------------

class LotekLayout : public LotekImport {
 protected:
  void SetUp() override {
    LotekImport::SetUp();
    if (IsSkipped()) return;
    // Files named "standin_*" are served from memory; the others are the real fixtures.
    app.accessOpener = [this](const std::filesystem::path& file) -> std::shared_ptr<host::Workspace> {
      if (file.filename().string().starts_with("standin_")) return standIns.at(file.filename().string());
      return access::openAccessWorkspace(file);
    };
  }

  std::map<std::string, std::shared_ptr<test::MemoryWorkspace>> standIns;
};

std::shared_ptr<test::MemoryTable> tableWith(const std::string& name, std::vector<host::FieldDef> fields) {
  return std::make_shared<test::MemoryTable>(name, host::Fields(std::move(fields)));
}

TEST_F(LotekLayout, FileWithoutCoordinateFieldsIsRefusedAndTheOthersGoOn) {
  const std::filesystem::path file = out / "standin_settings.mdb";
  standIns["standin_settings.mdb"] = std::make_shared<test::MemoryWorkspace>(
      file, std::vector{tableWith("Settings", {{"Name", host::FieldType::String, 20},
                                               {"LongitudeCorrectedData", host::FieldType::Integer}})});
  ASSERT_EQ(run({file.string(), "collar_second_table"}, "btnExclude"), host::kOk);
  EXPECT_EQ(app.messages(), std::vector<std::string>{noFixTableMessage(file)});
  EXPECT_NE(noFixTableMessage(file).find(file.string()), std::string::npos);
  expectFixes(output(), expected({"collar_second_table"}, "_fixes"));
}

TEST_F(LotekLayout, NonIntegerCoordinatesAreRefused) {
  const std::filesystem::path file = out / "standin_double.mdb";
  standIns["standin_double.mdb"] = std::make_shared<test::MemoryWorkspace>(
      file, std::vector{tableWith("GPS", {{"LongitudeCorrectedData", host::FieldType::Double},
                                          {"LatitudeCorrectredData", host::FieldType::Double}})});
  EXPECT_EQ(run({file.string()}, "btnExclude"), host::kFail);
  EXPECT_EQ(app.messages(), std::vector<std::string>{coordinatesNotIntegersMessage(file, "GPS")});
  EXPECT_FALSE(std::filesystem::exists(out / "fixes.shp"));  // nothing to import: no output made
  EXPECT_TRUE(app.scriptedUi().forms().empty());
}

}  // namespace
}  // namespace orvex::core
