#include "platform/qgis/processing_provider.h"

#include <signal.h>  // kill, SIGTERM

#include <algorithm>
#include <memory>

#include <qgsapplication.h>
#include <qgsexception.h>
#include <qgsfeaturesink.h>
#include <qgsprocessingcontext.h>
#include <qgsprocessingfeedback.h>
#include <qgsprocessingparameters.h>
#include <qgsprocessingutils.h>
#include <qgsrasterlayer.h>
#include <qgsvectorfilewriter.h>
#include <qgsvectorlayer.h>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/qgis/layer_styles.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {

/// How long a stopped program may take to remove its scratch files before it is killed.
constexpr int kStopGraceMilliseconds = 10000;
/// How often the run looks at the program's output and at Cancel.
constexpr int kPollMilliseconds = 100;

const QString kProgressPrefix = QStringLiteral("orvex-progress ");
// A warning of the run (negative travel intervals, fixes without an animal): shown as one.
const QString kWarningPrefix = QStringLiteral("orvex: warning: ");

QString text(const char* value) { return QString::fromUtf8(value); }

/// The parameter's value as the command line reads it; empty when it is left out.
QString parameterText(const QgsProcessingAlgorithm& algorithm, const ParamSpec& param,
                      const QVariantMap& parameters, QgsProcessingContext& context) {
  const QString name = text(param.name);
  if (!parameters.contains(name) && param.defaultValue == nullptr) return {};
  const QVariant value = parameters.value(name);
  const QgsProcessingParameterDefinition* definition = algorithm.parameterDefinition(name);
  if (param.optional && (!value.isValid() || value.isNull() || value.toString().isEmpty())) return {};
  switch (param.kind) {
    case ParamKind::Field:
      return QgsProcessingParameters::parameterAsString(definition, parameters, context);
    case ParamKind::TimeField:
      return QgsProcessingParameters::parameterAsString(definition, parameters, context).isEmpty()
                 ? QString()
                 : kTime2Field;
    case ParamKind::Number:
      return QString::number(QgsProcessingParameters::parameterAsDouble(definition, parameters, context), 'g',
                             17);
    case ParamKind::Integer:
      return QString::number(QgsProcessingParameters::parameterAsInt(definition, parameters, context));
    case ParamKind::Enum: {
      const int index = QgsProcessingParameters::parameterAsEnum(definition, parameters, context);
      return index >= 0 && index < static_cast<int>(param.values.size()) ? text(param.values[index])
                                                                         : QString();
    }
    case ParamKind::EnumList: {
      QStringList chosen;
      for (const int index : QgsProcessingParameters::parameterAsEnums(definition, parameters, context))
        if (index >= 0 && index < static_cast<int>(param.values.size())) chosen << text(param.values[index]);
      return chosen.join(',');
    }
    case ParamKind::Text:
      return QgsProcessingParameters::parameterAsString(definition, parameters, context).trimmed();
    case ParamKind::Flag:
      return QgsProcessingParameters::parameterAsBoolean(definition, parameters, context)
                 ? QStringLiteral("true")
                 : QStringLiteral("false");
    case ParamKind::Crs: {
      const QgsCoordinateReferenceSystem crs =
          QgsProcessingParameters::parameterAsCrs(definition, parameters, context);
      if (!crs.isValid()) return {};
      return crs.authid().isEmpty() ? crs.toWkt() : crs.authid();
    }
  }
  return {};
}

