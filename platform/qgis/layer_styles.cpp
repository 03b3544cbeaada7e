#include "platform/qgis/layer_styles.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <qgscategorizedsymbolrenderer.h>
#include <qgscolorramp.h>
#include <qgscolorrampshader.h>
#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsfillsymbol.h>
#include <qgsgraduatedsymbolrenderer.h>
#include <qgslinesymbol.h>
#include <qgsrasterlayer.h>
#include <qgsrastershader.h>
#include <qgssinglebandpseudocolorrenderer.h>
#include <qgssinglesymbolrenderer.h>
#include <qgssymbollayer.h>
#include <qgsvectorlayer.h>
#include <QMap>

namespace orvex::platform::qgis {
namespace {

constexpr int kPolygonFillAlpha = 90;
// Isopleth levels, not hulls: a layer of more areas than this keeps the single fill.
constexpr std::size_t kMaxAreaClasses = 20;  // of 255: the fixes and lower isopleths stay visible
const QColor kRampLow(43, 131, 186);
const QColor kRampHigh(215, 25, 28);

QColor rampColor(double fraction) {
  const QgsGradientColorRamp ramp(kRampLow, kRampHigh);
  return ramp.color(std::clamp(fraction, 0.0, 1.0));
}

int firstNumericField(const QgsVectorLayer& layer) {
  const QgsFields fields = layer.fields();
  const QgsAttributeList keys = layer.primaryKeyAttributes();
  for (int i = 0; i < fields.count(); ++i)
    if (fields.at(i).isNumeric() && !keys.contains(i)) return i;
  return -1;
}

/// The percentage field of an isopleth layer ("PERCENT": the volume inside the line or
/// polygon); -1 for other layers.
int percentField(const QgsVectorLayer& layer) {
  const int field = layer.fields().lookupField(QStringLiteral("PERCENT"));
  return field >= 0 && layer.fields().at(field).isNumeric() ? field : -1;
}

/// "95 %": an isopleth level as its legend names it.
QString percentLabel(const QVariant& percent) {
  return QString::number(percent.toDouble(), 'g', 6) + QStringLiteral(" %");
}

QgsFillSymbol* areaSymbol(double fraction) {
  QColor fill = rampColor(fraction);
  fill.setAlpha(kPolygonFillAlpha);
  QgsFillSymbol* symbol =
      QgsFillSymbol::createSimple({{QStringLiteral("color"), fill.name(QColor::HexArgb)},
                                   {QStringLiteral("outline_color"), rampColor(1.0).name()},
                                   {QStringLiteral("outline_width"), QStringLiteral("0.5")}});
  symbol->setOpacity(1.0);
  return symbol;
}

/// Nested polygons with an "Area" field (isopleths of several levels): graduated by area, the
/// largest blue and drawn first, the smallest red and drawn on top. False for a layer without
/// the field, with fewer than two areas or more than kMaxAreaClasses.
bool applyAreaStyle(QgsVectorLayer& layer) {
  const int field = layer.fields().lookupField(QStringLiteral("Area"));
  if (field < 0 || !layer.fields().at(field).isNumeric()) return false;
  std::vector<double> areas;
  for (const QVariant& value : layer.uniqueValues(field))
    if (!value.isNull()) areas.push_back(value.toDouble());
  if (areas.size() < 2 || areas.size() > kMaxAreaClasses) return false;
  std::sort(areas.begin(), areas.end());
  // Isopleth polygons are named by their level ("95 %"), other areas by their size.
  QMap<double, QString> levelOfArea;
  if (const int percent = percentField(layer); percent >= 0) {
    QgsFeature feature;
    QgsFeatureIterator features =
        layer.getFeatures(QgsFeatureRequest().setFlags(QgsFeatureRequest::NoGeometry));
    while (features.nextFeature(feature))
      levelOfArea.insert(feature.attribute(field).toDouble(), percentLabel(feature.attribute(percent)));
  }
  // Each class reaches halfway to its neighbours, so that no area falls on a class edge.
  QgsRangeList ranges;
  const std::size_t n = areas.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double lower = i == 0 ? areas[i] : (areas[i - 1] + areas[i]) / 2.0;
    const double upper = i + 1 == n ? areas[i] : (areas[i] + areas[i + 1]) / 2.0;
    QgsFillSymbol* symbol = areaSymbol(1.0 - static_cast<double>(i) / static_cast<double>(n - 1));
    symbol->symbolLayer(0)->setRenderingPass(static_cast<int>(n - 1 - i));
    const QString label = levelOfArea.value(areas[i], QStringLiteral("Area %1").arg(areas[i], 0, 'g', 6));
    ranges.append(QgsRendererRange(lower, upper, symbol, label));
  }
  auto* renderer = new QgsGraduatedSymbolRenderer(QStringLiteral("Area"), ranges);
  renderer->setUsingSymbolLevels(true);
  layer.setRenderer(renderer);
  return true;
}

}  // namespace

