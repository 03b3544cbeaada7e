#include "ui/kde/kde_settings.h"

#include <algorithm>

#include "host/number_list.h"
#include "host/text.h"

namespace orvex::ui {

namespace {

// Not one of the dialog's own messages: a bandwidth list the original would have turned into
// a type-mismatch error, or a value of 0 or below that the calculator would silently ignore
// (keeping the previous animal's bandwidth, or plain href under a proportion's name).
constexpr const char* kMsgInvalidBandwidth =
    "Error: an invalid bandwidth value was detected. Please check these values and run the tool again.";

bool AllPositive(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return v > 0.0; });
}

}  // namespace

KdeSettingsCheck CheckKdeSettings(const KdeSettings& settings) {
  KdeSettingsCheck check;
  const auto fail = [&check](const char* message) {
    check.error = message;
    return check;
  };
  if (settings.bandwidth == KdeBandwidthChoice::ProportionOfHref && settings.proportionsOfHref.empty()) {
    return fail(kMsgNoProportions);
  }
  if (settings.bandwidth == KdeBandwidthChoice::Manual && settings.manualBandwidths.empty()) {
    return fail(kMsgNoManualBandwidth);
  }
  if (settings.extent == KdeExtentChoice::Full && settings.buffer.empty()) return fail(kMsgNoBuffer);
  if (settings.extent == KdeExtentChoice::Reference && settings.referenceLayer.empty()) {
    return fail(kMsgNoReferenceLayer);
  }
  if (settings.isopleths && settings.isoplethPercentages.empty()) return fail(kMsgNoIsopleths);

  if (settings.bandwidth == KdeBandwidthChoice::Manual ||
      settings.bandwidth == KdeBandwidthChoice::ProportionOfHref) {
    const std::string& text = settings.bandwidth == KdeBandwidthChoice::Manual ? settings.manualBandwidths
                                                                               : settings.proportionsOfHref;
    host::NumberList list = host::parseNumberList(text, host::kWholeNumberList);
    if (!list.ok() || !AllPositive(list.values)) return fail(kMsgInvalidBandwidth);
    check.lists.largestListValue = *std::max_element(list.values.begin(), list.values.end());
    check.lists.bandwidthValues = std::move(list.values);
  }

  if (settings.isopleths) {
    host::NumberList percentages =
        host::parseNumberList(settings.isoplethPercentages, host::kWholeNumberList);
    if (!percentages.ok()) return fail(kMsgInvalidIsopleth);
    std::sort(percentages.values.begin(), percentages.values.end());
    check.lists.isoplethPercentages = std::move(percentages.values);
  }
  return check;
}

}  // namespace orvex::ui
