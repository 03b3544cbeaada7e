#include "platform/common/command_kinds.h"

#include <array>

#include "host/text.h"

namespace orvex::platform {
namespace {

constexpr std::array<std::string_view, 3> kInPlaceCommands{"ORVEX.orvexobs", "ORVEX.FindDupTime2",
                                                           "ORVEX.FindDupxy"};
constexpr std::array<std::string_view, 4> kMeasuringCommands{"Orvex8.orvex_MCP", "Orvex8.orvex_kernel",
                                                             "ORVEX.clsKDETool", "ORVEX.clsLOCOHTool"};

// The design's failure messages of travel and the duplicate removals (their error traps, in
// either letter case, and travel's refusals once it has asked its question).
constexpr std::string_view kTrappedError = "sub error number: ";
constexpr std::array<std::string_view, 2> kTravelRefusals{"Can not calculate fields.",
                                                          "The fields have not been calculated!"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& progIds, std::string_view progId) {
  for (const std::string_view known : progIds)
    if (host::iequals(known, progId)) return true;
  return false;
}

}  // namespace

bool editsInPlace(std::string_view progId) { return listed(kInPlaceCommands, progId); }

bool reportsFailedEdit(std::string_view message) {
  for (const std::string_view refusal : kTravelRefusals)
    if (message.starts_with(refusal)) return true;
  for (std::size_t at = 0; at + kTrappedError.size() <= message.size(); ++at)
    if (host::iequals(message.substr(at, kTrappedError.size()), kTrappedError)) return true;
  return false;
}

bool measuresFixes(std::string_view progId) { return listed(kMeasuringCommands, progId); }

}  // namespace orvex::platform
