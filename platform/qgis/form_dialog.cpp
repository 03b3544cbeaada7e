#include "platform/qgis/form_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "host/error.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {

using host::ControlKind;

constexpr int kPollMilliseconds = 100;  // how soon a change made outside an action shows
// Room a window manager's title bar and frame take above a dialog's own height.
constexpr int kWindowFrameAllowance = 40;
// The smallest height of a page that scrolls: a few rows of controls stay in view.
constexpr int kMinimumPageHeight = 200;
// A multi-line text box shows this much at least, in average characters and lines.
constexpr int kMultiLineColumns = 72;
constexpr int kMultiLineRows = 18;

/// A page of controls that scrolls when the screen is too short for it. It asks for its
/// content's full size, so a dialog opens without a scroll bar wherever the screen has room,
/// and needs only kMinimumPageHeight, so the buttons below it stay on a short screen.
class PageScrollArea final : public QScrollArea {
 public:
  explicit PageScrollArea(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  QSize sizeHint() const override {
    if (widget() == nullptr) return QScrollArea::sizeHint();
    const QSize content = widget()->sizeHint().expandedTo(widget()->minimumSizeHint());
    return {content.width() + verticalScrollBar()->sizeHint().width(), content.height()};
  }
  QSize minimumSizeHint() const override {
    if (widget() == nullptr) return QScrollArea::minimumSizeHint();
    const QSize content = widget()->minimumSizeHint();
    return {content.width() + verticalScrollBar()->sizeHint().width(),
            std::min(content.height(), kMinimumPageHeight)};
  }
};

bool sharesLabelRow(ControlKind kind) {
  return kind == ControlKind::TextBox || kind == ControlKind::ComboBox || kind == ControlKind::Slider;
}

QStringList toQStrings(const std::vector<std::string>& texts) {
  QStringList result;
  for (const auto& text : texts) result << toQString(text);
  return result;
}

void appendRow(QGridLayout& grid, QWidget* widget, bool afterLabel) {
  const int row = grid.rowCount();
  if (afterLabel && row > 0) {
    // The label placed last takes column 0 of its row; the field joins it.
    if (QLayoutItem* item = grid.itemAtPosition(row - 1, 0);
        item != nullptr && qobject_cast<QLabel*>(item->widget()) != nullptr &&
        grid.itemAtPosition(row - 1, 1) == nullptr) {
      grid.removeItem(item);
      grid.addWidget(item->widget(), row - 1, 0);
      grid.addWidget(widget, row - 1, 1);
      delete item;
      return;
    }
  }
  grid.addWidget(widget, row, 0, 1, 2);
}

// The items of a combo box or list widget set to `items`, rebuilt only when they differ (a
// rebuild loses the user's place in the list).
QString itemText(const QComboBox& combo, int i) { return combo.itemText(i); }
QString itemText(const QListWidget& list, int i) { return list.item(i)->text(); }

template <class Items>
void syncItems(Items& widget, const std::vector<std::string>& items) {
  const QStringList wanted = toQStrings(items);
  QStringList shown;
  for (int i = 0; i < widget.count(); ++i) shown << itemText(widget, i);
  if (shown != wanted) {
    widget.clear();
    widget.addItems(wanted);
  }
}

// A text box is a one-line edit, or a multi-line text for controls made multi-line.
void syncTextBox(const host::Control& control, QWidget& widget) {
  const QString text = toQString(control.text());
  if (auto* lines = qobject_cast<QPlainTextEdit*>(&widget)) {
    if (lines->toPlainText() != text) lines->setPlainText(text);
    lines->setReadOnly(control.readOnly());
    return;
  }
  auto& edit = static_cast<QLineEdit&>(widget);
  if (edit.text() != text) edit.setText(text);
  edit.setReadOnly(control.readOnly());
}

// A slider or progress bar: its range, then its value.
template <class Ranged>
void syncRange(Ranged& widget, const host::Control& control) {
  widget.setRange(control.minimum(), control.maximum());
  widget.setValue(control.value());
}

// The grid's headers and cells, each cell's item kept when its text is unchanged.
void syncGrid(QTableWidget& table, const host::GridData& grid) {
  table.setColumnCount(static_cast<int>(grid.columns.size()));
  table.setHorizontalHeaderLabels(toQStrings(grid.columns));
  table.setRowCount(static_cast<int>(grid.rows.size()));
  for (int r = 0; r < table.rowCount(); ++r) {
    const auto& cells = grid.rows[static_cast<std::size_t>(r)];
    for (int c = 0; c < table.columnCount() && c < static_cast<int>(cells.size()); ++c) {
      const QString text = toQString(cells[static_cast<std::size_t>(c)]);
      QTableWidgetItem* item = table.item(r, c);
      if (item == nullptr)
        table.setItem(r, c, new QTableWidgetItem(text));
      else if (item->text() != text)
        item->setText(text);
    }
  }
}

}  // namespace

