#pragma once
// The "Brownian Bridge Home Range" menu command: opens the Brownian bridge dialog.

#include <string>

#include "host/application.h"
#include "host/command.h"

namespace orvex::range {

/// Command "ORVEX_BBMM" (ProgID "ORVEX.clsBBMMTool"), category "ORVEX Range". A click shows
/// frmBBMM modally on the focus map; the dialog reports its own failures, so a click returns
/// kOk unless the host itself fails (host::Error).
class clsBBMMTool final : public host::Command {
 public:
  std::string name() const override { return "ORVEX_BBMM"; }
  std::string caption() const override { return "Brownian Bridge Home Range"; }
  std::string tooltip() const override { return "Brownian bridge utilisation distributions from tracks"; }
  std::string message() const override { return tooltip(); }
  std::string category() const override { return "ORVEX Range"; }
  void onCreate(host::Application& application) override { application_ = &application; }
  host::Status onClick() override;

 private:
  host::Application* application_ = nullptr;
};

}  // namespace orvex::range
