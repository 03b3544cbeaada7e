#include "apps/orvex/command_table.h"

#include "apps/orvex/demo.h"
#include "apps/orvex/import_movebank.h"
#include "apps/orvex/mcp_curve.h"
#include "apps/orvex/row_dedup.h"
#include "apps/orvex/row_import_lotek.h"
#include "apps/orvex/row_kde.h"
#include "apps/orvex/row_kernel.h"
#include "apps/orvex/row_mcp.h"
#include "apps/orvex/row_shell.h"
#include "apps/orvex/row_track.h"
#include "apps/orvex/row_travel.h"
#include "apps/orvex/simulate.h"

namespace orvex::cli {
namespace {

// One row per menu command (see command_table.h for how to add one).
const std::vector<CommandRow> kCommandRows{
    {"import-lotek", "Import Lotek collar files (.mdb) into one point shapefile", kImportLotekProgId,
     &declareImportLotek, &scriptImportLotek, &afterImportLotek},
    {.name = "import-movebank",
     .help =
         "Import Movebank CSV files (longitude/latitude) into one projected point shapefile or GeoPackage",
     .progId = {},
     .declare = &declareImportMovebank,
     .run = &runImportMovebank},
    {.name = "mcp",
     .help = "Minimum convex polygons of each layer's selected fixes, one shapefile per layer and percentage",
     .progId = kMcpProgId,
     .declare = &declareMcp,
     .script = &scriptMcp,
     .after = &afterMcp,
     .run = &runMcpWithCurves},
    {.name = "kernel",
     .help =
         "Kernel home-range contours of the selected fixes (or of each animal's), one shapefile per h value",
     .progId = kKernelProgId,
     .declare = &declareKernel,
     .script = &scriptKernel,
     .after = &afterKernel,
     .run = &runKernel},
    {.name = "kde",
     .help = "Kernel density estimation: one UD raster per animal, isopleths, analysis log and settings copy",
     .progId = kKdeProgId,
     .declare = &declareKde,
     .script = &scriptKde,
     .after = &afterKde},
    {.name = "travel",
     .help = "Time, distance and speed from each fix to the next as six new fields of the point layer",
     .progId = kTravelProgId,
     .after = &afterTravel},
    {.name = "dedup-time",
     .help = "Delete selected fixes sharing a Time2 with another (the highest FID of each time is kept)",
     .progId = kDedupTimeProgId,
     .declare = &declareDedup,
     .script = &scriptDedup,
     .after = &afterDedup,
     .run = &runDedupTime},
    {.name = "dedup-xy",
     .help = "Delete selected fixes at the place of another (the first of each place is kept)",
     .progId = kDedupXyProgId,
     .declare = &declareDedup,
     .script = &scriptDedup,
     .after = &afterDedup,
     .run = &runDedupXy},
    {.name = "track",
     .help = "Display Travel over the selected fixes to the end; save the travel path, write an animated SVG",
     .progId = kTrackProgId,
     .declare = &declareTrack,
     .script = &scriptTrack,
     .after = &afterTrack,
     .run = &runTrack},
    {.name = "simulate",
     .help = "Write a synthetic telemetry set (point shapefile) for trying the analyses",
     .progId = {},
     .declare = &declareSimulate,
     .run = &runSimulate},
    {.name = "demo",
     .help = "Simulate a data set into demo-output/ and run the analyses on it",
     .progId = {},
     .declare = &declareDemo,
     .run = &runDemo},
    {.name = "menu",
     .help = "Show the toolbar and its menu as the host builds them, with each item's caption",
     .progId = {},
     .run = &runMenu},
    {.name = "about", .help = "Show the About text of the tool set", .progId = {}, .run = &runAbout},
};

}  // namespace

std::span<const CommandRow> commandRows() { return kCommandRows; }

std::string CommandArgs::textOf(const std::string& key) const {
  const auto found = texts_.find(key);
  return found == texts_.end() ? std::string() : found->second;
}

std::vector<std::string> CommandArgs::listOf(const std::string& key) const {
  const auto found = lists_.find(key);
  return found == lists_.end() ? std::vector<std::string>() : found->second;
}

bool CommandArgs::flagOf(const std::string& key) const {
  const auto found = flags_.find(key);
  return found != flags_.end() && found->second;
}

bool CommandArgs::given(const std::string& key) const {
  return !textOf(key).empty() || !listOf(key).empty() || flagOf(key);
}

}  // namespace orvex::cli
