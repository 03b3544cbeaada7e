#include "platform/qgis/animal_field_page.h"

#include <qgsfieldcombobox.h>
#include <qgsvectorlayer.h>
#include <QFormLayout>
#include <QLabel>

#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {

std::string animalFieldOf(const QgsVectorLayer& layer) {
  return toStd(layer.customProperty(QString::fromUtf8(kAnimalFieldProperty)).toString());
}

AnimalFieldPage::AnimalFieldPage(QgsVectorLayer& layer, QgsMapCanvas* canvas, QWidget* parent)
    : QgsMapLayerConfigWidget(&layer, canvas, parent),
      layer_(layer),
      chosen_(toQString(animalFieldOf(layer))),
      fields_(new QgsFieldComboBox(this)) {
  setObjectName(QStringLiteral("orvexAnimalFieldPage"));
  fields_->setObjectName(QStringLiteral("orvexAnimalField"));
  fields_->setAllowEmptyFieldName(true);
  fields_->setLayer(&layer);
  fields_->setField(chosen_);
  // Kept when chosen: the dialog's other pages may reset the list's model (a field added or
  // renamed there) before this page applies.
  QObject::connect(fields_, qOverload<int>(&QComboBox::activated), this,
                   [this] { chosen_ = fields_->currentField(); });
  auto* note = new QLabel(
      tr("Travel restarts its intervals and cumulative sums at each animal, taking its fixes in time "
         "order, and the duplicate removals compare each animal's fixes only with each other. Left "
         "empty, the layer is one animal: travel takes every fix in stored order and warns when "
         "intervals go negative."),
      this);
  note->setWordWrap(true);
  auto* layout = new QFormLayout(this);
  layout->addRow(tr("Animal identifier field"), fields_);
  layout->addRow(note);
}

void AnimalFieldPage::apply() {
  if (chosen_.isEmpty())
    layer_.removeCustomProperty(QString::fromUtf8(kAnimalFieldProperty));
  else
    layer_.setCustomProperty(QString::fromUtf8(kAnimalFieldProperty), chosen_);
}

AnimalFieldPageFactory::AnimalFieldPageFactory()
    : QgsMapLayerConfigWidgetFactory(QObject::tr("Orvex"), QIcon()) {}

bool AnimalFieldPageFactory::supportsLayer(QgsMapLayer* layer) const {
  const auto* vector = qobject_cast<QgsVectorLayer*>(layer);
  return vector != nullptr && vector->geometryType() == QgsWkbTypes::PointGeometry;
}

QgsMapLayerConfigWidget* AnimalFieldPageFactory::createWidget(QgsMapLayer* layer, QgsMapCanvas* canvas,
                                                              bool /*dockWidget*/, QWidget* parent) const {
  auto* vector = qobject_cast<QgsVectorLayer*>(layer);
  return vector != nullptr ? new AnimalFieldPage(*vector, canvas, parent) : nullptr;
}

}  // namespace orvex::platform::qgis
