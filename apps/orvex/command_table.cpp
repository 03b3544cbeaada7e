#include "apps/orvex/command_table.h"

#include "apps/orvex/demo.h"
#include "apps/orvex/import_movebank.h"
#include "apps/orvex/row_bbmm.h"
#include "apps/orvex/row_dedup.h"
#include "apps/orvex/row_import_lotek.h"
#include "apps/orvex/row_kde.h"
#include "apps/orvex/row_kernel.h"
#include "apps/orvex/row_locoh.h"
#include "apps/orvex/row_mcp.h"
#include "apps/orvex/row_overlap.h"
#include "apps/orvex/row_shell.h"
#include "apps/orvex/row_track.h"
#include "apps/orvex/row_travel.h"
#include "apps/orvex/simulate.h"

namespace orvex::cli {
namespace {

template <DeclareFn declare, StandaloneRunFn run>
std::unique_ptr<Subcommand> standalone() {
  return std::make_unique<StandaloneSubcommand>(declare, run);
}

// One row per subcommand (see command_table.h for how to add one).
const std::vector<CommandRow> kCommandRows{
    {"import-lotek", "Import Lotek collar files (.mdb) into one point shapefile", &makeImportLotekSubcommand},
    {"import-movebank",
     "Import Movebank CSV files (longitude/latitude) into one projected point shapefile or GeoPackage",
     &standalone<&declareImportMovebank, &runImportMovebank>},
    {"mcp", "Minimum convex polygons of each layer's selected fixes, one shapefile per layer and percentage",
     &makeMcpSubcommand},
    {"kernel",
     "Kernel home-range contours of the selected fixes (or of each animal's), one shapefile per h value",
     &makeKernelSubcommand},
    {"kde", "Kernel density estimation: one UD raster per animal, isopleths, analysis log and settings copy",
     &makeKdeSubcommand},
    {"bbmm", "Brownian bridge movement model: one UD raster per animal from its track, isopleths, run log",
     &makeBbmmSubcommand},
    {"overlap",
     "Overlap indices (HR, PHR, VI, BA, UDOI, HD) between every pair of UD rasters or of UDs made from "
     "fixes, one CSV each",
     &makeOverlapSubcommand},
    {"locoh",
     "Local convex hull (LoCoH) home ranges: one shapefile of isopleths per animal, hulls on request",
     &standalone<&declareLocoh, &runLocoh>},
    {"travel",
     "Time, distance and speed from each fix to the next as six new fields of the point layer (per "
     "animal with --by)",
     &makeTravelSubcommand},
    {"dedup-time",
     "Delete selected fixes sharing a Time2 with another (of the same animal with --by; the highest FID "
     "of each time is kept)",
     &makeDedupTimeSubcommand},
    {"dedup-xy",
     "Delete selected fixes at the place of another (of the same animal with --by; the first of each "
     "place is kept)",
     &makeDedupXySubcommand},
    {"track",
     "Display Travel over the selected fixes to the end; save the travel path, write an animated SVG",
     &makeTrackSubcommand},
    {"simulate", "Write a synthetic telemetry set (point shapefile) for trying the analyses",
     &standalone<&declareSimulate, &runSimulate>},
    {"demo", "Simulate a data set into demo-output/ and run the analyses on it",
     &standalone<&declareDemo, &runDemo>},
    {"menu", "Show the toolbar and its menu as the host builds them, with each item's caption",
     &standalone<nullptr, &runMenu>},
    {"about", "Show the About text of the tool set", &standalone<nullptr, &runAbout>},
};

}  // namespace

std::span<const CommandRow> commandRows() { return kCommandRows; }

}  // namespace orvex::cli
