#include "ui/tools/frm_pw.h"

#include <algorithm>

namespace orvex::ui {

FrmPW::FrmPW() : host::Form(kFormName, kCaption) {
  bar_ = &add(host::ControlKind::ProgressBar, kProgressBar);
  bar_->setRange(0, 0);
}

void FrmPW::SetMaximum(int maximum) {
  bar_->setRange(0, std::max(maximum, 0));
  bar_->setValue(0, host::Notify::No);
}

void FrmPW::SetProgress(int value) {
  bar_->setValue(std::clamp(value, bar_->minimum(), bar_->maximum()), host::Notify::No);
}

int FrmPW::maximum() const { return bar_->maximum(); }

int FrmPW::progress() const { return bar_->value(); }

void FrmPW::show(host::UiServices& ui) {
  ui.showModeless(*this);
  shown_ = true;
}

void FrmPW::hide(host::UiServices& ui) {
  if (!shown_) return;
  shown_ = false;
  ui.hide(*this);
}

}  // namespace orvex::ui
