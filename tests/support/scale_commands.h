#pragma once

// The commands one animal of 100,000 fixes goes through, as the long scale test and the scale
// benchmark both run them. In the arguments "IN" stands for the fixes and a leading "OUT" for
// the output folder.

#include <filesystem>
#include <string>
#include <vector>

namespace orvex::test {

struct ScaleCommand {
  const char* name;
  std::vector<std::string> args;
};

/// Every command once, MCP in each of its styles.
inline std::vector<ScaleCommand> scaleCommands() {
  const auto mcp = [](const char* style, const char* stem) {
    return std::vector<std::string>{
        "mcp",     "IN",  "--percent", "95,50",
        "--style", style, "--out",     std::string("OUT/mcp_") + stem + "_{percent}.shp"};
  };
  return {
      {"mcp_fixed_mean", mcp("Fixed Mean", "fm")},
      {"mcp_floating_mean", mcp("Floating Mean", "flm")},
      {"mcp_fixed_median", mcp("Fixed Median", "fmd")},
      {"mcp_floating_median", mcp("Floating Median", "flmd")},
      // Area Added at 95 % only: 5,000 removals, each summing the ring once per ring vertex.
      {"mcp_area_added",
       {"mcp", "IN", "--percent", "95", "--style", "Area Added", "--out", "OUT/mcp_aa_{percent}.shp"}},
      {"mcp_user_centre",
       {"mcp", "IN", "--percent", "95,50", "--style", "User Centre", "--centre", "500000,5000000", "--out",
        "OUT/mcp_uc_{percent}.shp"}},
      {"kernel", {"kernel", "IN", "--h", "1", "--out", "OUT/kernel_{id}_h{h}.shp"}},
      {"kde_user_h",
       {"kde", "IN", "--id", "AnimalID", "--bandwidth", "manual:300", "--isopleths", "95,50", "--out-dir",
        "OUT"}},
      {"travel", {"travel", "IN"}},
      {"dedup_time", {"dedup-time", "IN"}},
      {"dedup_xy", {"dedup-xy", "IN"}},
  };
}

/// The arguments of `command` for the fixes `input` and the output folder `out`.
inline std::vector<std::string> scaleArgs(const ScaleCommand& command, const std::filesystem::path& input,
                                          const std::filesystem::path& out) {
  std::vector<std::string> args;
  for (const std::string& arg : command.args) {
    if (arg == "IN")
      args.push_back(input.string());
    else if (arg == "OUT" || arg.starts_with("OUT/"))
      args.push_back(out.string() + arg.substr(3));
    else
      args.push_back(arg);
  }
  return args;
}

}  // namespace orvex::test
