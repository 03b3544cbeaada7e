// Commands that report what the host gives them, for the command-line tests: the map and its
// selection, the environment, and the answers to a question, a save dialog and a form.

#include <cstdlib>
#include <string>

#include "host/application.h"
#include "host/command.h"
#include "host/component_library.h"
#include "host/error.h"
#include "host/form.h"

namespace {

using orvex::host::Application;
using orvex::host::guid;
using orvex::host::Status;

class ProbeBase : public orvex::host::Command {
 public:
  std::string caption() const override { return "Probe " + name(); }
  std::string tooltip() const override { return "Probe tooltip"; }
  std::string message() const override { return "Reports what the host gives it"; }
  std::string category() const override { return "Probes"; }
  void onCreate(Application& application) override { app_ = &application; }

 protected:
  void say(const std::string& text) { app_->ui().messageBox(text, std::string("Probe")); }
  Application* app_ = nullptr;
};

class Probe final : public ProbeBase {
 public:
  std::string name() const override { return "Probe"; }

  Status onClick() override {
    const auto map = app_->document()->focusMap();
    say("Layers: " + std::to_string(map->layers().size()) +
        ", selected: " + std::to_string(map->selectedFeatures().size()));
    const auto reference = map->spatialReference();
    say("Map: " + (reference ? reference->name() : std::string("none")));
    const auto chosen = app_->document()->selectedLayer();
    say("Chosen layer: " + (chosen ? chosen->name() : std::string("none")));
    const char* temp = std::getenv("TEMP");
    say("TEMP=" + std::string(temp != nullptr ? temp : ""));

    if (app_->ui().messageBox("Go on?", std::string("Question"), orvex::host::MessageButtons::YesNo) !=
        orvex::host::MessageAnswer::Yes) {
      say("Stopped");
      return orvex::host::kOk;
    }

    orvex::host::FileDialogOptions save;
    save.title = "Save Probe";
    save.defaultExtension = "shp";
    const auto file = app_->ui().saveFile(save);
    say(file ? "Saved to: " + file->string() : std::string("No file"));

    orvex::host::Form form("frmProbe", "Probe Form");
    auto& value = form.add(orvex::host::ControlKind::TextBox, "txtValue");
    form.add(orvex::host::ControlKind::Button, "btnOK", "OK").onClick = [&form] {
      form.close(orvex::host::dialog_result::kOk);
    };
    form.onLoad = [&value] { value.setText("7", orvex::host::Notify::No); };
    const int result = app_->ui().showModal(form);
    say(result == orvex::host::dialog_result::kOk ? "Value: " + value.text() : std::string("Form cancelled"));
    return orvex::host::kOk;
  }
};

class Fail final : public ProbeBase {
 public:
  std::string name() const override { return "Fail"; }
  Status onClick() override { return orvex::host::kFail; }
};

class Throw final : public ProbeBase {
 public:
  std::string name() const override { return "Throw"; }
  Status onClick() override { throw orvex::host::Error(orvex::host::kDataError, "Probe failure on purpose"); }
};

constexpr orvex::host::Guid kCommand[] = {orvex::host::kCommandCategory};

const orvex::host::ClassEntry kClasses[] = {
    {guid("{5C0B7E21-6A4D-4F1E-9C3B-2D8E7F6A5B01}"), "Probe", "Probe Class", "ORVEXPROBE.Probe.1",
     "ORVEXPROBE.Probe", kCommand, &orvex::host::createComponent<Probe>},
    {guid("{5C0B7E21-6A4D-4F1E-9C3B-2D8E7F6A5B02}"), "Fail", "Fail Class", "", "ORVEXPROBE.Fail", kCommand,
     &orvex::host::createComponent<Fail>},
    {guid("{5C0B7E21-6A4D-4F1E-9C3B-2D8E7F6A5B03}"), "Throw", "Throw Class", "", "ORVEXPROBE.Throw", kCommand,
     &orvex::host::createComponent<Throw>},
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