FormDialog::FormDialog(host::Form& form, QWidget* parent) : QDialog(parent), form_(form), driver_(form) {
  setWindowTitle(toQString(form.caption()));
  setObjectName(toQString(form.name()));
  build();
  poll_.setInterval(kPollMilliseconds);
  QObject::connect(&poll_, &QTimer::timeout, this, [this] {
    sync();
    finishWhenClosed();
  });
}

FormDialog::~FormDialog() = default;

void FormDialog::build() {
  auto* outer = new QVBoxLayout(this);
  auto* body = new QWidget(this);
  formGrid_ = new QGridLayout(body);
  if (form_.pageCount() == 0) {
    auto* scroll = new PageScrollArea(this);
    scroll->setWidget(body);
    outer->addWidget(scroll);
  } else {
    tabs_ = new QTabWidget(this);
    for (int page = 0; page < form_.pageCount(); ++page) {
      auto* scroll = new PageScrollArea(tabs_);
      auto* tab = new QWidget(scroll);
      auto* grid = new QGridLayout(tab);
      pageGrids_[page] = grid;
      scroll->setWidget(tab);
      tabs_->addTab(scroll, toQString(form_.pageCaption(page)));
    }
    outer->addWidget(tabs_);
    outer->addWidget(body);  // the few controls outside the pages, below the tabs
    QObject::connect(tabs_, &QTabWidget::currentChanged, this, [this](int page) {
      if (syncing_) return;
      act([&] {
        if (!driver_.showPage(page)) showRefusal(driver_.lastRefusal());
      });
    });
  }
  buttonRow_ = new QHBoxLayout();
  buttonRow_->addStretch(1);
  outer->addLayout(buttonRow_);
  if (form_.kind() == host::FormKind::PropertySheet) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QObject::connect(box, &QDialogButtonBox::accepted, this, [this] {
      act([&] {
        if (!driver_.ok()) showRefusal(driver_.lastRefusal());
      });
    });
    QObject::connect(box, &QDialogButtonBox::rejected, this, [this] { act([&] { driver_.cancel(); }); });
    outer->addWidget(box);
  }
  // Frames first, so that a control added before its frame still finds it.
  for (host::Control* control : form_.controls())
    if (control->kind() == ControlKind::Frame) {
      auto* box = new QGroupBox(this);
      frameGrids_[control->name()] = new QGridLayout(box);
      widgets_[control->name()] = box;
    }
  ControlKind previous = ControlKind::Button;
  std::string previousContainer;
  int previousPage = -2;
  for (host::Control* control : form_.controls()) {
    QWidget* widget =
        control->kind() == ControlKind::Frame ? widgets_[control->name()] : makeWidget(*control);
    widget->setObjectName(toQString(control->name()));
    widgets_[control->name()] = widget;
    const bool bottomButton =
        control->kind() == ControlKind::Button && control->container().empty() && control->page() < 0;
    if (bottomButton) {
      buttonRow_->addWidget(widget);
    } else {
      // A field without a caption of its own is named by the label just before it; one with a
      // caption shows that caption (the label before it says something else).
      bool afterLabel = sharesLabelRow(control->kind()) && control->caption().empty() &&
                        previous == ControlKind::Label && previousContainer == control->container() &&
                        previousPage == control->page();
      if (!afterLabel && sharesLabelRow(control->kind()) && !control->caption().empty()) {
        // A field that names itself ("Point layer:") gets that name as its label.
        auto* label = new QLabel(toQString(control->caption()), this);
        label->setObjectName(toQString(control->name() + "Caption"));
        appendRow(gridOf(*control), label, false);
        afterLabel = true;
      }
      appendRow(gridOf(*control), widget, afterLabel);
    }
    previous = control->kind();
    previousContainer = control->container();
    previousPage = control->page();
  }
  // Rows gather at the top of a tab: the stretch goes below the last of them.
  for (auto& [page, grid] : pageGrids_) grid->setRowStretch(grid->rowCount(), 1);
  sync();
}