std::unique_ptr<QgsProcessingParameterDefinition> makeParameter(const ParamSpec& param) {
  const QString name = text(param.name);
  const QString description = text(param.description);
  const QVariant defaultValue =
      param.defaultValue == nullptr ? QVariant() : QVariant(text(param.defaultValue));
  switch (param.kind) {
    case ParamKind::Field:
    case ParamKind::TimeField:
      return std::make_unique<QgsProcessingParameterField>(
          name, description, defaultValue, QStringLiteral("INPUT"), QgsProcessingParameterField::Any, false,
          param.optional);
    case ParamKind::Number:
    case ParamKind::Integer: {
      auto number = std::make_unique<QgsProcessingParameterNumber>(
          name, description,
          param.kind == ParamKind::Integer ? QgsProcessingParameterNumber::Integer
                                           : QgsProcessingParameterNumber::Double,
          defaultValue.isValid() ? QVariant(defaultValue.toDouble()) : QVariant(), param.optional,
          param.minimum, param.maximum);
      return number;
    }
    case ParamKind::Enum:
    case ParamKind::EnumList: {
      QStringList choices;
      for (const char* choice : param.choices) choices << text(choice);
      return std::make_unique<QgsProcessingParameterEnum>(
          name, description, choices, param.kind == ParamKind::EnumList,
          defaultValue.isValid() ? QVariant(defaultValue.toInt()) : QVariant(), param.optional);
    }
    case ParamKind::Text:
      return std::make_unique<QgsProcessingParameterString>(name, description, defaultValue, false,
                                                            param.optional);
    case ParamKind::Flag:
      return std::make_unique<QgsProcessingParameterBoolean>(name, description, QVariant(false),
                                                             param.optional);
    case ParamKind::Crs:
      return std::make_unique<QgsProcessingParameterCrs>(name, description, defaultValue, param.optional);
  }
  return nullptr;
}

/// Gives a layer the menu tools' style when the run's outputs are loaded into the project.
class MenuToolStyle final : public QgsProcessingLayerPostProcessorInterface {
 public:
  void postProcessLayer(QgsMapLayer* layer, QgsProcessingContext& /*context*/,
                        QgsProcessingFeedback* /*feedback*/) override {
    if (auto* vector = qobject_cast<QgsVectorLayer*>(layer))
      applyDefaultStyle(*vector);
    else if (auto* raster = qobject_cast<QgsRasterLayer*>(layer))
      applyDefaultStyle(*raster);
  }
};

/// A file or layer name of the user's layer that the command line accepts as a file stem.
QString safeStem(const QString& name) {
  QString stem;
  for (const QChar c : name) stem += c.isLetterOrNumber() || c == '_' || c == '-' ? c : QChar('_');
  return stem.isEmpty() ? QStringLiteral("fixes") : stem;
}

/// Writes the source's features (a selection only, when the user chose so) to a GeoPackage
/// layer named `name` in the source's coordinate system, its time field as `time` names it;
/// returns the file.
QString exportSource(QgsProcessingFeatureSource& source, const QString& folder, const QString& name,
                     const TimeRename& time, QgsProcessingContext& context, QgsProcessingFeedback* feedback) {
  const QString file = QDir(folder).filePath(name + QStringLiteral(".gpkg"));
  QgsFields fields;
  int timeIndex = -1;
  for (int i = 0; i < source.fields().count(); ++i) {
    QgsField field = source.fields().at(i);
    if (!time.field.isEmpty() && field.name() == time.field) {
      timeIndex = i;
      if (isDateType(field.type())) field = QgsField(field.name(), QVariant::LongLong);
    }
    field.setName(time.copyName(field.name()));
    fields.append(field);
  }
  QgsVectorFileWriter::SaveVectorOptions options;
  options.driverName = QStringLiteral("GPKG");
  options.layerName = name;
  options.fileEncoding = QStringLiteral("UTF-8");
  std::unique_ptr<QgsVectorFileWriter> writer(QgsVectorFileWriter::create(
      file, fields, source.wkbType(), source.sourceCrs(), context.transformContext(), options));
  if (writer == nullptr || writer->hasError() != QgsVectorFileWriter::NoError)
    throw QgsProcessingException(QObject::tr("Could not write the input's copy %1: %2")
                                     .arg(file, writer ? writer->errorMessage() : QString()));
  QgsFeatureIterator features = source.getFeatures();
  QgsFeature feature;
  while (features.nextFeature(feature)) {
    if (feedback != nullptr && feedback->isCanceled()) break;
    if (timeIndex >= 0) feature.setAttribute(timeIndex, time.copyValue(feature.attribute(timeIndex)));
    if (!writer->addFeature(feature, QgsFeatureSink::FastInsert))
      throw QgsProcessingException(QObject::tr("Could not copy the input: %1").arg(writer->errorMessage()));
  }
  return file;
}

