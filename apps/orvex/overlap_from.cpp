#include "apps/orvex/overlap_from.h"

#include <CLI/CLI.hpp>
#include <array>
#include <iostream>
#include <memory>
#include <streambuf>

#include "apps/orvex/row_bbmm.h"
#include "apps/orvex/row_kde.h"
#include "host/text.h"

namespace orvex::cli {
namespace {

// The options handed on to the estimator as they were given, by the key both commands bind
// them to.
constexpr std::array<const char*, 2> kKdeTexts{"bandwidth", "kernel"};
constexpr std::array<const char*, 1> kKdeFlags{"rescale"};
constexpr std::array<const char*, 2> kGridTexts{"extent", "cell-size"};
constexpr std::array<const char*, 6> kBbmmTexts{"sigma2",     "sigma2-field", "sigma1",
                                                "time-field", "triplets",     "max-gap"};
constexpr std::array<const char*, 1> kBbmmFlags{"dynamic"};

bool bridges(const CommandArgs& args) { return host::toLowerAscii(args.textOf("estimator")) == "bbmm"; }

/// The first of `keys` given, as its option is spelled; empty for none.
template <std::size_t N>
std::string firstGiven(const CommandArgs& args, const std::array<const char*, N>& keys) {
  for (const char* key : keys)
    if (args.given(key)) return std::string("--") + key;
  return {};
}

/// Standard output thrown away while it lives: the estimator's report names files of a folder
/// that is about to go.
class HiddenReport {
 public:
  HiddenReport() : saved_(std::cout.rdbuf(&discard_)) {}
  ~HiddenReport() { std::cout.rdbuf(saved_); }
  HiddenReport(const HiddenReport&) = delete;
  HiddenReport& operator=(const HiddenReport&) = delete;

 private:
  struct Discard final : std::streambuf {
    int overflow(int c) override { return traits_type::not_eof(c); }
  };
  Discard discard_;
  std::streambuf* saved_;
};

}  // namespace

void declareOverlapFrom(CLI::App& sub, CommandArgs& args) {
  sub.add_option(
      "--from", args.text("from"),
      "Make the UDs from this point file (one per animal, on one grid) instead of reading rasters");
  sub.add_option("--id", args.text("id"), "With --from: the unique animal-ID field");
  sub.add_option("--where", args.where, "With --from: use only the fixes that match this where-clause");
  sub.add_option("--estimator", args.text("estimator"), "With --from: kde (default) or bbmm")
      ->check(CLI::IsMember({"kde", "bbmm"}, CLI::ignore_case));
  sub.add_option("--bandwidth", args.text("bandwidth"),
                 "kde: href, lscv (default), bcv, manual:H or prop:P (one value)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return readBandwidthFlag(text) ? std::string() : "--bandwidth: unknown choice '" + text + "'";
          },
          "CHOICE"));
  sub.add_option("--kernel", args.text("kernel"), "kde: fixed (default) or adaptive")
      ->check(CLI::IsMember({"fixed", "adaptive"}, CLI::ignore_case));
  sub.add_flag("--rescale", args.flag("rescale"), "kde: rescale x and y to unit variance first");
  declareGridOptions(sub, args);
  sub.add_option("--sigma2", args.text("sigma2"), "bbmm: the location error of every fix, in map units");
  sub.add_option("--sigma2-field", args.text("sigma2-field"), "bbmm: a field of per-fix location errors");
  sub.add_option("--sigma1", args.text("sigma1"), "bbmm: auto (maximum likelihood, the default) or a value");
  sub.add_option("--time-field", args.text("time-field"), "bbmm: the time field, in seconds (default Time2)");
  sub.add_option("--triplets", args.text("triplets"), "bbmm: odd (default) or all")
      ->check(CLI::IsMember({"odd", "all"}, CLI::ignore_case));
  sub.add_option("--max-gap", args.text("max-gap"),
                 "bbmm: intervals longer than this (seconds) carry no bridge");
  sub.add_flag("--dynamic", args.flag("dynamic"), "bbmm: the dynamic Brownian bridge");
}

std::string overlapFromUsageError(const CommandArgs& args) {
  if (!args.given("id")) return "--from needs --id FIELD, the animal-ID field";
  const bool bbmm = bridges(args);
  const auto foreign = [&](const auto& texts, const auto& flags) {
    const std::string text = firstGiven(args, texts);
    return text.empty() ? firstGiven(args, flags) : text;
  };
  const std::string other = bbmm ? foreign(kKdeTexts, kKdeFlags) : foreign(kBbmmTexts, kBbmmFlags);
  if (!other.empty()) return other + " belongs to --estimator " + (bbmm ? "kde" : "bbmm");
  const std::optional<KdeExtentFlag> extent = readExtentFlag(args.textOf("extent"));
  if (extent && extent->option == "optSmall")
    return "--extent min gives each animal a grid of its own; --from makes every UD on one grid "
           "(--extent full:BUFFER or ref:RASTER)";
  const std::optional<KdeBandwidthFlag> bandwidth = readBandwidthFlag(args.textOf("bandwidth"));
  if (bandwidth && bandwidth->text.find(',') != std::string::npos)
    return "--from makes one UD per animal: give --bandwidth one value";
  if (bbmm && !args.given("sigma2") && !args.given("sigma2-field"))
    return "--estimator bbmm needs the location error: --sigma2 S or --sigma2-field FIELD";
  return {};
}

std::vector<MadeUd> makeUdsFromFixes(const CommandArgs& args, const GlobalOptions& global,
                                     const std::filesystem::path& folder, RunSummary& summary) {
  const bool bbmm = bridges(args);
  CommandArgs estimatorArgs;
  estimatorArgs.files = {args.textOf("from")};
  estimatorArgs.where = args.where;
  estimatorArgs.text("id") = args.textOf("id");
  estimatorArgs.text("out-dir") = folder.string();
  const auto handOn = [&](const auto& texts, const auto& flags) {
    for (const char* key : texts)
      if (args.given(key)) estimatorArgs.text(key) = args.textOf(key);
    for (const char* key : flags) estimatorArgs.flag(key) = args.flagOf(key);
  };
  handOn(kGridTexts, std::array<const char*, 0>{});
  if (bbmm) {
    handOn(kBbmmTexts, kBbmmFlags);
  } else {
    handOn(kKdeTexts, kKdeFlags);
    // The dialog reads every fix of the layer unless told to keep to the selection.
    estimatorArgs.flag("selected-only") = !args.where.empty();
  }

  const std::unique_ptr<Subcommand> estimator = bbmm ? makeBbmmSubcommand() : makeKdeSubcommand();
  {
    const HiddenReport hidden;
    estimator->run(estimatorArgs, global);
  }
  for (const host::FailureRecord& failure : estimator->summary().failures()) summary.failure(failure);
  std::vector<MadeUd> made;
  for (const host::OutputRecord& output : estimator->summary().outputs())
    if (output.kind == host::OutputKind::Raster) made.push_back({output.values.animal, output.path});
  return made;
}

}  // namespace orvex::cli
