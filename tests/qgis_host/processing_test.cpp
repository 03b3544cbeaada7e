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

const AlgorithmSpec& spec(const char* id) {
  for (const AlgorithmSpec& each : algorithmSpecs())
    if (QString::fromUtf8(each.id) == QString::fromUtf8(id)) return each;
  throw std::runtime_error(id);
}

TEST(ProcessingArguments, ParametersBecomeTheCommandLinesOptions) {
  // kde: FIELD, BANDWIDTH, BANDWIDTH_VALUE, KERNEL, RESCALE, BUFFER, CELL_SIZE, ISOPLETHS, SCALING, PLOTS
  struct Case {
    std::vector<QString> values;
    QStringList expected;
  };
  const std::vector<Case> cases{
      {{"AnimalID", "lscv", "", "fixed", "false", "2000", "100", "", "1000000", "false"},
       {"--id", "AnimalID", "--bandwidth", "lscv", "--kernel", "fixed", "--extent", "full:2000",
        "--cell-size", "100", "--scaling", "1000000"}},
      // A manual bandwidth replaces the rule in place; a flag is an option without a value.
      {{"ID", "href", "300", "adaptive", "true", "1100", "50", "50,95", "1", "true"},
       {"--id", "ID", "--bandwidth", "manual:300", "--kernel", "adaptive", "--rescale", "--extent",
        "full:1100", "--cell-size", "50", "--isopleths", "50,95", "--scaling", "1", "--plots"}},
  };
  for (const Case& each : cases) EXPECT_EQ(commandArguments(spec("kde"), each.values), each.expected);
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

  /// Runs kde on three fixes in `crs` with every parameter at its default.
  QVariantMap runKde(const QString& programPath, RecordingFeedback& feedback,
                     const QString& crs = "EPSG:32633") {
    auto* layer = new QgsVectorLayer("Point?crs=" + crs + "&field=AnimalID:string", "fixes", "memory");
    for (int i = 0; i < 3; ++i) {
      QgsFeature feature(layer->fields());
      feature.setAttribute(0, QStringLiteral("A1"));
      feature.setGeometry(QgsGeometry::fromPointXY(QgsPointXY(500000.0 + i * 10.0, 4000000.0)));
      layer->dataProvider()->addFeature(feature);
    }
    context.temporaryLayerStore()->addMapLayer(layer);
    OrvexAlgorithm algorithm(spec("kde"), programPath);
    algorithm.initAlgorithm();
    const QVariantMap parameters{{"INPUT", layer->id()},
                                 {"FIELD", "AnimalID"},
                                 {"OUTPUT_FOLDER", QString::fromStdString((folder.path() / "out").string())}};
    return algorithm.run(parameters, context, &feedback, nullptr, {}, false);
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
