#include "platform/qgis/qgis_status_bar.h"

#include <cmath>

#include <qgsmessagebar.h>
#include <qgsmessagebaritem.h>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {
constexpr int kBarSteps = 1000;  // resolution of the bar
}

QgisStatusBar::QgisStatusBar(QgsMessageBar* messageBar, host::UiServices& ui)
    : messageBar_(messageBar), ui_(ui) {}

QgisStatusBar::~QgisStatusBar() { hideProgress(); }

host::ProgressFn QgisStatusBar::progress() {
  return [this](double fraction, std::string_view message) { return report(fraction, message); };
}

bool QgisStatusBar::report(double fraction, std::string_view message) {
  fraction_ = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
  if (messageBar_ && !item_) {
    auto* widget = new QWidget();
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(widget);
    label->setObjectName(QStringLiteral("orvexProgressText"));
    auto* bar = new QProgressBar(widget);
    bar->setRange(0, kBarSteps);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), widget);
    QObject::connect(cancel, &QPushButton::clicked, [this] { cancelled_ = true; });
    layout->addWidget(label);
    layout->addWidget(bar, 1);
    layout->addWidget(cancel);
    item_ = new QgsMessageBarItem(widget, Qgis::MessageLevel::Info, 0);
    messageBar_->pushItem(item_);  // the message bar owns the item
    bar_ = bar;
  }
  if (bar_) {
    bar_->setValue(static_cast<int>(std::lround(fraction_ * kBarSteps)));
    if (auto* label = bar_->parentWidget()->findChild<QLabel*>(QStringLiteral("orvexProgressText")))
      label->setText(toQString(message));
  }
  ui_.processPendingEvents();
  return !cancelled_;
}

void QgisStatusBar::hideProgress() {
  if (messageBar_ && item_) messageBar_->popWidget(item_);
  item_ = nullptr;
  bar_ = nullptr;
  fraction_ = -1.0;
}

}  // namespace orvex::platform::qgis
