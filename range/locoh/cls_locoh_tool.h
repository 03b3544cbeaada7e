#pragma once
// The "LoCoH Home Range" menu command: opens the LoCoH dialog.

#include <string>

#include "host/application.h"
#include "host/command.h"

namespace orvex::range {

/// Command "ORVEX_LOCOH" (ProgID "ORVEX.clsLOCOHTool"), category "ORVEX Range". A click shows
/// frmLOCOH modally on the focus map; the dialog reports its own failures, so a click returns
/// kOk unless the host itself fails (host::Error).
class clsLOCOHTool final : public host::Command {
 public:
  std::string name() const override { return "ORVEX_LOCOH"; }
  std::string caption() const override { return "LoCoH Home Range"; }
  std::string tooltip() const override { return "Local convex hull home ranges (k, r or a)"; }
  std::string message() const override { return tooltip(); }
  std::string category() const override { return "ORVEX Range"; }
  void onCreate(host::Application& application) override { application_ = &application; }
  host::Status onClick() override;

 private:
  host::Application* application_ = nullptr;
};

}  // namespace orvex::range
