#pragma once

#include "host/form.h"

namespace orvex::core {

/// The "Keepers?" question of the Lotek import: whether fixes still "Acquiring" a position are
/// imported. Each button closes the dialog with its own result; closing the window is Cancel.
///
/// Controls: lblMessage, btnInclude, btnExclude (the default), btnCancel.
class KeepersForm final : public host::Form {
 public:
  static constexpr const char* kName = "frmKeepers";
  static constexpr int kInclude = 100;
  static constexpr int kExclude = 101;
  static constexpr int kCancel = host::dialog_result::kCancel;

  KeepersForm();

  /// The button a person gets by pressing Enter.
  static constexpr const char* kDefaultButton = "btnExclude";
};

}  // namespace orvex::core
