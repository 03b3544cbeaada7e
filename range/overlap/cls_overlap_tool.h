#pragma once
// The "Home Range Overlap" menu command: opens the overlap dialog.

#include <string>

#include "host/application.h"
#include "host/command.h"

namespace orvex::range {

/// Command "ORVEX_OVERLAP" (ProgID "ORVEX.clsOverlapTool"), category "ORVEX Range". A click shows
/// frmOVERLAP modally on the focus map; the dialog reports its own failures, so a click returns
/// kOk unless the host itself fails (host::Error).
class clsOverlapTool final : public host::Command {
 public:
  std::string name() const override { return "ORVEX_OVERLAP"; }
  std::string caption() const override { return "Home Range Overlap"; }
  std::string tooltip() const override { return "Overlap indices between every pair of UDs"; }
  std::string message() const override { return tooltip(); }
  std::string category() const override { return "ORVEX Range"; }
  void onCreate(host::Application& application) override { application_ = &application; }
  host::Status onClick() override;

 private:
  host::Application* application_ = nullptr;
};

}  // namespace orvex::range
