#include "core/data/keepers_form.h"

namespace orvex::core {

KeepersForm::KeepersForm() : host::Form(kName, "Keepers?") {
  add(host::ControlKind::Label, "lblMessage",
      "Your dataset may have records whose fix status is \"acquiring\". Include or exclude these records?");
  add(host::ControlKind::Button, "btnInclude", "Include").onClick = [this] { close(kInclude); };
  add(host::ControlKind::Button, "btnExclude", "Exclude").onClick = [this] { close(kExclude); };
  add(host::ControlKind::Button, "btnCancel", "Cancel").onClick = [this] { cancel(); };
  onLoad = [this] { setFocus(kDefaultButton); };
}

}  // namespace orvex::core