QGridLayout& FormDialog::gridOf(const host::Control& control) {
  if (!control.container().empty()) {
    const auto frame = frameGrids_.find(control.container());
    if (frame != frameGrids_.end() && frame->first != control.name()) return *frame->second;
  }
  if (control.page() >= 0) {
    const auto page = pageGrids_.find(control.page());
    if (page != pageGrids_.end()) return *page->second;
  }
  return *formGrid_;
}

QWidget* FormDialog::makeWidget(host::Control& control) {
  const std::string name = control.name();
  switch (control.kind()) {
    case ControlKind::Button: {
      auto* button = new QPushButton(this);
      button->setAutoDefault(false);
      QObject::connect(button, &QPushButton::clicked, this,
                       [this, name] { act([&] { driver_.click(name); }); });
      return button;
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(this);
      QObject::connect(box, &QCheckBox::clicked, this,
                       [this, name](bool checked) { act([&] { driver_.check(name, checked); }); });
      return box;
    }
    case ControlKind::OptionButton: {
      auto* option = new QRadioButton(this);
      option->setAutoExclusive(false);  // the model keeps its groups
      QObject::connect(option, &QRadioButton::clicked, this,
                       [this, name] { act([&] { driver_.choose(name); }); });
      return option;
    }
    case ControlKind::TextBox: {
      if (control.multiLine()) {
        auto* text = new QPlainTextEdit(this);
        const QFontMetrics metrics = text->fontMetrics();
        text->setMinimumSize(metrics.averageCharWidth() * kMultiLineColumns,
                             metrics.lineSpacing() * kMultiLineRows);
        QObject::connect(text, &QPlainTextEdit::textChanged, this, [this, text, name] {
          if (!syncing_ && !text->isReadOnly()) act([&] { driver_.type(name, toStd(text->toPlainText())); });
        });
        return text;
      }
      auto* edit = new QLineEdit(this);
      QObject::connect(edit, &QLineEdit::textEdited, this,
                       [this, name](const QString& text) { act([&] { driver_.type(name, toStd(text)); }); });
      return edit;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      QObject::connect(combo, QOverload<int>::of(&QComboBox::activated), this,
                       [this, name](int index) { act([&] { driver_.select(name, index); }); });
      QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                       [this, name](const QString& text) { act([&] { driver_.type(name, toStd(text)); }); });
      return combo;
    }
    case ControlKind::ListBox: {
      auto* list = new QListWidget(this);
      QObject::connect(list, &QListWidget::currentRowChanged, this, [this, name](int row) {
        if (!syncing_ && row >= 0) act([&] { driver_.select(name, row); });
      });
      return list;
    }
    case ControlKind::Label:
      return new QLabel(this);
    case ControlKind::Slider: {
      auto* slider = new QSlider(Qt::Horizontal, this);
      QObject::connect(slider, &QSlider::valueChanged, this, [this, name](int value) {
        if (!syncing_) act([&] { driver_.slide(name, value); });
      });
      return slider;
    }
    case ControlKind::ProgressBar:
      return new QProgressBar(this);
    case ControlKind::Grid: {
      auto* table = new QTableWidget(this);
      table->setEditTriggers(QAbstractItemView::NoEditTriggers);
      table->horizontalHeader()->setStretchLastSection(true);
      return table;
    }
    case ControlKind::Frame:
      break;
  }
  throw host::Error(host::kNotImplemented, "No widget for the control \"" + name + "\"");
}

void FormDialog::act(const std::function<void()>& action) {
  if (syncing_) return;
  try {
    action();
  } catch (const host::Error& error) {
    QMessageBox::critical(this, windowTitle(), toQString(error.what()));
  } catch (const std::exception& error) {
    QMessageBox::critical(this, windowTitle(), toQString(error.what()));
  }
  sync();
  finishWhenClosed();
}