/// A vector file or a GeoPackage's layer as QGIS opens it (the summary names a shapefile's layer
/// too, which its path alone opens).
QString layerUri(const QString& path, const QString& layer) {
  const bool package = path.endsWith(QStringLiteral(".gpkg"), Qt::CaseInsensitive);
  return layer.isEmpty() || !package ? path : path + QStringLiteral("|layername=") + layer;
}

/// Copies the features of `uris` into the sink OUTPUT, with a "Layer" field naming each one's layer
/// when `nameLayers`; the GeoPackage's own feature id is not copied as a field.
QString copyToSink(const QgsProcessingAlgorithm& algorithm, const QVariantMap& parameters,
                   QgsProcessingContext& context, QgsProcessingFeedback* feedback,
                   const QList<QPair<QString, QString>>& uris, bool nameLayers, const TimeRename& time = {}) {
  if (uris.isEmpty()) throw QgsProcessingException(QObject::tr("The command wrote no layer"));
  std::vector<std::unique_ptr<QgsVectorLayer>> layers;
  for (const auto& [uri, label] : uris) {
    auto layer = std::make_unique<QgsVectorLayer>(uri, label, QStringLiteral("ogr"));
    if (!layer->isValid()) throw QgsProcessingException(QObject::tr("Could not read %1").arg(uri));
    layers.push_back(std::move(layer));
  }
  const QgsVectorLayer& first = *layers.front();
  QgsFields fields;
  if (nameLayers) fields.append(QgsField(QStringLiteral("Layer"), QVariant::String));
  std::vector<int> kept;  // the first layer's fields copied, by index
  int timeField = -1;     // the sink's field of the chosen time
  for (int i = 0; i < first.fields().count(); ++i) {
    QgsField field = first.fields().at(i);
    if (first.fields().fieldOrigin(i) == QgsFields::OriginProvider &&
        first.dataProvider()->pkAttributeIndexes().contains(i))
      continue;
    kept.push_back(i);
    field.setName(time.inputName(field.name()));
    if (!time.field.isEmpty() && field.name() == time.field) {
      timeField = fields.count();
      if (isDateType(time.type)) field = QgsField(field.name(), time.type);
    }
    fields.append(field);
  }
  QgsWkbTypes::Type type = first.wkbType();
  if (QgsWkbTypes::geometryType(type) == QgsWkbTypes::PolygonGeometry) type = QgsWkbTypes::multiType(type);
  QString destination;
  std::unique_ptr<QgsFeatureSink> sink(
      QgsProcessingParameters::parameterAsSink(algorithm.parameterDefinition(QStringLiteral("OUTPUT")),
                                               parameters, fields, type, first.crs(), context, destination));
  if (sink == nullptr) throw QgsProcessingException(QObject::tr("Could not create the output layer"));
  if (context.willLoadLayerOnCompletion(destination))
    context.layerToLoadOnCompletionDetails(destination).setPostProcessor(new MenuToolStyle);
  for (std::size_t l = 0; l < layers.size(); ++l) {
    QgsFeatureIterator features = layers[l]->getFeatures();
    QgsFeature feature;
    while (features.nextFeature(feature)) {
      QgsAttributes attributes;
      if (nameLayers) attributes << layers[l]->name();
      for (const int i : kept) {
        const int source = layers[l]->fields().indexOf(first.fields().at(i).name());
        attributes << (source >= 0 ? feature.attribute(source) : QVariant());
      }
      if (timeField >= 0) attributes[timeField] = time.inputValue(attributes.at(timeField));
      QgsFeature copy(fields);
      QgsGeometry geometry = feature.geometry();
      if (QgsWkbTypes::isMultiType(type)) geometry.convertToMultiType();
      copy.setGeometry(geometry);
      copy.setAttributes(attributes);
      if (!sink->addFeature(copy, QgsFeatureSink::FastInsert))
        throw QgsProcessingException(
            QObject::tr("Could not write the output layer: %1").arg(sink->lastError()));
    }
  }
  if (feedback != nullptr) feedback->setProgress(100.0);
  return destination;
}

