#include "ui/shell/cls_about.h"

#include "host/application.h"
#include "host/ui_services.h"
#include "ui/gis/host_references.h"
#include "ui/shell/frm_about.h"

namespace orvex::ui {

clsAbout::~clsAbout() = default;

host::Status clsAbout::onClick() {
  host::Application& host = application();
  gis::RefreshHostReferences(host);
  frmAbout form;
  host.ui().showModal(form);
  return host::kOk;
}

}  // namespace orvex::ui
