#include "platform/qgis/qt_ui_services.h"

#include <thread>

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "host/form.h"
#include "platform/qgis/form_dialog.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {

QMessageBox::StandardButtons buttonsOf(host::MessageButtons buttons) {
  switch (buttons) {
    case host::MessageButtons::Ok:
      return QMessageBox::Ok;
    case host::MessageButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case host::MessageButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case host::MessageButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case host::MessageButtons::RetryCancel:
      return QMessageBox::Retry | QMessageBox::Cancel;
    case host::MessageButtons::AbortRetryIgnore:
      return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon iconOf(host::MessageIcon icon) {
  switch (icon) {
    case host::MessageIcon::Critical:
      return QMessageBox::Critical;
    case host::MessageIcon::Question:
      return QMessageBox::Question;
    case host::MessageIcon::Exclamation:
      return QMessageBox::Warning;
    case host::MessageIcon::Information:
      return QMessageBox::Information;
    case host::MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

host::MessageAnswer answerOf(int button, host::MessageButtons buttons) {
  switch (button) {
    case QMessageBox::Ok:
      return host::MessageAnswer::Ok;
    case QMessageBox::Yes:
      return host::MessageAnswer::Yes;
    case QMessageBox::No:
      return host::MessageAnswer::No;
    case QMessageBox::Retry:
      return host::MessageAnswer::Retry;
    case QMessageBox::Abort:
      return host::MessageAnswer::Abort;
    case QMessageBox::Ignore:
      return host::MessageAnswer::Ignore;
    default:
      break;
  }
  // Closed by its frame: what the box's escape button means.
  return buttons == host::MessageButtons::Ok ? host::MessageAnswer::Ok : host::MessageAnswer::Cancel;
}

QString startIn(const host::FileDialogOptions& options) {
  std::filesystem::path start = options.initialFolder;
  if (!options.defaultName.empty()) start /= options.defaultName;
  return QString::fromStdString(start.string());
}

}  // namespace

QString toQtFilter(std::string_view filter) {
  // "description|patterns|description|patterns...", the patterns separated by ';'; a trailing
  // description without patterns is dropped.
  const QStringList parts = toQString(filter).split('|');
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(';'))
      if (!pattern.trimmed().isEmpty()) patterns << pattern.trimmed();
    entries << parts[i] + QStringLiteral(" (") + patterns.join(' ') + QStringLiteral(")");
  }
  return entries.join(QStringLiteral(";;"));
}

QtUiServices::QtUiServices(QWidget* parent, std::string defaultTitle)
    : parent_(parent), defaultTitle_(std::move(defaultTitle)) {}

QtUiServices::~QtUiServices() = default;

host::MessageAnswer QtUiServices::show(const host::Message& message) {
  QMessageBox box(iconOf(message.icon), toQString(message.title.value_or(defaultTitle_)),
                  toQString(message.text), buttonsOf(message.buttons), parent_.data());
  return answerOf(box.exec(), message.buttons);
}

std::optional<std::filesystem::path> QtUiServices::saveFile(const host::FileDialogOptions& options) {
  QFileDialog dialog(parent_.data(), toQString(options.title), startIn(options), toQtFilter(options.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.overwritePrompt);
  const QStringList filters = dialog.nameFilters();
  if (options.filterIndex >= 1 && options.filterIndex <= filters.size())
    dialog.selectNameFilter(filters[options.filterIndex - 1]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return host::withDefaultExtension(dialog.selectedFiles().front().toStdString(), options.defaultExtension);
}

std::vector<std::filesystem::path> QtUiServices::openFiles(const host::FileDialogOptions& options) {
  QFileDialog dialog(parent_.data(), toQString(options.title), startIn(options), toQtFilter(options.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(options.allowMultiple
                         ? QFileDialog::ExistingFiles
                         : (options.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
  std::vector<std::filesystem::path> chosen;
  if (dialog.exec() != QDialog::Accepted) return chosen;
  for (const QString& file : dialog.selectedFiles()) chosen.emplace_back(file.toStdString());
  return chosen;
}

std::optional<std::filesystem::path> QtUiServices::browseFolder(const host::FolderDialogOptions& options) {
  const QString folder = QFileDialog::getExistingDirectory(
      parent_.data(), toQString(options.title), QString::fromStdString(options.initialFolder.string()));
  if (folder.isEmpty()) return std::nullopt;
  return std::filesystem::path(folder.toStdString());
}

int QtUiServices::showModal(host::Form& form) {
  FormDialog dialog(form, parent_.data());
  return dialog.runModal();
}

void QtUiServices::showModeless(host::Form& form) {
  auto& dialog = modeless_[&form];
  if (!dialog) dialog = std::make_unique<FormDialog>(form, parent_.data());
  dialog->showModeless();
}

void QtUiServices::hide(host::Form& form) {
  const auto found = modeless_.find(&form);
  if (found == modeless_.end()) return;
  // The dialog may be the one whose handler asked for this: it goes once control is back in
  // the event loop. A form shown again is laid out afresh.
  FormDialog* dialog = found->second.release();
  modeless_.erase(found);
  dialog->hide();
  dialog->deleteLater();
}

void QtUiServices::processPendingEvents() {
  if (processing_) return;
  processing_ = true;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  processing_ = false;
}

void QtClock::wait(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  constexpr auto kSlice = std::chrono::milliseconds(10);
  while (std::chrono::steady_clock::now() < end) {
    ui_.processPendingEvents();
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kSlice, end - std::chrono::steady_clock::now()));
  }
}

}  // namespace orvex::platform::qgis
