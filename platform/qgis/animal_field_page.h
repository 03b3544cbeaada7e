#pragma once

// The layer's animal field as a biologist sets it in QGIS: a page "Orvex" of a point layer's
// properties, whose choice travel and the duplicate removals read at each run.

#include <string>

#include <qgsmaplayerconfigwidget.h>
#include <qgsmaplayerconfigwidgetfactory.h>

class QgsFieldComboBox;
class QgsVectorLayer;

namespace orvex::platform::qgis {

/// The layer's custom property holding the field that tells its animals apart (saved with the
/// project); absent or empty: the layer is one animal.
inline constexpr const char* kAnimalFieldProperty = "orvex/animalField";

/// The animal field of `layer`, as the property holds it.
std::string animalFieldOf(const QgsVectorLayer& layer);

/// The page: one field choice, empty meaning the whole layer is one animal. The choice is
/// written to the layer when the properties dialog applies its pages.
class AnimalFieldPage final : public QgsMapLayerConfigWidget {
 public:
  AnimalFieldPage(QgsVectorLayer& layer, QgsMapCanvas* canvas, QWidget* parent);
  void apply() override;

 private:
  QgsVectorLayer& layer_;
  QString chosen_;  ///< the field last chosen (empty: none), as the page opened with the layer's
  QgsFieldComboBox* fields_;
};

/// Offers the page in the properties dialog of point layers.
class AnimalFieldPageFactory final : public QgsMapLayerConfigWidgetFactory {
 public:
  AnimalFieldPageFactory();
  bool supportLayerPropertiesDialog() const override { return true; }
  bool supportsLayer(QgsMapLayer* layer) const override;
  QgsMapLayerConfigWidget* createWidget(QgsMapLayer* layer, QgsMapCanvas* canvas, bool dockWidget,
                                        QWidget* parent) const override;
};

}  // namespace orvex::platform::qgis
