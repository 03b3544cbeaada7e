#pragma once

// The Processing provider: every analysis and data command of the command line as an
// algorithm of the QGIS Processing toolbox (batch runs, the graphical modeller, scripts). Each
// algorithm runs the `orvex` program as a child process with the command line's answers, so its
// files are the command line's; progress comes back as the program's progress lines and Cancel
// stops the program with SIGTERM (its stop handling removes its scratch files).

#include <qgsprocessingalgorithm.h>
#include <qgsprocessingprovider.h>

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "platform/qgis/processing_time.h"

namespace orvex::platform::qgis {

/// How an algorithm gets its input.
enum class InputKind {
  Points,   ///< INPUT: a point feature source, exported (selection honoured) to a scratch file
  Rasters,  ///< INPUT: raster layers, their files given to the command
  Files,    ///< INPUT: files (collar databases, CSV) given to the command
};

/// What an algorithm gives back.
enum class OutputKind {
  Folder,    ///< OUTPUT_FOLDER: the command's files, written there
  Layers,    ///< OUTPUT: every vector layer the command writes, as one layer
  EditCopy,  ///< OUTPUT: the scratch copy of INPUT after the command edited it
  File,      ///< OUTPUT: one file the command writes
};

/// Parameter types.
///
/// TimeField: the field of the fixes' times (numbers of seconds, or dates and times). The scratch
/// copy holds it as "Time2", the name the commands read (see TimeRename); its option, when the
/// command has one, is given "Time2".
enum class ParamKind { Field, TimeField, Number, Integer, Enum, EnumList, Text, Flag, Crs };

/// One parameter and the command-line option that carries its value.
struct ParamSpec {
  ParamKind kind;
  const char* name;                    ///< the QGIS parameter name
  const char* description;             ///< shown in the dialog
  const char* option;                  ///< the command-line option; null: none (the copy carries it)
  const char* format = "%1";           ///< the option's value; %1 is the parameter's
  const char* defaultValue = nullptr;  ///< null: none (an optional parameter may be left out)
  bool optional = false;
  double minimum = 0.0;  ///< numbers: the range
  double maximum = 1e12;
  std::vector<const char*> choices = {};  ///< enums: the texts shown
  std::vector<const char*> values = {};   ///< enums: the command-line value of each
  const char* onlyWith = nullptr;         ///< given only while this flag parameter is on
};

/// One algorithm: its names, command and parameters. In the output arguments %O is the
/// destination (folder or file) and %S a scratch folder of the run.
struct AlgorithmSpec {
  const char* id;
  const char* displayName;
  const char* group;
  const char* groupId;
  const char* command;
  InputKind input;
  OutputKind output;
  std::vector<const char*> outputArgs;
  std::vector<ParamSpec> params;
  const char* help;
  const char* inputFilter = "";   ///< Files: the file type accepted, as "Name (*.ext)"
  bool checksGroundUnits = true;  ///< Points: a layer in degrees or Web Mercator is refused
};

/// The algorithms of the provider.
const std::vector<AlgorithmSpec>& algorithmSpecs();

/// The command-line arguments that the parameters' values give, in the table's order; a later
/// parameter naming the same option wins (a manual bandwidth over the bandwidth rule).
/// `values` holds each parameter's text (empty: left out; a flag's text is "true" or "false").
QStringList commandArguments(const AlgorithmSpec& spec, const std::vector<QString>& values);

/// The progress in a line of the program's standard error ("orvex-progress <percent> <message>"):
/// the percentage, or -1 when the line is not a progress line; `message` receives its text.
int readProgressLine(const QString& line, QString& message);

/// One algorithm of the table, run through the `orvex` program.
class OrvexAlgorithm final : public QgsProcessingAlgorithm {
 public:
  OrvexAlgorithm(const AlgorithmSpec& spec, QString program);

  QString name() const override;
  QString displayName() const override;
  QString group() const override;
  QString groupId() const override;
  QString shortHelpString() const override;
  OrvexAlgorithm* createInstance() const override;
  void initAlgorithm(const QVariantMap& configuration = QVariantMap()) override;

 protected:
  QVariantMap processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                               QgsProcessingFeedback* feedback) override;

 private:
  /// The files the command reads; `exported` is the scratch copy of a point layer.
  struct RunInputs {
    QStringList files;
    QString exported;
    TimeRename time;
  };
  RunInputs gatherInputs(const QVariantMap& parameters, QgsProcessingContext& context,
                         QgsProcessingFeedback* feedback, const QString& scratch) const;
  /// The folder (made) or file named by the destination parameter; empty for a layer output.
  QString prepareDestination(const QVariantMap& parameters, QgsProcessingContext& context) const;
  /// The algorithm's outputs from the files the program wrote (its summary's "outputs").
  QVariantMap collectOutputs(const QJsonArray& written, const QVariantMap& parameters,
                             QgsProcessingContext& context, QgsProcessingFeedback* feedback,
                             const QString& destination, const RunInputs& inputs) const;

  const AlgorithmSpec* spec_;
  QString program_;
};

/// The provider "Orvex" (id orvex).
class OrvexProvider final : public QgsProcessingProvider {
 public:
  /// `program`: the orvex executable the algorithms run.
  explicit OrvexProvider(QString program, QObject* parent = nullptr);

  QString id() const override;
  QString name() const override;
  QString longName() const override;
  QIcon icon() const override;

 protected:
  void loadAlgorithms() override;

 private:
  QString program_;
};

}  // namespace orvex::platform::qgis
