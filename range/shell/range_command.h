#pragma once
// What the range tools' menu commands share: category "ORVEX Range", the tooltip as the status
// bar message, and a click that shows the tool's dialog modally on the focus map.

#include <memory>
#include <string>

#include "host/command.h"
#include "host/form.h"

namespace orvex::host {
class Application;
class Map;
}  // namespace orvex::host

namespace orvex::range {

/// A click shows the dialog MakeDialog builds on the focus map, modally; the dialog reports its
/// own failures, so a click returns kOk unless the host itself fails (host::Error), and kFail
/// before onCreate.
class RangeCommand : public host::Command {
 public:
  std::string message() const final { return tooltip(); }
  std::string category() const final { return "ORVEX Range"; }
  void onCreate(host::Application& application) final { application_ = &application; }
  host::Status onClick() final;

 protected:
  virtual std::unique_ptr<host::Form> MakeDialog(host::Application& application,
                                                 std::shared_ptr<host::Map> map) const = 0;

 private:
  host::Application* application_ = nullptr;
};

}  // namespace orvex::range
