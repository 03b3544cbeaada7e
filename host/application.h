#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/component.h"
#include "host/environment.h"
#include "host/geometry_service.h"
#include "host/map.h"
#include "host/progress.h"
#include "host/run_record.h"
#include "host/spatial_reference.h"
#include "host/ui_services.h"
#include "host/workspace.h"

namespace orvex::host {

/// The running host: the entry to its document and its services. One per process; it outlives
/// every command, form and host object the commands hold.
class Application {
 public:
  virtual ~Application();

  /// The host's name, used as the default message box title.
  virtual std::string name() const = 0;
  /// The open document; never null while the application runs.
  virtual std::shared_ptr<Document> document() const = 0;

  virtual UiServices& ui() = 0;
  virtual StatusBar& statusBar() = 0;
  virtual Clock& clock() = 0;
  virtual WorkspaceFactory& workspaces() = 0;
  virtual SpatialReferenceFactory& spatialReferences() = 0;
  virtual GeometryService& geometry() = 0;

  /// The record of what the commands run in this application wrote and what failed; commands
  /// report their outputs here and take the run's progress function from it. A host may keep
  /// its own record; by default the application holds one.
  virtual RunRecord& runRecord() { return runRecord_; }

  /// Threads the components' numeric loops may use (0: one per processor), read once from
  /// kWorkerThreadsVariable when the application is made. Results never depend on it.
  unsigned workerThreads() const { return workerThreads_; }
  /// Whether the cross-validation scores sum every pair exactly (off: large sets take the
  /// faster sums with a stated error bound, and the same chosen bandwidth).
  bool exactPairSums() const { return exactPairSums_; }
  void setExactPairSums(bool exact) { exactPairSums_ = exact; }

  /// The loaded extension whose class has that ProgID or CLSID; null when none (the system
  /// defines no extensions, so this is normally null).
  virtual std::shared_ptr<Component> findExtension(std::string_view uid) const {
    (void)uid;
    return nullptr;
  }
  /// A new instance of a registered class, for a component that uses another library's class
  /// through a host interface (host/isopleths.h); null when the host cannot make it.
  virtual std::shared_ptr<Component> createComponent(std::string_view progId) {
    (void)progId;
    return nullptr;
  }

 private:
  RunRecord runRecord_;
  unsigned workerThreads_ = workerThreadSetting();
  bool exactPairSums_ = false;
};

}  // namespace orvex::host