void FormDialog::showRefusal(const host::PageLeave& refusal) {
  if (!refusal.message.empty()) QMessageBox::warning(this, windowTitle(), toQString(refusal.message));
  if (QWidget* focus = widget(refusal.control)) focus->setFocus();
}

void FormDialog::reject() {
  if (form_.isOpen()) act([&] { driver_.cancel(); });
  finishWhenClosed();
}

void FormDialog::finishWhenClosed() {
  if (form_.isOpen() || finished_) return;
  finished_ = true;
  poll_.stop();
  done(form_.result());
}

int FormDialog::runModal() {
  form_.load();
  if (!form_.isOpen()) return form_.result();  // closed itself while loading
  finished_ = false;
  sync();
  fitToScreen();
  poll_.start();
  setModal(true);
  exec();
  poll_.stop();
  return form_.result();
}

void FormDialog::showModeless() {
  if (!form_.isOpen()) form_.load();
  finished_ = false;
  sync();
  fitToScreen();
  poll_.start();
  setModal(false);
  show();
}

void FormDialog::fitToScreen() {
  const QScreen* screen =
      parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  QSize size = sizeHint().expandedTo(minimumSizeHint());
  if (screen != nullptr) {
    const QRect room = screen->availableGeometry();
    size = size.boundedTo(QSize(room.width(), room.height() - kWindowFrameAllowance))
               .expandedTo(minimumSizeHint());
  }
  resize(size);
}

QWidget* FormDialog::widget(std::string_view name) const {
  const auto found = widgets_.find(name);
  return found == widgets_.end() ? nullptr : found->second;
}

void FormDialog::sync() {
  if (syncing_) return;
  syncing_ = true;
  setWindowTitle(toQString(form_.caption()));
  for (const host::Control* control : form_.controls())
    if (QWidget* target = widget(control->name())) syncControl(*control, *target);
  if (tabs_ != nullptr && form_.currentPage() >= 0 && tabs_->currentIndex() != form_.currentPage()) {
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(form_.currentPage());
  }
  syncing_ = false;
}

void FormDialog::syncControl(const host::Control& control, QWidget& widget) {
  const QSignalBlocker block(&widget);
  if (widget.isVisibleTo(this) != control.visible()) widget.setVisible(control.visible());
  widget.setEnabled(control.enabled());
  const QString caption = toQString(control.caption());
  switch (control.kind()) {
    case ControlKind::Button:
      static_cast<QPushButton&>(widget).setText(caption);
      break;
    case ControlKind::CheckBox:
    case ControlKind::OptionButton: {
      auto& button = static_cast<QAbstractButton&>(widget);
      button.setText(caption);
      button.setChecked(control.checked());
      break;
    }
    case ControlKind::TextBox:
      syncTextBox(control, widget);
      break;
    case ControlKind::ComboBox: {
      auto& combo = static_cast<QComboBox&>(widget);
      syncItems(combo, control.items());
      if (combo.currentIndex() != control.selectedIndex()) combo.setCurrentIndex(control.selectedIndex());
      if (combo.currentText() != toQString(control.text())) combo.setEditText(toQString(control.text()));
      combo.lineEdit()->setReadOnly(control.readOnly());
      break;
    }
    case ControlKind::ListBox: {
      auto& list = static_cast<QListWidget&>(widget);
      syncItems(list, control.items());
      if (list.currentRow() != control.selectedIndex()) list.setCurrentRow(control.selectedIndex());
      break;
    }
    case ControlKind::Label:
      static_cast<QLabel&>(widget).setText(caption);
      break;
    case ControlKind::Slider:
      syncRange(static_cast<QSlider&>(widget), control);
      break;
    case ControlKind::ProgressBar:
      syncRange(static_cast<QProgressBar&>(widget), control);
      break;
    case ControlKind::Grid:
      syncGrid(static_cast<QTableWidget&>(widget), control.grid());
      break;
    case ControlKind::Frame:
      static_cast<QGroupBox&>(widget).setTitle(caption);
      break;
  }
}

}  // namespace orvex::platform::qgis
