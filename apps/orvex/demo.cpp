#include "apps/orvex/demo.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <vector>

#include "apps/orvex/row_kde.h"
#include "apps/orvex/row_kernel.h"
#include "apps/orvex/row_mcp.h"
#include "apps/orvex/row_track.h"
#include "apps/orvex/row_travel.h"
#include "apps/orvex/simulate.h"

namespace orvex::cli {
namespace {

int simulateStep(const DemoContext& context) {
  SimulateRequest request;
  request.folder = context.folder;
  request.model.animals = 3;
  request.model.fixes = 500;
  request.model.seed = 1;
  request.replace = true;
  const std::size_t written = writeSimulation(request);
  context.summary->output({.path = context.fixes(),
                           .kind = host::OutputKind::Shapefile,
                           .layer = context.fixes().stem().string(),
                           .features = static_cast<std::int64_t>(written)});
  std::cout << context.fixes().string() << ": " << written << " fixes of 3 animals (" << request.crs << ")\n";
  return kExitSuccess;
}

/// Runs one analysis as its subcommand would and adds what it recorded to the demo's record.
int runStep(Subcommand& subcommand, const CommandArgs& args, const DemoContext& context) {
  const int exitCode = runToEnd(subcommand, args, context.global);
  context.summary->add(subcommand.summary());
  return exitCode;
}

int mcpStep(const DemoContext& context) {
  CommandArgs args;
  args.files = {context.fixes().string()};
  args.text("by") = "AnimalID";
  args.text("percent") = "95,50";
  args.text("out") = (context.folder / "mcp" / kMcpDefaultTemplate).string();
  return runStep(*makeMcpSubcommand(), args, context);
}

int kernelStep(const DemoContext& context) {
  CommandArgs args;
  args.files = {context.fixes().string()};
  args.text("by") = "AnimalID";
  args.text("h-choice") = "lscv";
  args.text("kernel") = "fixed";
  args.text("out") = (context.folder / "kernel" / kKernelDefaultTemplate).string();
  return runStep(*makeKernelSubcommand(), args, context);
}

// The KDE tool's batch: one UD raster per animal with 95 and 50 percent isopleths as lines,
// polygons and donuts. Its outputs of an earlier demo are removed first: the tool refuses to
// write over rasters of an earlier run.
int kdeStep(const DemoContext& context) {
  const std::filesystem::path out = context.folder / "kde";
  std::filesystem::remove_all(out);
  CommandArgs args;
  args.files = {context.fixes().string()};
  args.text("id") = "AnimalID";
  args.text("out-dir") = out.string();
  args.text("bandwidth") = "lscv";
  args.text("isopleths") = "95, 50";
  args.flag("silent") = true;
  args.flag("plots") = true;
  return runStep(*makeKdeSubcommand(), args, context);
}

// Adds the six travel fields to the simulated fixes themselves, as the command does to the
// layer it is given; the earlier steps have read the file already.
int travelStep(const DemoContext& context) {
  CommandArgs args;
  args.files = {context.fixes().string()};
  return runStep(*makeTravelSubcommand(), args, context);
}

// Display Travel over the first fixes of one animal, its whole path kept, written as an SVG
// that plays in a browser. After the travel step, so the labels show speeds and distances.
int trackStep(const DemoContext& context) {
  constexpr int kTrackFixes = 120;
  CommandArgs args;
  args.files = {context.fixes().string()};
  args.where = "AnimalID = 'A1'";
  for (int id = 0; id < kTrackFixes; ++id) args.objectIds.push_back(id);
  args.flag("keep-path") = true;
  const std::filesystem::path out = context.folder / "track";
  std::filesystem::create_directories(out);
  args.text("svg") = (out / "A1_track.svg").string();
  return runStep(*makeTrackSubcommand(), args, context);
}

const std::vector<DemoStep> kSteps{
    {"Simulate 3 animals with 500 fixes each", &simulateStep},
    {"Minimum convex polygons, 95 and 50 percent, per animal", &mcpStep},
    {"Kernel Analysis, LSCV bandwidth, fixed kernel, per animal", &kernelStep},
    {"Kernel density estimation, LSCV bandwidth, isopleths 95 and 50 percent, per animal, with the LSCV "
     "profiles and UD maps drawn",
     &kdeStep},
    {"Travel times, distances and speeds between successive fixes", &travelStep},
    {"Display Travel of animal A1's first 120 fixes, as an animated SVG", &trackStep},
};

}  // namespace

std::filesystem::path DemoContext::fixes() const { return folder / kSimulatedFile; }

std::span<const DemoStep> demoSteps() { return kSteps; }

void declareDemo(CLI::App& sub, CommandArgs& args) {
  sub.add_option("--out", args.text("out"),
                 "Folder of the demo's outputs (default " + std::string(kDemoFolder) +
                     "); outputs of an earlier demo there are replaced");
}

int runDemo(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary) {
  DemoContext context{global, {}, &summary};
  context.global.yes = true;
  context.global.no = false;
  const std::filesystem::path folder = args.given("out") ? args.textOf("out") : std::string(kDemoFolder);
  context.folder = std::filesystem::absolute(folder).lexically_normal();
  std::filesystem::create_directories(context.folder);

  const std::span<const DemoStep> steps = demoSteps();
  for (std::size_t i = 0; i < steps.size(); ++i) {
    std::cout << "\n[" << i + 1 << "/" << steps.size() << "] " << steps[i].title << '\n' << std::flush;
    const int code = steps[i].run(context);
    if (code != kExitSuccess) {
      std::cerr << "orvex: demo step " << i + 1 << " failed\n";
      return code;
    }
  }
  std::cout << "\nThe demo's outputs are in " << context.folder.string() << '\n';
  return kExitSuccess;
}

}  // namespace orvex::cli
