#include "core/data/host_context.h"

#include "core/data/host_failure.h"
#include "host/error.h"

namespace orvex::core {

host::Status HostContext::refresh() {
  document_.reset();
  focusMap_.reset();
  activeView_ = nullptr;
  spatialReference_.reset();
  if (application_ == nullptr) return host::kUnexpected;

  host::UiServices& ui = application_->ui();
  try {
    document_ = application_->document();
    if (!document_) throw host::Error(host::kUnexpected, "The application has no document");
  } catch (const host::Error& error) {
    document_.reset();
    return reportHostFailure(ui, error, kSource, kDocumentLine);
  }

  try {
    focusMap_ = document_->focusMap();
    if (!focusMap_) throw host::Error(host::kUnexpected, "The document has no focus map");
    activeView_ = &document_->activeView();
  } catch (const host::Error& error) {
    focusMap_.reset();
    activeView_ = nullptr;
    return reportHostFailure(ui, error, kSource, kFocusMapLine);
  }

  try {
    spatialReference_ = focusMap_->spatialReference();
  } catch (const host::Error& error) {
    spatialReference_.reset();
    return reportHostFailure(ui, error, kSource, kSpatialReferenceLine);
  }

  if (!spatialReference_ || spatialReference_->isUnknown()) {
    try {
      spatialReference_ = application_->spatialReferences().wgs84();
    } catch (const host::Error&) {
      spatialReference_.reset();
    }
    if (!spatialReference_) return kNoSpatialReference;
  }
  return host::kOk;
}

}  // namespace orvex::core