/// What the program said at its end (its --json summary) and how it ended.
struct ProgramResult {
  int exitCode = 0;
  QJsonArray outputs;
  QJsonArray failures;
  QStringList errorLines;  ///< lines of standard error that were not progress
};

/// Runs the program to its end: progress lines become the feedback's progress, other lines of
/// standard error go to the log, Cancel sends SIGTERM.
ProgramResult runProgram(const QString& program, const QStringList& arguments,
                         QgsProcessingFeedback* feedback) {
  if (feedback != nullptr)
    feedback->pushCommandInfo(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.start();
  if (!process.waitForStarted())
    throw QgsProcessingException(QObject::tr("Could not start %1: %2").arg(program, process.errorString()));

  ProgramResult result;
  QByteArray pending;
  QString shownMessage;
  const auto readErrors = [&] {
    pending += process.readAllStandardError();
    for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
      const QString line = QString::fromUtf8(pending.left(end)).trimmed();
      pending.remove(0, end + 1);
      QString message;
      const int percent = readProgressLine(line, message);
      if (feedback == nullptr || line.isEmpty()) continue;
      if (percent >= 0) {
        feedback->setProgress(percent);
        if (message != shownMessage) feedback->setProgressText(shownMessage = message);
      } else if (line.startsWith(kWarningPrefix)) {
        feedback->pushWarning(line.mid(kWarningPrefix.size()));
      } else {
        result.errorLines << line;
        feedback->pushInfo(line);
      }
    }
  };
  bool stopped = false;
  while (!process.waitForFinished(kPollMilliseconds)) {
    readErrors();
    if (!stopped && feedback != nullptr && feedback->isCanceled()) {
      stopped = true;
      ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
      if (!process.waitForFinished(kStopGraceMilliseconds)) process.kill();
      break;
    }
  }
  process.waitForFinished();
  readErrors();
  if (stopped) throw QgsProcessingException(QObject::tr("Cancelled: the program was stopped"));
  if (process.exitStatus() != QProcess::NormalExit)
    throw QgsProcessingException(QObject::tr("%1 ended abnormally").arg(program));
  result.exitCode = process.exitCode();
  const QJsonDocument summary = QJsonDocument::fromJson(process.readAllStandardOutput());
  result.outputs = summary.object().value(QStringLiteral("outputs")).toArray();
  result.failures = summary.object().value(QStringLiteral("failures")).toArray();
  return result;
}

/// Failed items go to the log; a run that failed and wrote nothing is an error with its reason.
void reportOutcome(const ProgramResult& result, const QString& algorithm, QgsProcessingFeedback* feedback) {
  for (const QJsonValue& failure : result.failures) {
    const QJsonObject item = failure.toObject();
    if (feedback != nullptr)
      feedback->reportError(item.value(QStringLiteral("item")).toString() + QStringLiteral(": ") +
                            item.value(QStringLiteral("reason")).toString());
  }
  if (result.exitCode != 0 && result.outputs.isEmpty()) {
    const QString why = result.errorLines.isEmpty() ? QObject::tr("exit status %1").arg(result.exitCode)
                                                    : result.errorLines.join(QLatin1Char('\n'));
    throw QgsProcessingException(QObject::tr("%1 failed: %2").arg(algorithm, why));
  }
}

/// Adds the rasters and vector files the program wrote to the layers loaded when the run ends.
void loadFolderLayers(const QJsonArray& written, QgsProcessingContext& context) {
  for (const QJsonValue& output : written) {
    const QJsonObject item = output.toObject();
    const QString kind = item.value(QStringLiteral("kind")).toString();
    if (kind != QStringLiteral("shapefile") && kind != QStringLiteral("raster")) continue;
    const QString uri = layerUri(item.value(QStringLiteral("path")).toString(),
                                 item.value(QStringLiteral("layer")).toString());
    QgsProcessingContext::LayerDetails details(QFileInfo(uri.section('|', 0, 0)).completeBaseName(),
                                               context.project(), QStringLiteral("OUTPUT_FOLDER"),
                                               kind == QStringLiteral("raster")
                                                   ? QgsProcessingUtils::LayerHint::Raster
                                                   : QgsProcessingUtils::LayerHint::Vector);
    details.setPostProcessor(new MenuToolStyle);
    context.addLayerToLoadOnCompletion(uri, details);
  }
}

