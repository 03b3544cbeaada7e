#include "platform/qgis/command_menus.h"

#include <QAction>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

#include "platform/qgis/qgis_application.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {

constexpr int kIconSize = 16;  // the commands' bitmaps are 16 x 16

}  // namespace

QIcon commandIcon(const host::Command& command) {
  const host::Bitmap bitmap = command.bitmap();
  if (bitmap.width > 0 && bitmap.height > 0 &&
      bitmap.argb.size() ==
          static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height)) {
    QImage image(bitmap.width, bitmap.height, QImage::Format_ARGB32);
    for (int y = 0; y < bitmap.height; ++y)
      for (int x = 0; x < bitmap.width; ++x)
        image.setPixel(x, y, bitmap.argb[static_cast<std::size_t>(y * bitmap.width + x)]);
    return QIcon(QPixmap::fromImage(image));
  }
  // No bitmap: the caption's first letters, so toolbar buttons stay distinguishable.
  QPixmap pixmap(kIconSize * 2, kIconSize * 2);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  QFont font = painter.font();
  font.setPixelSize(kIconSize);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(40, 70, 140));
  painter.drawText(pixmap.rect(), Qt::AlignCenter, toQString(command.caption()).left(2));
  return QIcon(pixmap);
}

CommandMenus::CommandMenus(QMainWindow& window, host::CommandCatalog& catalog, QgisApplication& application)
    : window_(window), catalog_(catalog), application_(application) {
  for (const host::CommandBar& bar : catalog_.toolbars()) {
    auto* toolbar = new QToolBar(toQString(bar.definition->caption()), &window_);
    toolbar->setObjectName(QStringLiteral("orvex:") + toQString(bar.progId));
    for (const host::CommandItem& item : bar.items) {
      if (item.info.beginGroup) toolbar->addSeparator();
      if (item.menu) {
        QMenu* menu = buildMenu(item, &window_);
        window_.menuBar()->addMenu(menu);
        menus_.emplace_back(menu);
        // The toolbar's copy opens the same menu.
        auto* button = new QToolButton(toolbar);
        button->setText(menu->title());
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        toolbar->addWidget(button);
      } else if (item.command) {
        Entry entry{new QAction(commandIcon(*item.command), toQString(item.command->caption()), toolbar),
                    item.command, item.info.id};
        entry.action->setObjectName(QStringLiteral("orvex:") + toQString(item.info.id));
        entry.action->setToolTip(toQString(item.command->tooltip()));
        entry.action->setStatusTip(toQString(item.command->message()));
        QObject::connect(entry.action, &QAction::triggered,
                         [this, index = entries_.size()] { run(entries_[index]); });
        toolbar->addAction(entry.action);
        entries_.push_back(entry);
      }
    }
    window_.addToolBar(toolbar);
    toolbars_.emplace_back(toolbar);
  }
  refreshEnabled();
}

QMenu* CommandMenus::buildMenu(const host::CommandItem& item, QWidget* parent) {
  auto* menu = new QMenu(toQString(item.menu->caption()), parent);
  menu->setObjectName(QStringLiteral("orvex:") + toQString(item.info.id));
  QObject::connect(menu, &QMenu::aboutToShow, [this] { refreshEnabled(); });
  for (const host::CommandItem& child : item.items) {
    if (child.info.beginGroup) menu->addSeparator();
    if (child.menu) {
      menu->addMenu(buildMenu(child, menu));
      continue;
    }
    Entry entry{nullptr, child.command, child.info.id};
    if (child.command) {
      entry.action = menu->addAction(commandIcon(*child.command), toQString(child.command->caption()));
      entry.action->setToolTip(toQString(child.command->tooltip()));
      entry.action->setStatusTip(toQString(child.command->message()));
    } else {
      entry.action = menu->addAction(toQString(child.info.id) + QStringLiteral(" (not available)"));
      entry.action->setToolTip(toQString(child.problem));
      entry.action->setEnabled(false);
    }
    entry.action->setObjectName(QStringLiteral("orvex:") + toQString(child.info.id));
    QObject::connect(entry.action, &QAction::triggered,
                     [this, index = entries_.size()] { run(entries_[index]); });
    entries_.push_back(entry);
  }
  menu->menuAction()->setToolTip(toQString(item.menu->caption()));
  return menu;
}

CommandMenus::~CommandMenus() {
  for (const auto& menu : menus_)
    if (menu) {
      window_.menuBar()->removeAction(menu->menuAction());
      delete menu.data();
    }
  for (const auto& toolbar : toolbars_)
    if (toolbar) {
      window_.removeToolBar(toolbar);
      delete toolbar.data();
    }
}

std::vector<QAction*> CommandMenus::actions() const {
  std::vector<QAction*> result;
  for (const Entry& entry : entries_)
    if (entry.action) result.push_back(entry.action.data());
  return result;
}

std::vector<QMenu*> CommandMenus::menus() const {
  std::vector<QMenu*> result;
  for (const auto& menu : menus_)
    if (menu) result.push_back(menu.data());
  return result;
}

void CommandMenus::refreshEnabled() {
  for (const Entry& entry : entries_)
    if (entry.action) entry.action->setEnabled(!running_ && entry.command && entry.command->enabled());
}

void CommandMenus::run(const Entry& entry) {
  if (running_ || !entry.command) return;
  running_ = true;
  refreshEnabled();
  application_.click(*entry.command, entry.progId);
  running_ = false;
  refreshEnabled();
}

}  // namespace orvex::platform::qgis