void applyDefaultStyle(QgsVectorLayer& layer) {
  switch (layer.geometryType()) {
    case QgsWkbTypes::PolygonGeometry: {
      if (applyAreaStyle(layer)) break;
      QColor fill = rampColor(0.8);
      fill.setAlpha(kPolygonFillAlpha);
      QgsFillSymbol* symbol =
          QgsFillSymbol::createSimple({{QStringLiteral("color"), fill.name(QColor::HexArgb)},
                                       {QStringLiteral("outline_color"), rampColor(1.0).name()},
                                       {QStringLiteral("outline_width"), QStringLiteral("0.5")}});
      symbol->setOpacity(1.0);
      layer.setRenderer(new QgsSingleSymbolRenderer(symbol));
      break;
    }
    case QgsWkbTypes::LineGeometry: {
      // Isopleth lines by their level ("50 %", "95 %"; the core red, the outer blue), other
      // lines by their first number (contour values, low blue to high red).
      const int percent = percentField(layer);
      const int field = percent >= 0 ? percent : firstNumericField(layer);
      if (field < 0) break;
      QList<QVariant> values = layer.uniqueValues(field).values();
      std::sort(values.begin(), values.end(),
                [](const QVariant& a, const QVariant& b) { return a.toDouble() < b.toDouble(); });
      QgsCategoryList categories;
      for (int i = 0; i < values.size(); ++i) {
        double fraction = values.size() > 1 ? static_cast<double>(i) / (values.size() - 1) : 1.0;
        if (percent >= 0) fraction = 1.0 - fraction;
        QgsLineSymbol* symbol =
            QgsLineSymbol::createSimple({{QStringLiteral("line_color"), rampColor(fraction).name()},
                                         {QStringLiteral("line_width"), QStringLiteral("0.6")}});
        categories.append(QgsRendererCategory(values[i], symbol,
                                              percent >= 0 ? percentLabel(values[i]) : values[i].toString()));
      }
      layer.setRenderer(new QgsCategorizedSymbolRenderer(layer.fields().at(field).name(), categories));
      break;
    }
    default:
      break;
  }
  layer.triggerRepaint();
}

void applyDefaultStyle(QgsRasterLayer& layer) {
  QgsRasterDataProvider* provider = layer.dataProvider();
  if (provider == nullptr || layer.bandCount() != 1) return;
  const QgsRasterBandStats stats =
      provider->bandStatistics(1, QgsRasterBandStats::Min | QgsRasterBandStats::Max);
  if (!(stats.maximumValue > stats.minimumValue)) return;
  constexpr int kSteps = 5;
  QList<QgsColorRampShader::ColorRampItem> items;
  for (int i = 0; i < kSteps; ++i) {
    const double fraction = static_cast<double>(i) / (kSteps - 1);
    // The lowest densities (the grid's wide margin around a UD) fade out, so the map and the
    // fixes under the grid stay visible.
    QColor color = rampColor(fraction);
    color.setAlpha(i == 0 ? 0 : 200);
    items.append({stats.minimumValue + fraction * (stats.maximumValue - stats.minimumValue), color});
  }
  auto function = std::make_unique<QgsColorRampShader>(stats.minimumValue, stats.maximumValue);
  function->setColorRampType(QgsColorRampShader::Interpolated);
  function->setColorRampItemList(items);
  auto shader = std::make_unique<QgsRasterShader>();
  shader->setRasterShaderFunction(function.release());
  layer.setRenderer(new QgsSingleBandPseudoColorRenderer(provider, 1, shader.release()));
  layer.triggerRepaint();
}

}  // namespace orvex::platform::qgis