/// The vector layers the program wrote, each with the name its features get in "Layer".
QList<QPair<QString, QString>> writtenVectorLayers(const QJsonArray& written) {
  QList<QPair<QString, QString>> uris;
  for (const QJsonValue& output : written) {
    const QJsonObject item = output.toObject();
    if (item.value(QStringLiteral("kind")).toString() != QStringLiteral("shapefile")) continue;
    const QString path = item.value(QStringLiteral("path")).toString();
    const QString layer = item.value(QStringLiteral("layer")).toString();
    const bool package = path.endsWith(QStringLiteral(".gpkg"), Qt::CaseInsensitive);
    uris.append(
        {layerUri(path, layer), package && !layer.isEmpty() ? layer : QFileInfo(path).completeBaseName()});
  }
  return uris;
}

/// Refuses a coordinate system in degrees or Web Mercator with the menu tools' note.
void refuseWithoutGroundUnits(const QgsCoordinateReferenceSystem& crs) {
  if (!lacksGroundUnits(crs)) return;
  throw QgsProcessingException(
      QObject::tr("The layer's coordinate system, %1, measures in %2, so distances and areas would be "
                  "wrong.\n\nSave the layer in a local projected coordinate system (for example the "
                  "UTM zone of the study area), then run the tool again.")
          .arg(crs.userFriendlyIdentifier(),
               crs.isGeographic() ? QObject::tr("degrees") : QObject::tr("Web Mercator pseudo-metres")));
}

/// The orvex arguments that replace %O and %S.
QStringList expandOutputArgs(const std::vector<const char*>& outputArgs, const QString& destination,
                             const QString& scratch) {
  QStringList arguments;
  for (const char* argument : outputArgs) {
    QString expanded = text(argument);
    expanded.replace(QStringLiteral("%O"), destination).replace(QStringLiteral("%S"), scratch);
    arguments << expanded;
  }
  return arguments;
}

}  // namespace

QStringList commandArguments(const AlgorithmSpec& spec, const std::vector<QString>& values) {
  const auto flagIsOn = [&](const char* name) {
    for (std::size_t i = 0; i < spec.params.size() && i < values.size(); ++i)
      if (QString::fromUtf8(spec.params[i].name) == QString::fromUtf8(name))
        return values[i] == QStringLiteral("true");
    return false;
  };
  // option -> value text ("" for a flag), in the order options first appear.
  std::vector<std::pair<QString, QString>> chosen;
  std::vector<bool> isFlag;
  for (std::size_t i = 0; i < spec.params.size() && i < values.size(); ++i) {
    const ParamSpec& param = spec.params[i];
    const QString& value = values[i];
    if (value.isEmpty() || param.option == nullptr ||
        (param.kind == ParamKind::Flag && value != QStringLiteral("true")) ||
        (param.onlyWith != nullptr && !flagIsOn(param.onlyWith)))
      continue;
    const QString option = text(param.option);
    const QString argument = param.kind == ParamKind::Flag ? QString() : text(param.format).arg(value);
    auto same =
        std::find_if(chosen.begin(), chosen.end(), [&](const auto& entry) { return entry.first == option; });
    if (same != chosen.end()) {
      same->second = argument;
    } else {
      chosen.emplace_back(option, argument);
      isFlag.push_back(param.kind == ParamKind::Flag);
    }
  }
  QStringList arguments;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    arguments << chosen[i].first;
    if (!isFlag[i]) arguments << chosen[i].second;
  }
  return arguments;
}

int readProgressLine(const QString& line, QString& message) {
  if (!line.startsWith(kProgressPrefix)) return -1;
  const QString rest = line.mid(kProgressPrefix.size());
  const int space = rest.indexOf(QLatin1Char(' '));
  bool ok = false;
  const int percent = (space < 0 ? rest : rest.left(space)).toInt(&ok);
  if (!ok || percent < 0 || percent > 100) return -1;
  message = space < 0 ? QString() : rest.mid(space + 1);
  return percent;
}

