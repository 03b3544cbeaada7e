#include "apps/orvex/row_shell.h"

#include <iostream>
#include <optional>
#include <string>

#include "apps/orvex/global_options.h"
#include "host/command_catalog.h"
#include "host/form.h"
#include "platform/headless/command_runner.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

namespace headless = platform::headless;

// The names the About command's box is known by.
constexpr const char* kAboutForm = "frmAbout";
constexpr const char* kAboutTitle = "lblTitle";
constexpr const char* kAboutText = "txtAbout";
constexpr const char* kAboutExit = "btnExit";

headless::HeadlessOptions quietHost() {
  headless::HeadlessOptions options;
  options.messages = &std::cerr;
  return options;
}

int printItems(const std::vector<host::CommandItem>& items, int depth, std::ostream& out) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  int unavailable = 0;
  for (const host::CommandItem& item : items) {
    if (item.info.beginGroup) out << indent << kMenuSeparator << '\n';
    if (!item.problem.empty()) {
      out << indent << '[' << item.info.id << "] not available\n";
      ++unavailable;
    } else if (item.menu) {
      out << indent << item.menu->caption() << " [" << item.menu->name() << "]\n";
      unavailable += printItems(item.items, depth + 1, out);
    } else if (item.command) {
      out << indent << item.command->caption() << " (" << item.info.id << ")\n";
    }
  }
  return unavailable;
}

}  // namespace

int printToolbars(const host::CommandCatalog& catalog, std::ostream& out) {
  int unavailable = 0;
  for (const host::CommandBar& bar : catalog.toolbars()) {
    out << bar.definition->caption() << " [" << bar.definition->name() << "]\n";
    unavailable += printItems(bar.items, 1, out);
  }
  return unavailable;
}

int runMenu(const CommandArgs& /*args*/, const GlobalOptions& global, RunSummary& /*summary*/) {
  // The registry and the application outlive the catalog, whose commands hold both.
  const host::ComponentRegistry registry = global.openRegistry();
  headless::HeadlessApplication application(quietHost());
  const host::CommandCatalog catalog(registry, application);

  const int unavailable = printToolbars(catalog, std::cout);
  std::cout.flush();
  for (const std::string& problem : catalog.problems()) std::cerr << "orvex: " << problem << '\n';
  if (catalog.toolbars().empty()) {
    std::cerr << "orvex: no toolbar is registered\n";
    return kExitCommandFailed;
  }
  return unavailable == 0 ? kExitSuccess : kExitCommandFailed;
}

int runAbout(const CommandArgs& /*args*/, const GlobalOptions& global, RunSummary& /*summary*/) {
  const host::ComponentRegistry registry = global.openRegistry();
  headless::HeadlessApplication application(quietHost());

  std::optional<std::string> shown;
  application.scriptedUi().setFormScript(kAboutForm, headless::FormScript().click(kAboutExit));
  application.scriptedUi().setFormClosedHook([&shown](const host::Form& form) {
    if (form.name() != kAboutForm) return;
    std::string title;
    std::string text;
    for (const host::Control* control : form.controls()) {
      if (control->name() == kAboutTitle) title = control->caption();
      if (control->name() == kAboutText) text = control->text();
    }
    shown = title + "\n\n" + text;
  });

  const host::Status status = headless::runCommand(registry, application, kAboutProgId);
  if (host::failed(status) || !shown) {
    std::cerr << "orvex: the About box was not shown\n";
    return kExitCommandFailed;
  }
  std::cout << *shown << '\n';
  return kExitSuccess;
}

}  // namespace orvex::cli
