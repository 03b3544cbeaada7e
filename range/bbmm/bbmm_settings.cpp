#include "range/bbmm/bbmm_settings.h"

#include <algorithm>
#include <cmath>

#include "host/number_list.h"
#include "host/text.h"

namespace orvex::range {
namespace {

// One number of a box, or nothing when the text is not exactly one number.
std::optional<double> OneNumber(const std::string& text) {
  const host::NumberList list = host::parseNumberList(text, host::kWholeNumberList);
  if (!list.ok() || list.count() != 1) return std::nullopt;
  return list.values.front();
}

std::string Refusal(const std::string& box, const std::string& text, const std::string& want) {
  return box + " must be " + want + " (it holds '" + text + "')";
}

}  // namespace

BbmmSettingsCheck CheckBbmmSettings(const BbmmSettings& settings) {
  BbmmSettingsCheck check;
  const auto fail = [&check](std::string message) {
    check.error = std::move(message);
    return check;
  };
  if (host::trim(settings.pointLayer).empty()) return fail("Choose a point layer");
  if (host::trim(settings.idField).empty()) return fail("Choose the animal ID field");
  if (host::trim(settings.timeField).empty()) return fail("Name the time field");
  BbmmRunValues& v = check.values;
  const bool sigma2Given = !host::trim(settings.sigma2).empty();
  const bool fieldGiven = !host::trim(settings.sigma2Field).empty();
  if (sigma2Given == fieldGiven)
    return fail("Give the location error s2 either as one value or as a field, not both or neither");
  if (sigma2Given) {
    v.sigma2 = OneNumber(settings.sigma2);
    if (!v.sigma2 || !(*v.sigma2 > 0.0))
      return fail(Refusal("The location error s2", settings.sigma2, "a positive number in map units"));
  }
  if (host::toLowerAscii(host::trim(settings.sigma1)) != "auto") {
    v.sigma1 = OneNumber(settings.sigma1);
    if (!v.sigma1 || !(*v.sigma1 >= 0.0))
      return fail(Refusal("s1", settings.sigma1, "auto or a number of 0 or more"));
  }
  v.triplets = settings.allTriplets ? TripletChoice::all : TripletChoice::independent;
  if (settings.dynamic) {
    if (v.sigma1) return fail("The dynamic bridge estimates s1 per fix: leave s1 at auto");
    const std::optional<double> window = OneNumber(settings.window);
    const std::optional<double> margin = OneNumber(settings.margin);
    const auto oddWhole = [](std::optional<double> n, double least) {
      return n && *n >= least && *n <= 1e6 && *n == std::floor(*n) && std::fmod(*n, 2.0) == 1.0;
    };
    if (!oddWhole(margin, 3.0))
      return fail(Refusal("The margin", settings.margin, "an odd whole number of fixes, 3 or more"));
    if (!oddWhole(window, 2.0 * *margin + 1.0))
      return fail(
          Refusal("The window", settings.window, "an odd whole number of fixes above twice the margin"));
    v.dynamic = DynamicOptions{.window = static_cast<std::size_t>(*window),
                               .margin = static_cast<std::size_t>(*margin)};
  }
  if (!host::trim(settings.maxGap).empty()) {
    const std::optional<double> gap = OneNumber(settings.maxGap);
    if (!gap || !(*gap > 0.0))
      return fail(Refusal("The largest gap", settings.maxGap, "a positive number of seconds"));
    v.maxGap = *gap;
  }
  if (settings.extent == BbmmExtent::Full) {
    const std::optional<double> buffer = OneNumber(settings.buffer);
    if (!buffer || !(*buffer >= 0.0))
      return fail(Refusal("The buffer", settings.buffer, "a number of 0 or more"));
    v.buffer = *buffer;
  }
  if (settings.extent == BbmmExtent::Reference && host::trim(settings.referenceLayer).empty())
    return fail("Choose the reference raster layer");
  if (settings.extent != BbmmExtent::Reference) {
    const std::optional<double> cell = OneNumber(settings.cellSize);
    if (!cell || !(*cell > 0.0))
      return fail(Refusal("The cell size", settings.cellSize, "a positive number"));
    v.cellSize = *cell;
  }
  if (!host::trim(settings.isopleths).empty()) {
    const host::NumberList list = host::parseNumberList(settings.isopleths, host::kWholeNumberList);
    if (!list.ok()) return fail("Isopleths: " + list.errorText);
    for (const double p : list.values)
      if (!(p > 0.0 && p <= 100.0))
        return fail(Refusal("Each isopleth percentage", settings.isopleths, "above 0 and at most 100"));
    v.isopleths = list.values;
    std::sort(v.isopleths.begin(), v.isopleths.end());
  }
  if (host::trim(settings.outputFolder).empty()) return fail("Choose the output folder");
  return check;
}

}  // namespace orvex::range