OrvexAlgorithm::OrvexAlgorithm(const AlgorithmSpec& spec, QString program)
    : spec_(&spec), program_(std::move(program)) {}

QString OrvexAlgorithm::name() const { return text(spec_->id); }
QString OrvexAlgorithm::displayName() const { return text(spec_->displayName); }
QString OrvexAlgorithm::group() const { return text(spec_->group); }
QString OrvexAlgorithm::groupId() const { return text(spec_->groupId); }
QString OrvexAlgorithm::shortHelpString() const { return text(spec_->help); }
OrvexAlgorithm* OrvexAlgorithm::createInstance() const { return new OrvexAlgorithm(*spec_, program_); }

void OrvexAlgorithm::initAlgorithm(const QVariantMap& /*configuration*/) {
  switch (spec_->input) {
    case InputKind::Points:
      addParameter(new QgsProcessingParameterFeatureSource(QStringLiteral("INPUT"), QObject::tr("Fixes"),
                                                           {QgsProcessing::TypeVectorPoint}));
      break;
    case InputKind::Rasters:
      addParameter(new QgsProcessingParameterMultipleLayers(
          QStringLiteral("INPUT"), QObject::tr("UD rasters"), QgsProcessing::TypeRaster));
      break;
    case InputKind::Files:
      addParameter(new QgsProcessingParameterMultipleLayers(QStringLiteral("INPUT"), text(spec_->inputFilter),
                                                            QgsProcessing::TypeFile));
      break;
  }
  for (const ParamSpec& param : spec_->params) addParameter(makeParameter(param).release());
  switch (spec_->output) {
    case OutputKind::Folder:
      addParameter(new QgsProcessingParameterFolderDestination(QStringLiteral("OUTPUT_FOLDER"),
                                                               QObject::tr("Output folder")));
      break;
    case OutputKind::Layers:
    case OutputKind::EditCopy:
      addParameter(new QgsProcessingParameterFeatureSink(
          QStringLiteral("OUTPUT"), QObject::tr("Output layer"),
          spec_->input == InputKind::Points || spec_->input == InputKind::Files
              ? (spec_->output == OutputKind::Layers && spec_->input == InputKind::Points
                     ? QgsProcessing::TypeVectorPolygon
                     : QgsProcessing::TypeVectorPoint)
              : QgsProcessing::TypeVectorAnyGeometry));
      break;
    case OutputKind::File:
      addParameter(new QgsProcessingParameterFileDestination(
          QStringLiteral("OUTPUT"), QObject::tr("Output table"), QObject::tr("CSV files (*.csv)")));
      break;
  }
}

QVariantMap OrvexAlgorithm::processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                             QgsProcessingFeedback* feedback) {
  const QTemporaryDir scratchDir(
      QDir(QgsProcessingUtils::tempFolder()).filePath(QStringLiteral("orvex-XXXXXX")));
  if (!scratchDir.isValid()) throw QgsProcessingException(QObject::tr("Could not make a scratch folder"));
  const QString scratch = scratchDir.path();

  const RunInputs inputs = gatherInputs(parameters, context, feedback, scratch);
  const QString destination = prepareDestination(parameters, context);
  std::vector<QString> values;
  for (const ParamSpec& param : spec_->params)
    values.push_back(parameterText(*this, param, parameters, context));

  // --yes: Processing's destinations are the user's choice to replace what is there.
  QStringList arguments{QStringLiteral("--json"), QStringLiteral("--progress-lines"), QStringLiteral("--yes"),
                        text(spec_->command)};
  arguments << inputs.files << commandArguments(*spec_, values)
            << expandOutputArgs(spec_->outputArgs, destination, scratch);
  const ProgramResult result = runProgram(program_, arguments, feedback);
  reportOutcome(result, text(spec_->displayName), feedback);
  return collectOutputs(result.outputs, parameters, context, feedback, destination, inputs);
}

