#pragma once

// `orvex demo`: a short tour that simulates a telemetry set and runs the analyses on it,
// printing what each step wrote. The tour is a list of steps; a new analysis is one more row.

#include <filesystem>
#include <span>
#include <string_view>

#include "apps/orvex/global_options.h"
#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kDemoFolder = "demo-output";

/// What every step works with.
struct DemoContext {
  /// The command line's options, answering Yes to overwriting: the demo replaces the outputs
  /// of its own earlier runs.
  GlobalOptions global;
  std::filesystem::path folder;   ///< absolute; every output lands inside it
  RunSummary* summary = nullptr;  ///< the demo's record: every step's outputs and failures

  std::filesystem::path fixes() const;  ///< the simulated point shapefile
};

/// One step: a title printed before it runs, and the work, returning an exit code.
struct DemoStep {
  std::string_view title;
  int (*run)(const DemoContext& context) = nullptr;
};

/// The steps in order.
std::span<const DemoStep> demoSteps();

void declareDemo(CLI::App& subcommand, CommandArgs& args);
/// Runs every step, stopping at the first that fails, and returns its exit code.
int runDemo(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

}  // namespace orvex::cli
