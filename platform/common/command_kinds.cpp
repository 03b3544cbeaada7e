#include "platform/common/command_kinds.h"

#include <array>

#include "host/text.h"

namespace orvex::platform {
namespace {

constexpr std::array<std::string_view, 3> kInPlaceCommands{"ORVEX.orvexobs", "ORVEX.FindDupTime2",
                                                           "ORVEX.FindDupxy"};
constexpr std::array<std::string_view, 4> kMeasuringCommands{"Orvex8.orvex_MCP", "Orvex8.orvex_kernel",
                                                             "ORVEX.clsKDETool", "ORVEX.clsLOCOHTool"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& progIds, std::string_view progId) {
  for (const std::string_view known : progIds)
    if (host::iequals(known, progId)) return true;
  return false;
}

}  // namespace

bool editsInPlace(std::string_view progId) { return listed(kInPlaceCommands, progId); }

bool measuresFixes(std::string_view progId) { return listed(kMeasuringCommands, progId); }

}  // namespace orvex::platform