OrvexAlgorithm::RunInputs OrvexAlgorithm::gatherInputs(const QVariantMap& parameters,
                                                       QgsProcessingContext& context,
                                                       QgsProcessingFeedback* feedback,
                                                       const QString& scratch) const {
  RunInputs inputs;
  switch (spec_->input) {
    case InputKind::Points: {
      std::unique_ptr<QgsProcessingFeatureSource> source(
          parameterAsSource(parameters, QStringLiteral("INPUT"), context));
      if (source == nullptr)
        throw QgsProcessingException(invalidSourceError(parameters, QStringLiteral("INPUT")));
      if (spec_->checksGroundUnits) refuseWithoutGroundUnits(source->sourceCrs());
      if (parameterDefinition(QStringLiteral("TIME_FIELD")) != nullptr)
        inputs.time = timeRenameFor(source->fields(),
                                    parameterAsString(parameters, QStringLiteral("TIME_FIELD"), context));
      inputs.exported =
          exportSource(*source, scratch, safeStem(source->sourceName()), inputs.time, context, feedback);
      inputs.files << inputs.exported;
      break;
    }
    case InputKind::Rasters:
      for (QgsMapLayer* layer : parameterAsLayerList(parameters, QStringLiteral("INPUT"), context))
        inputs.files << layer->source();
      break;
    case InputKind::Files:
      inputs.files = parameterAsFileList(parameters, QStringLiteral("INPUT"), context);
      break;
  }
  if (inputs.files.isEmpty()) throw QgsProcessingException(QObject::tr("No input was given"));
  return inputs;
}

QString OrvexAlgorithm::prepareDestination(const QVariantMap& parameters,
                                           QgsProcessingContext& context) const {
  switch (spec_->output) {
    case OutputKind::Folder: {
      // A temporary output becomes a new folder in Processing's temporary folder.
      const QString folder = parameterAsFileOutput(parameters, QStringLiteral("OUTPUT_FOLDER"), context);
      QDir().mkpath(folder);
      return folder;
    }
    case OutputKind::File:
      return parameterAsFileOutput(parameters, QStringLiteral("OUTPUT"), context);
    case OutputKind::Layers:
    case OutputKind::EditCopy:
      break;
  }
  return {};
}

QVariantMap OrvexAlgorithm::collectOutputs(const QJsonArray& written, const QVariantMap& parameters,
                                           QgsProcessingContext& context, QgsProcessingFeedback* feedback,
                                           const QString& destination, const RunInputs& inputs) const {
  QVariantMap outputs;
  switch (spec_->output) {
    case OutputKind::Folder:
      outputs.insert(QStringLiteral("OUTPUT_FOLDER"), destination);
      loadFolderLayers(written, context);
      break;
    case OutputKind::File:
      outputs.insert(QStringLiteral("OUTPUT"), destination);
      break;
    case OutputKind::Layers:
      outputs.insert(QStringLiteral("OUTPUT"),
                     copyToSink(*this, parameters, context, feedback, writtenVectorLayers(written),
                                spec_->input == InputKind::Points));
      break;
    case OutputKind::EditCopy: {
      const QString name = QFileInfo(inputs.exported).completeBaseName();
      outputs.insert(QStringLiteral("OUTPUT"),
                     copyToSink(*this, parameters, context, feedback,
                                {{layerUri(inputs.exported, name), name}}, false, inputs.time));
      break;
    }
  }
  return outputs;
}

OrvexProvider::OrvexProvider(QString program, QObject* parent)
    : QgsProcessingProvider(parent), program_(std::move(program)) {}

QString OrvexProvider::id() const { return QStringLiteral("orvex"); }
QString OrvexProvider::name() const { return QStringLiteral("Orvex"); }
QString OrvexProvider::longName() const { return QStringLiteral("Orvex: wildlife home-range analysis"); }
QIcon OrvexProvider::icon() const {
  return QgsApplication::getThemeIcon(QStringLiteral("/processingAlgorithm.svg"));
}

void OrvexProvider::loadAlgorithms() {
  for (const AlgorithmSpec& spec : algorithmSpecs()) addAlgorithm(new OrvexAlgorithm(spec, program_));
}

}  // namespace orvex::platform::qgis
