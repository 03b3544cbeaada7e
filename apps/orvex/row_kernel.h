#pragma once

// `orvex kernel`: the Kernel Analysis command on the selected fixes of point files (or on
// each animal's fixes in turn), its parameter sheet filled from the command line and its save
// dialogs answered from a file-name template.

#include <memory>
#include <string>
#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kKernelProgId = "Orvex8.orvex_kernel";
inline constexpr std::string_view kKernelDefaultTemplate = "kernel_{id}_h{h}.shp";

/// `orvex kernel`: one click, or with --by one click per distinct value of the field among the
/// selected fixes (ascending), that value's fixes selected. Each click fills the parameter
/// sheet (or, with --info, prints its first pages and cancels it), answers the save dialogs
/// from the template and prints one line per file written. Every click runs; a refused sheet
/// or an h that wrote nothing fails the run.
std::unique_ptr<Subcommand> makeKernelSubcommand();

/// `outputTemplate` with every "{id}" and "{h}" replaced.
std::string expandKernelTemplate(std::string_view outputTemplate, std::string_view id, std::string_view h);

}  // namespace orvex::cli
