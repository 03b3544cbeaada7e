#pragma once

// `orvex kde`: the Kernel Density Estimation dialog on a point file, every option set through
// the dialog's controls from the command line, then OK: one UD raster per animal (and per
// bandwidth value of a list), optional isopleth shapefiles, the analysis log and the settings
// copy in the output folder.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/orvex/subcommand.h"
#include "host/run_record.h"
#include "platform/headless/form_script.h"

namespace orvex::cli {

inline constexpr std::string_view kKdeProgId = "ORVEX.clsKDETool";

void declareKde(CLI::App& subcommand, CommandArgs& args);
/// --extent (full:BUFFER, min, ref:RASTER; checked by readExtentFlag) and --cell-size, as
/// `orvex kde` and `orvex bbmm` take them.
void declareGridOptions(CLI::App& subcommand, CommandArgs& args);
/// Creates the output folder, adds a reference raster file to the map, and writes the
/// dialog's script (`kdeFormScript`) with its dialog answers.
void scriptKde(const CommandArgs& args, platform::headless::HeadlessApplication& application);
/// `orvex kde`: the dialog scripted from the options, then one line per raster and isopleth
/// file the run recorded; a dialog that did not close with a completed run fails the run.
std::unique_ptr<Subcommand> makeKdeSubcommand();

/// Prints one line for a recorded output: a raster's grid size, a shapefile's feature count.
void reportOutput(const host::OutputRecord& output);
/// For --extent ref:RASTER given as a GeoTIFF file: adds it to the map as a layer named after
/// the file and returns that name; a name that is no file is returned as the layer's name.
/// Empty without --extent ref:.
std::string referenceLayerFor(const CommandArgs& args, platform::headless::HeadlessApplication& application);

/// --bandwidth read: the option button and, for lists, the text box and its text.
struct KdeBandwidthFlag {
  std::string option;   ///< "optBE_LSCV", ...
  std::string textBox;  ///< "txtBW" or "txtPropHref"; empty for the single choices
  std::string text;
};
/// "href", "lscv", "bcv", "manual:LIST" or "prop:LIST" (letter case of the word ignored);
/// nothing for anything else.
std::optional<KdeBandwidthFlag> readBandwidthFlag(std::string_view text);

/// --extent read: "full:BUFFER", "min" or "ref:RASTER".
struct KdeExtentFlag {
  std::string option;  ///< "optFull", "optSmall" or "optExtRef"
  std::string value;   ///< the buffer text or the raster (a .tif file or a layer name)
};
std::optional<KdeExtentFlag> readExtentFlag(std::string_view text);

/// The steps played on the dialog for these options. `referenceLayer` is the layer name the
/// reference raster has in the map (empty without --extent ref:).
///
/// The order is that of a person who wants every option to stand as given: the settings file
/// first (so that later options override it), then the tabs "Kernel Settings", "Bandwidth" and
/// "Output Options", and the layer and ID field last on "Input Data". The dialog builds its
/// tables, and puts its recommended buffer into the buffer box, on a tab change made once a
/// layer and a field are chosen; only --tables makes that change (to "Output Options"), after
/// which --extent full:BUFFER is typed again. Then the independence table and its CSV, the
/// settings file saved, and OK.
platform::headless::FormScript kdeFormScript(const CommandArgs& args, const std::string& referenceLayer);

}  // namespace orvex::cli
