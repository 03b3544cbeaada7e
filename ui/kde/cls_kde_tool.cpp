#include "ui/kde/cls_kde_tool.h"

#include "ui/gis/host_references.h"
#include "ui/kde/frm_kde.h"

namespace orvex::ui {

host::Status clsKDETool::onClick() {
  host::Application& app = application();
  gis::RefreshHostReferences(app);
  frmKDE dialog(app, gis::SharedHostReferences().focusMap);
  app.ui().showModal(dialog);
  return host::kOk;
}

}  // namespace orvex::ui
