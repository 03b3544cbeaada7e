#include "ui/kde/cls_kde_tool.h"

#include "host/error.h"
#include "ui/gis/host_references.h"
#include "ui/kde/frm_kde.h"

namespace orvex::ui {

clsKDETool::clsKDETool() = default;

// The kept references are released with the command.
clsKDETool::~clsKDETool() = default;

void clsKDETool::onCreate(host::Application& application) {
  application_ = &application;
  document_ = application.document();
  map_ = document_ ? document_->focusMap() : nullptr;
  extension_ = application.findExtension(kExtensionUid);
}

host::Status clsKDETool::onClick() {
  if (application_ == nullptr) {
    throw host::Error(host::kUnexpected, "The command ORVEX_KDE was clicked before it was created");
  }
  gis::RefreshHostReferences(*application_);
  frmKDE dialog(*application_, gis::SharedHostReferences().focusMap);
  application_->ui().showModal(dialog);
  return host::kOk;
}

}  // namespace orvex::ui
