#include "ui/kde/kde_settings.h"

#include <algorithm>

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

std::optional<std::vector<double>> ParseNumberList(const std::string& text) {
  std::vector<double> values;
  std::string_view rest = text;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::optional<double> value = host::parseNumber(rest.substr(0, comma));
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return values;
}

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
    std::optional<std::vector<double>> values = ParseNumberList(text);
    if (!values || !AllPositive(*values)) return fail(kMsgInvalidBandwidth);
    check.lists.largestListValue = *std::max_element(values->begin(), values->end());
    check.lists.bandwidthValues = std::move(*values);
  }

  if (settings.isopleths) {
    std::optional<std::vector<double>> percentages = ParseNumberList(settings.isoplethPercentages);
    if (!percentages) return fail(kMsgInvalidIsopleth);
    std::sort(percentages->begin(), percentages->end());
    check.lists.isoplethPercentages = std::move(*percentages);
  }
  return check;
}

}  // namespace orvex::ui
