#include "ui/gis/host_references.h"

namespace orvex::ui::gis {

namespace {
// Touched only from the host's user-interface thread.
HostReferences& References() {
  static HostReferences references;
  return references;
}
}  // namespace

void RefreshHostReferences(host::Application& application) {
  HostReferences fresh;
  fresh.application = &application;
  fresh.document = application.document();
  if (fresh.document) fresh.focusMap = fresh.document->focusMap();
  References() = std::move(fresh);
}

const HostReferences& SharedHostReferences() { return References(); }

void ClearHostReferences() { References() = HostReferences{}; }

void ReleaseHostReferences(const host::Application& application) {
  if (References().application == &application) ClearHostReferences();
}

}  // namespace orvex::ui::gis
