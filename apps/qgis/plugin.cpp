// The QGIS plug-in: QGIS's entry points, and the host brought up when QGIS starts it. The
// work is in platform/qgis; this file only wires it to QGIS's interface.

#include <dlfcn.h>

#include <filesystem>
#include <memory>

#include <qgisinterface.h>
#include <qgisplugin.h>
#include <qgsapplication.h>
#include <qgsmapcanvas.h>
#include <qgsmessagebar.h>
#include <qgsprocessingregistry.h>
#include <QMainWindow>
#include <QMessageBox>
#include <QStandardPaths>

#include "host/command_catalog.h"
#include "host/registry.h"
#include "platform/qgis/animal_field_page.h"
#include "platform/qgis/command_menus.h"
#include "platform/qgis/processing_provider.h"
#include "platform/qgis/qgis_application.h"

namespace {

const QString kName = QStringLiteral("Orvex");
const QString kDescription = QStringLiteral("Wildlife home-range analysis: kernels, isopleths, MCP, travel");
const QString kCategory = QStringLiteral("Plugins");
const QString kVersion = QStringLiteral("0.1.0");
const QString kIcon = QString();
// The registry file a packager may place beside the component libraries; without it the
// libraries of the folder are registered in memory.
constexpr const char* kRegistryFileName = "orvex.registry";

/// The folder of this plug-in's own file.
std::filesystem::path pluginFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&pluginFolder), &info) == 0 || info.dli_fname == nullptr)
    return {};
  return std::filesystem::path(info.dli_fname).parent_path();
}

/// Beside the plug-in (a build folder), else the install's library folder: the plug-in sits
/// in <prefix>/lib/qgis/plugins and the libraries in <prefix>/lib.
std::filesystem::path componentFolder() {
  const std::filesystem::path here = pluginFolder();
  for (const auto& folder : {here, here.parent_path().parent_path()})
    if (!folder.empty() && (std::filesystem::exists(folder / kRegistryFileName) ||
                            !orvex::host::componentLibrariesIn(folder).empty()))
      return folder;
  return here;
}

/// The `orvex` program the Processing algorithms run: beside the plug-in (a build folder), else
/// in the install's bin folder (the plug-in sits in <prefix>/lib/qgis/plugins), else on the PATH.
QString orvexProgram() {
  const std::filesystem::path here = pluginFolder();
  for (const auto& candidate :
       {here / "orvex", here.parent_path().parent_path().parent_path() / "bin" / "orvex"})
    if (!here.empty() && std::filesystem::is_regular_file(candidate))
      return QString::fromStdString(candidate.string());
  const QString found = QStandardPaths::findExecutable(QStringLiteral("orvex"));
  return found.isEmpty() ? QStringLiteral("orvex") : found;
}

class OrvexPlugin final : public QgisPlugin {
 public:
  explicit OrvexPlugin(QgisInterface* iface)
      : QgisPlugin(kName, kDescription, kCategory, kVersion, QgisPlugin::UI), iface_(iface) {}

  void initGui() override {
    auto* window = qobject_cast<QMainWindow*>(iface_->mainWindow());
    try {
      const std::filesystem::path folder = componentFolder();
      registry_ = std::make_unique<orvex::host::ComponentRegistry>(orvex::host::ComponentRegistry::open(
          orvex::host::RegistryOptions{folder / kRegistryFileName, folder}));
      orvex::platform::qgis::QgisHostOptions options;
      options.canvas = iface_->mapCanvas();
      options.mainWindow = window;
      options.messageBar = iface_->messageBar();
      options.currentLayer = [iface = iface_] { return iface->activeLayer(); };
      application_ = std::make_unique<orvex::platform::qgis::QgisApplication>(std::move(options));
      application_->setComponents(registry_.get());
      catalog_ = std::make_unique<orvex::host::CommandCatalog>(*registry_, *application_);
      if (window != nullptr)
        menus_ = std::make_unique<orvex::platform::qgis::CommandMenus>(*window, *catalog_, *application_);
      animalFieldPage_ = std::make_unique<orvex::platform::qgis::AnimalFieldPageFactory>();
      iface_->registerMapLayerConfigWidgetFactory(animalFieldPage_.get());
      // The registry owns the provider from here on and deletes it when it is removed.
      provider_ = new orvex::platform::qgis::OrvexProvider(orvexProgram());
      if (!QgsApplication::processingRegistry()->addProvider(provider_)) {
        delete provider_;
        provider_ = nullptr;
      }
    } catch (const std::exception& error) {
      QMessageBox::critical(window, kName, QStringLiteral("The tools could not be loaded:\n") + error.what());
      unload();
    }
  }

  void unload() override {
    if (provider_ != nullptr) QgsApplication::processingRegistry()->removeProvider(provider_);
    provider_ = nullptr;
    if (animalFieldPage_) iface_->unregisterMapLayerConfigWidgetFactory(animalFieldPage_.get());
    animalFieldPage_.reset();
    // Menus hold commands' actions, commands hold the application: undo in reverse order.
    menus_.reset();
    catalog_.reset();
    application_.reset();
    registry_.reset();
  }

 private:
  QgisInterface* iface_;
  std::unique_ptr<orvex::host::ComponentRegistry> registry_;
  std::unique_ptr<orvex::platform::qgis::QgisApplication> application_;
  std::unique_ptr<orvex::host::CommandCatalog> catalog_;
  std::unique_ptr<orvex::platform::qgis::CommandMenus> menus_;
  orvex::platform::qgis::OrvexProvider* provider_ = nullptr;
  std::unique_ptr<orvex::platform::qgis::AnimalFieldPageFactory> animalFieldPage_;
};

}  // namespace

// QGIS's plug-in entry points, looked up by name.
extern "C" {
Q_DECL_EXPORT QgisPlugin* classFactory(QgisInterface* iface) { return new OrvexPlugin(iface); }
Q_DECL_EXPORT const QString* name() { return &kName; }
Q_DECL_EXPORT const QString* description() { return &kDescription; }
Q_DECL_EXPORT const QString* category() { return &kCategory; }
Q_DECL_EXPORT int type() { return QgisPlugin::UI; }
Q_DECL_EXPORT const QString* version() { return &kVersion; }
Q_DECL_EXPORT const QString* icon() { return &kIcon; }
Q_DECL_EXPORT void unload(QgisPlugin* plugin) { delete plugin; }
}
