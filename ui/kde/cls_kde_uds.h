#pragma once
// The KDE tool's batch offered to other component libraries as UDs made from fixes
// (host/ud_maker.h), for the overlap of the range library.

#include "host/component.h"
#include "host/ud_maker.h"

namespace orvex::ui {

/// ProgID "ORVEX.clsKDEUDs". Runs the KDE batch (kde_batch.h) as the dialog would with the
/// request's answers, quietly (no confirmation questions; its closing message is shown), without
/// isopleths, and returns the rasters it recorded for each animal.
class clsKDEUDs final : public host::Component, public host::KdeUdMaker {
 public:
  host::KdeUdResult makeKdeUds(host::Application& application, const host::KdeUdRequest& request) override;
};

}  // namespace orvex::ui
