#pragma once

#include <memory>

#include "host/application.h"
#include "host/map.h"
#include "host/spatial_reference.h"
#include "host/status.h"

namespace orvex::core {

/// The host references an orvexcore command works with: kept from its creation (the
/// application) and refreshed at the start of every click (the rest), so that each run uses
/// the focus map and coordinate system current at the click.
class HostContext {
 public:
  /// Source name of the refresh failures' reports.
  static constexpr const char* kSource = "orvex_utility";
  static constexpr int kDocumentLine = 67;
  static constexpr int kFocusMapLine = 75;
  static constexpr int kSpatialReferenceLine = 79;
  /// Result of `refresh` when not even the WGS 1984 fallback can be made.
  static constexpr host::Status kNoSpatialReference = -1;

  HostContext() = default;
  /// The command's creation hook hands the application over; it outlives the command.
  explicit HostContext(host::Application& application) : application_(&application) {}
  void setApplication(host::Application& application) { application_ = &application; }

  /// Asks the application for its document, the document for its focus map and active view,
  /// and the map for its coordinate system. A map without one (null, or the unknown system,
  /// which nothing can be projected into) gets geographic WGS 1984 (EPSG 4326) instead.
  ///
  /// A host failure at the document, map or coordinate-system step is shown at once as the
  /// host's error text followed by "\norvex_utility(67)", "(75)" or "(79)" and returned; when
  /// even the fallback cannot be made the result is -1 without a message. Without an
  /// application the result is kUnexpected without a message. On failure the references from
  /// the failed step on are cleared, so no stale map is used.
  host::Status refresh();

  /// Only valid after `setApplication`.
  host::Application& application() const { return *application_; }
  const std::shared_ptr<host::Document>& document() const { return document_; }
  const std::shared_ptr<host::Map>& focusMap() const { return focusMap_; }
  /// Null until a refresh succeeded; owned by the document.
  host::ActiveView* activeView() const { return activeView_; }
  /// The focus map's coordinate system, or geographic WGS 1984 when the map has none.
  const host::SpatialReferencePtr& spatialReference() const { return spatialReference_; }

 private:
  host::Application* application_ = nullptr;
  std::shared_ptr<host::Document> document_;
  std::shared_ptr<host::Map> focusMap_;
  host::ActiveView* activeView_ = nullptr;
  host::SpatialReferencePtr spatialReference_;
};

}  // namespace orvex::core
