// The Processing algorithms around the program they run: the command line their parameters
// give, the program's progress lines, its summary's failures, Cancel, and the refusal of a layer
// without ground units. A shell script stands in for `orvex` (the real program's runs are
// compared in the QGIS session test).

#include <gtest/gtest.h>

#include <fstream>

#include <qgsexception.h>
#include <qgsprocessingcontext.h>
#include <qgsprocessingfeedback.h>
#include <qgsvectorlayer.h>

#include "platform/qgis/processing_provider.h"
#include "support/temp_folder.h"

namespace orvex::test {
namespace {

using platform::qgis::AlgorithmSpec;
using platform::qgis::algorithmSpecs;
using platform::qgis::commandArguments;
using platform::qgis::OrvexAlgorithm;
using platform::qgis::readProgressLine;
using platform::qgis::TimeRename;
using platform::qgis::timeRenameFor;

const AlgorithmSpec& spec(const char* id) {
  for (const AlgorithmSpec& each : algorithmSpecs())
    if (QString::fromUtf8(each.id) == QString::fromUtf8(id)) return each;
  throw std::runtime_error(id);
}

TEST(ProcessingArguments, ParametersBecomeTheCommandLinesOptions) {
  struct Case {
    const char* algorithm;
    std::vector<QString> values;  // in the table's order
    QStringList expected;
  };
  const std::vector<Case> cases{
      // kde: FIELD, BANDWIDTH, BANDWIDTH_VALUE, KERNEL, RESCALE, BUFFER, CELL_SIZE, ISOPLETHS, SCALING,
      // PLOTS,
      // EXACT
      {"kde",
       {"AnimalID", "lscv", "", "fixed", "false", "2000", "100", "", "1000000", "false", "false"},
       {"--id", "AnimalID", "--bandwidth", "lscv", "--kernel", "fixed", "--extent", "full:2000",
        "--cell-size", "100", "--scaling", "1000000"}},
      // A manual bandwidth replaces the rule in place; a flag is an option without a value.
      {"kde",
       {"ID", "href", "300", "adaptive", "true", "1100", "50", "50,95", "1", "true", "true"},
       {"--id", "ID", "--bandwidth", "manual:300", "--kernel", "adaptive", "--rescale", "--extent",
        "full:1100", "--cell-size", "50", "--isopleths", "50,95", "--scaling", "1", "--plots", "--exact"}},
      // bbmm: FIELD, TIME_FIELD, SIGMA2, SIGMA1, DYNAMIC, WINDOW, MARGIN, MAX_GAP, BUFFER, CELL_SIZE,
      // ISOPLETHS; the window and margin only with the dynamic bridge (the command refuses them alone).
      {"bbmm",
       {"ID", "Time2", "30", "", "false", "31", "11", "", "2000", "100", ""},
       {"--id", "ID", "--time-field", "Time2", "--sigma2", "30", "--extent", "full:2000", "--cell-size",
        "100"}},
      {"bbmm",
       {"ID", "Time2", "30", "", "true", "31", "11", "", "2000", "100", ""},
       {"--id", "ID", "--time-field", "Time2", "--sigma2", "30", "--dynamic", "--window", "31", "--margin",
        "11", "--extent", "full:2000", "--cell-size", "100"}},
      // travel: TIME_FIELD has no option (the copy carries it as Time2).
      {"travel", {"Time2"}, {}},
      // locoh: FIELD, METHOD, PARAM, ISOPLETHS, HULLS
      {"locoh",
       {"ID", "k", "auto", "10,100", "false"},
       {"--id", "ID", "--method", "k", "--param", "auto", "--isopleths", "10,100"}},
  };
  for (const Case& each : cases)
    EXPECT_EQ(commandArguments(spec(each.algorithm), each.values), each.expected) << each.algorithm;
}

TEST(ProcessingArguments, AChosenTimeFieldIsTheCopysTime2AndComesBack) {
  QgsFields fields;
  fields.append(QgsField("AnimalID", QVariant::String));
  fields.append(QgsField("Stamp", QVariant::DateTime));
  fields.append(QgsField("time2", QVariant::Int));
  fields.append(QgsField("Time2_in", QVariant::Int));
  const TimeRename rename = timeRenameFor(fields, "Stamp");
  struct Case {
    const char* input;
    const char* copy;
  };
  for (const Case& each :
       std::vector<Case>{{"Stamp", "Time2"}, {"time2", "Time2_in2"}, {"AnimalID", "AnimalID"}}) {
    EXPECT_EQ(rename.copyName(each.input), QString(each.copy)) << each.input;
    EXPECT_EQ(rename.inputName(each.copy), QString(each.input)) << each.copy;
  }
  // 2020-01-01T00:00:00Z is 1577836800 s after 1970 (18262 days of 86400 s).
  const QDateTime moment(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
  EXPECT_EQ(rename.copyValue(moment), QVariant(qlonglong(1577836800)));
  EXPECT_EQ(rename.inputValue(qlonglong(1577836800)).toDateTime(), moment);

  EXPECT_TRUE(timeRenameFor(fields, "").field.isEmpty());
  fields.append(QgsField("Time2", QVariant::LongLong));
  EXPECT_TRUE(timeRenameFor(fields, "Time2").field.isEmpty());  // the commands' own name and kind
  EXPECT_THROW(timeRenameFor(fields, "AnimalID"), QgsProcessingException);
  EXPECT_THROW(timeRenameFor(fields, "Missing"), QgsProcessingException);
}

TEST(ProcessingArguments, ProgressLinesAreReadAndOtherLinesAreNot) {
  struct Case {
    const char* line;
    int percent;
    const char* message;
  };
  for (const Case& each : std::vector<Case>{{"orvex-progress 35 KDE", 35, "KDE"},
                                            {"orvex-progress 100", 100, ""},
                                            {"orvex-progress 101 x", -1, ""},
                                            {"orvex-progress x", -1, ""},
                                            {"orvex: mcp failed", -1, ""}}) {
    QString message;
    EXPECT_EQ(readProgressLine(QString::fromUtf8(each.line), message), each.percent) << each.line;
    if (each.percent >= 0) {
      EXPECT_EQ(message, QString::fromUtf8(each.message));
    }
  }
}

/// Feedback that keeps what the algorithm reports, and asks to stop at the log line "ready" when
/// told to.
class RecordingFeedback final : public QgsProcessingFeedback {
 public:
  bool cancelOnInfo = false;
  QStringList infos, errors;
  double highest = 0.0;

  RecordingFeedback() {
    QObject::connect(this, &QgsFeedback::progressChanged,
                     [this](double p) { highest = std::max(highest, p); });
  }
  void pushInfo(const QString& info) override {
    infos << info;
    if (cancelOnInfo && info == QStringLiteral("ready")) cancel();
  }
  void reportError(const QString& error, bool /*fatal*/) override { errors << error; }
};

class ProcessingRun : public ::testing::Test {
 protected:
  TempFolder folder{"processing"};

  /// A stand-in for the program: records its arguments, then runs `body`.
  QString program(const std::string& body) {
    const std::filesystem::path path = folder.path() / "orvex";
    std::ofstream(path) << "#!/bin/sh\necho \"$@\" > '" << (folder.path() / "args").string() << "'\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return QString::fromStdString(path.string());
  }

  /// Three fixes of animal A1 in `crs`, a day apart in "Stamp".
  QgsVectorLayer* fixes(const QString& crs = "EPSG:32633") {
    auto* layer = new QgsVectorLayer("Point?crs=" + crs + "&field=AnimalID:string&field=Stamp:datetime",
                                     "fixes", "memory");
    for (int i = 0; i < 3; ++i) {
      QgsFeature feature(layer->fields());
      feature.setAttribute(0, QStringLiteral("A1"));
      feature.setAttribute(1, QDateTime(QDate(2020, 1, 1 + i), QTime(6, 0), Qt::UTC));
      feature.setGeometry(QgsGeometry::fromPointXY(QgsPointXY(500000.0 + i * 10.0, 4000000.0)));
      layer->dataProvider()->addFeature(feature);
    }
    context.temporaryLayerStore()->addMapLayer(layer);
    return layer;
  }

  QVariantMap run(const char* id, const QString& programPath, RecordingFeedback& feedback,
                  QVariantMap parameters) {
    OrvexAlgorithm algorithm(spec(id), programPath);
    algorithm.initAlgorithm();
    return algorithm.run(parameters, context, &feedback, nullptr, {}, false);
  }

  /// Runs kde on three fixes in `crs` with every parameter at its default.
  QVariantMap runKde(const QString& programPath, RecordingFeedback& feedback,
                     const QString& crs = "EPSG:32633") {
    return run("kde", programPath, feedback,
               {{"INPUT", fixes(crs)->id()},
                {"FIELD", "AnimalID"},
                {"OUTPUT_FOLDER", QString::fromStdString((folder.path() / "out").string())}});
  }

  std::string arguments() {
    std::ifstream in(folder.path() / "args");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  QgsProcessingContext context;
};

TEST_F(ProcessingRun, ProgressAndFailedItemsReachTheFeedbackAndTheFolderIsTheOutput) {
  RecordingFeedback feedback;
  const QVariantMap result = runKde(program("echo 'orvex-progress 40 KDE' >&2\n"
                                            "echo 'orvex: 1 item failed: A2' >&2\n"
                                            "echo '{\"exit\":1,\"outputs\":[{\"path\":\"/x/kde0.tif\","
                                            "\"kind\":\"raster\"}],\"failures\":[{\"item\":\"A2\",\"kind\":"
                                            "\"failed\",\"reason\":\"too few fixes\"}]}'\nexit 1\n"),
                                    feedback);
  EXPECT_EQ(result.value("OUTPUT_FOLDER").toString().toStdString(), (folder.path() / "out").string());
  EXPECT_DOUBLE_EQ(feedback.highest, 40.0);  // the progress line's percentage, as printed
  EXPECT_TRUE(feedback.errors.contains("A2: too few fixes")) << feedback.errors.join("\n").toStdString();
  EXPECT_TRUE(feedback.infos.contains("orvex: 1 item failed: A2"));
  const std::string args = arguments();
  EXPECT_NE(args.find("--json --progress-lines --yes kde "), std::string::npos) << args;
  EXPECT_NE(args.find("fixes.gpkg --id AnimalID --bandwidth lscv --kernel fixed --extent full:2000"),
            std::string::npos)
      << args;
}

// The command sees the chosen date-time field as Time2 in seconds; OUTPUT has it back as it was.
TEST_F(ProcessingRun, TheChosenTimeFieldReachesTheCommandAsTime2AndComesBack) {
  RecordingFeedback feedback;
  const std::filesystem::path seen = folder.path() / "seen";
  QgsVectorLayer* input = fixes();
  const QVariantMap result =
      run("travel", program("ogr2ogr -f CSV '" + seen.string() + "' \"$5\"\necho '{}'\n"), feedback,
          {{"INPUT", input->id()}, {"TIME_FIELD", "Stamp"}, {"OUTPUT", "memory:"}});
  std::ifstream in(seen / "fixes.csv");
  const std::string copy(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(copy.substr(0, copy.find('\n')), "AnimalID,Time2") << copy;
  // 2020-01-01T06:00Z: 6 h (21600 s) after 2020-01-01T00:00Z, 1577836800 s after 1970.
  EXPECT_NE(copy.find("1577858400"), std::string::npos) << copy;

  auto* output = qobject_cast<QgsVectorLayer*>(
      context.temporaryLayerStore()->mapLayer(result.value("OUTPUT").toString()));
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(output->fields().names(), QStringList({"AnimalID", "Stamp"}));
  QgsFeature feature;
  QgsFeatureIterator features = output->getFeatures();
  for (int i = 0; features.nextFeature(feature); ++i)
    EXPECT_EQ(feature.attribute("Stamp").toDateTime(),
              QDateTime(QDate(2020, 1, 1 + i), QTime(6, 0), Qt::UTC));
}

TEST_F(ProcessingRun, AFailureWithoutOutputsIsAnError) {
  RecordingFeedback feedback;
  EXPECT_THROW(
      runKde(program("echo 'orvex: no field AnimalID' >&2\necho '{\"exit\":1}'\nexit 1\n"), feedback),
      QgsProcessingException);
}

TEST_F(ProcessingRun, CancelStopsTheProgramWithSigterm) {
  RecordingFeedback feedback;
  feedback.cancelOnInfo = true;
  const std::filesystem::path stopped = folder.path() / "stopped";
  EXPECT_THROW(runKde(program("trap 'touch " + stopped.string() +
                              "; exit 143' TERM\necho ready >&2\nwhile :; do sleep 0.05; done\n"),
                      feedback),
               QgsProcessingException);
  EXPECT_TRUE(std::filesystem::exists(stopped));
}

TEST_F(ProcessingRun, ALayerInDegreesIsRefusedBeforeTheProgramRuns) {
  RecordingFeedback feedback;
  try {
    runKde(program("echo '{}'\n"), feedback, "EPSG:4326");
    FAIL() << "no refusal";
  } catch (const QgsProcessingException& error) {
    EXPECT_TRUE(error.what().contains("degrees")) << error.what().toStdString();
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "args"));
}

}  // namespace
}  // namespace orvex::test
