// The provider's algorithms: one row per analysis or data command of the command line, its
// parameters named as QGIS's own algorithms name theirs, with the defaults and ranges of the
// tool's own sheet or dialog.

#include "platform/qgis/processing_provider.h"

namespace orvex::platform::qgis {
namespace {

using K = ParamKind;

constexpr const char* kHomeRange = "Home range";
constexpr const char* kBandwidth = "Bandwidth";
constexpr const char* kMovement = "Movement";
constexpr const char* kPreparation = "Data preparation";
constexpr const char* kImport = "Import";

ParamSpec animalField(const char* option, bool optional) {
  return {K::Field,
          "FIELD",
          optional ? "Animal identifier field (one result per animal)" : "Animal identifier field",
          option,
          "%1",
          nullptr,
          optional};
}

/// The optional animal field of the tools that edit a layer in place: one result, with each
/// animal's fixes kept apart.
ParamSpec animalOrder(const char* option) {
  return {K::Field, "FIELD", "Animal identifier field (each animal's fixes kept apart)", option, "%1",
          nullptr,  true};
}

/// The time field: `option` gives the command the copy's "Time2"; without one the copy carries it.
/// Always optional to QGIS, whose field parameters refuse a missing value even with a default.
ParamSpec timeField(const char* option, bool optional) {
  return {K::TimeField,
          "TIME_FIELD",
          optional ? "Time field (seconds or dates and times; left out: Time2 when the layer has it, else "
                     "the stored order)"
                   : "Time field (seconds or dates and times)",
          option,
          "%1",
          optional ? nullptr : "Time2",
          true};
}

/// The bridge's window and margin: the command refuses them without --dynamic.
ParamSpec dynamicOnly(ParamSpec param) {
  param.onlyWith = "DYNAMIC";
  return param;
}

ParamSpec mcpStyle() {
  return {K::Enum,
          "STYLE",
          "Selection style",
          "--style",
          "%1",
          "0",
          false,
          0,
          0,
          {"Fixed Mean", "Fixed Median", "User Centre", "Floating Mean", "Floating Median", "Area Added"},
          {"Fixed Mean", "Fixed Median", "User Centre", "Floating Mean", "Floating Median", "Area Added"}};
}

std::vector<ParamSpec> gridParams() {
  return {
      {K::Number, "BUFFER", "Buffer around all fixes (map units)", "--extent", "full:%1", "2000", false, 0},
      {K::Number, "CELL_SIZE", "Cell size (map units)", "--cell-size", "%1", "100", false, 1e-6},
      {K::Text, "ISOPLETHS", "Isopleths at these volume percentages (comma-separated)", "--isopleths", "%1",
       nullptr, true}};
}

// The table is split into parts only to keep each function readable; the order is the toolbox's.
void addMcpSpecs(std::vector<AlgorithmSpec>& specs) {
  specs.push_back(
      {"mcp",
       "Minimum convex polygon",
       kHomeRange,
       "homerange",
       "mcp",
       InputKind::Points,
       OutputKind::Layers,
       {"--out", "%S/{layer}_mcp{percent}.shp"},
       {animalField("--by", true),
        {K::Text, "PERCENT", "Percentages of fixes kept (comma-separated)", "--percent", "%1", "95"},
        mcpStyle()},
       "Minimum convex polygons over the chosen percentages of each animal's fixes (all fixes as one "
       "animal without an identifier field). The fixes left out are chosen by the selection style: "
       "farthest from the fixed or floating mean or median, from a user centre, or those that add the "
       "most area. OUTPUT holds every polygon with \"Layer\" (animal and percentage), \"NPoints\", "
       "\"NUsed\" and \"Area\" (square map units).\n\nReference: Mohr (1947), Am. Midl. Nat. 37:223."});
  specs.push_back(
      {"mcpcurve",
       "MCP area curve",
       kHomeRange,
       "homerange",
       "mcp",
       InputKind::Points,
       OutputKind::Folder,
       {"--curve", "--out", "%O/{layer}_mcp{percent}.shp"},
       {animalField("--by", true), timeField(nullptr, true), mcpStyle()},
       "Per animal, the MCP area against the percentage of fixes (10 to 100) and against the number of "
       "fixes taken in time order, as SVG and PNG pictures beside the MCP of the default percentage, to "
       "see whether the home range levels off."});
}

void addKdeSpecs(std::vector<AlgorithmSpec>& specs) {
  specs.push_back(
      {"kde",
       "Kernel density estimation",
       kHomeRange,
       "homerange",
       "kde",
       InputKind::Points,
       OutputKind::Folder,
       {"--out-dir", "%O"},
       [] {
         std::vector<ParamSpec> params{
             animalField("--id", false),
             {K::Enum,
              "BANDWIDTH",
              "Bandwidth",
              "--bandwidth",
              "%1",
              "0",
              false,
              0,
              0,
              {"Least-squares cross-validation (LSCV)", "Reference bandwidth (href)",
               "Biased cross-validation (BCV)"},
              {"lscv", "href", "bcv"}},
             {K::Number, "BANDWIDTH_VALUE", "Bandwidth in map units (instead of the rule above)",
              "--bandwidth", "manual:%1", nullptr, true, 1e-9},
             {K::Enum,
              "KERNEL",
              "Kernel",
              "--kernel",
              "%1",
              "0",
              false,
              0,
              0,
              {"Fixed", "Adaptive"},
              {"fixed", "adaptive"}},
             {K::Flag, "RESCALE", "Rescale x and y to unit variance", "--rescale", "%1", "false"}};
         for (ParamSpec& grid : gridParams()) params.push_back(grid);
         params.push_back({K::Number, "SCALING", "Multiplier of the density values", "--scaling", "%1",
                           "1000000", false, 1e-12});
         params.push_back(
             {K::Flag, "PLOTS", "Draw each animal's bandwidth profile and UD map", "--plots", "%1", "false"});
         params.push_back({K::Flag, "EXACT",
                           "Sum every pair in the cross-validation scan (slow for large sets; the default "
                           "sums agree within 1e-10 and choose the same bandwidth)",
                           "--exact", "%1", "false"});
         return params;
       }(),
       "Kernel density estimation of each animal's utilisation distribution (UD): one GeoTIFF raster per "
       "animal, percent-volume isopleths (lines and polygons), the analysis log and a copy of the "
       "settings, in OUTPUT_FOLDER. The bandwidth is chosen per animal by least-squares or biased "
       "cross-validation or the reference rule, or given in map units; the grid covers every fix plus "
       "the buffer.\n\nReference: Worton (1989), Ecology 70:164; Seaman and Powell (1996), Ecology "
       "77:2075."});
}

void addKernelSpecs(std::vector<AlgorithmSpec>& specs) {
  specs.push_back(
      {"kernel",
       "Kernel analysis",
       kHomeRange,
       "homerange",
       "kernel",
       InputKind::Points,
       OutputKind::Folder,
       {"--out", "%O/kernel_{id}_h{h}.shp"},
       {animalField("--by", true),
        {K::Enum,
         "H_CHOICE",
         "How h is chosen",
         "--h-choice",
         "%1",
         "0",
         false,
         0,
         0,
         {"The h values below", "href", "LSCV", "BCV"},
         {"user", "href", "lscv", "bcv"}},
        {K::Text, "H", "h values as proportions of href (comma-separated)", "--h", "%1",
         "1.0,0.9,0.8,0.7,0.6,0.5,0.4,0.3,0.2,0.1"},
        {K::Enum,
         "KERNEL",
         "Smoothing",
         "--kernel",
         "%1",
         "0",
         false,
         0,
         0,
         {"Adaptive", "Fixed"},
         {"adaptive", "fixed"}},
        {K::Enum,
         "STD",
         "Standardization",
         "--std",
         "%1",
         "0",
         false,
         0,
         0,
         {"Unit variance", "None"},
         {"unit", "none"}},
        {K::Enum,
         "CONTOUR",
         "Contours by",
         "--contour",
         "%1",
         "0",
         false,
         0,
         0,
         {"Volume", "Density"},
         {"volume", "density"}},
        {K::Text, "LEVELS", "Volume levels (comma-separated)", "--levels", "%1",
         "0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9"},
        {K::Integer, "RESOLUTION", "Raster resolution (cells a side)", "--resolution", "%1", "150", false, 40,
         100000}},
       "The Kernel Analysis sheet, once per animal and h value: one polygon shapefile per run in "
       "OUTPUT_FOLDER with a polygon per contour level and \"Volume\", \"Density\", \"KernType\", "
       "\"h\", \"href\", \"NPoints\" and \"Area\".\n\nReference: Worton (1989), Ecology 70:164."});
}

void addLocohSpecs(std::vector<AlgorithmSpec>& specs) {
  specs.push_back(
      {"locoh",
       "Local convex hull (LoCoH)",
       kHomeRange,
       "homerange",
       "locoh",
       InputKind::Points,
       OutputKind::Folder,
       {"--out-dir", "%O"},
       {animalField("--id", false),
        {K::Enum,
         "METHOD",
         "Local sets",
         "--method",
         "%1",
         "0",
         false,
         0,
         0,
         {"k: each fix and its k-1 nearest", "r: the fixes within radius r",
          "a: the nearest fixes whose distances sum to at most a"},
         {"k", "r", "a"}},
        {K::Text, "PARAM", "Value of k, r or a (auto: each animal's starting value)", "--param", "%1",
         "auto"},
        {K::Text, "ISOPLETHS", "Isopleths at these percentages of fixes (comma-separated)", "--isopleths",
         "%1", "10,20,30,40,50,60,70,80,90,100"},
        {K::Flag, "HULLS", "Also write each animal's hulls in union order", "--hulls", "%1", "false"}},
       "Local convex hull home ranges: the hulls of each fix's local set (k nearest, radius r or "
       "adaptive a) merged from the smallest until each percentage of fixes is covered. One polygon "
       "shapefile of isopleths per animal (\"Percent\", \"Area\", \"NFixes\") in OUTPUT_FOLDER. "
       "auto starts each animal at k = round(sqrt(n)), r = half the largest nearest-neighbour distance "
       "or a = the largest distance between two fixes.\n\nReference: Getz et al. (2007), PLoS ONE "
       "2:e207."});
}

void addBridgeOverlapIndependenceSpecs(std::vector<AlgorithmSpec>& specs) {
  specs.push_back(
      {"bbmm",
       "Brownian bridge movement model",
       kHomeRange,
       "homerange",
       "bbmm",
       InputKind::Points,
       OutputKind::Folder,
       {"--out-dir", "%O"},
       [] {
         std::vector<ParamSpec> params{
             animalField("--id", false),
             timeField("--time-field", false),
             {K::Number, "SIGMA2", "Location error s2 (standard deviation, map units)", "--sigma2", "%1",
              nullptr, false, 1e-9},
             {K::Number, "SIGMA1", "Diffusion s1 (left out: maximum likelihood)", "--sigma1", "%1", nullptr,
              true, 1e-12},
             {K::Flag, "DYNAMIC", "Dynamic Brownian bridge", "--dynamic", "%1", "false"},
             dynamicOnly({K::Integer, "WINDOW", "Dynamic bridge: fixes per window (odd)", "--window", "%1",
                          "31", false, 3, 1e9}),
             dynamicOnly({K::Integer, "MARGIN", "Dynamic bridge: fixes between a break and a window's end",
                          "--margin", "%1", "11", false, 1, 1e9}),
             {K::Number, "MAX_GAP", "Longest interval carrying a bridge (seconds)", "--max-gap", "%1",
              nullptr, true, 1e-9}};
         for (ParamSpec& grid : gridParams()) params.push_back(grid);
         return params;
       }(),
       "The Brownian bridge movement model: each animal's UD from its track, the fixes taken in time "
       "order, with diffusion s1 (maximum likelihood unless given) and location error s2. One GeoTIFF "
       "per animal, isopleths and the run log in OUTPUT_FOLDER.\n\nReference: Horne, Garton, Krone and "
       "Lewis (2007), Ecology 88:2354; Kranstauber et al. (2012), J. Anim. Ecol. 81:738."});
  specs.push_back(
      {"overlap",
       "UD overlap indices",
       kHomeRange,
       "homerange",
       "overlap",
       InputKind::Rasters,
       OutputKind::Folder,
       {"--out-dir", "%O"},
       {{K::Number, "PERCENT", "Volume contour (percent)", "--percent", "%1", "95", false, 1e-9, 100},
        {K::EnumList,
         "METHOD",
         "Indices (none chosen: all)",
         "--method",
         "%1",
         nullptr,
         true,
         0,
         0,
         {"HR", "PHR", "VI", "BA", "UDOI", "HD"},
         {"HR", "PHR", "VI", "BA", "UDOI", "HD"}},
        {K::Flag, "CONDITIONAL", "Restrict each UD to its own contour first", "--conditional", "%1",
         "false"}},
       "Overlap indices between every pair of UD rasters (densities, as the KDE and bridge tools write "
       "them): HR, PHR, VI, BA, UDOI and HD, one CSV matrix each in OUTPUT_FOLDER, animals named by "
       "their files.\n\nReference: Fieberg and Kochanny (2005), J. Wildl. Manage. 69:1346.",
       "",
       false});
  specs.push_back(
      {"independence",
       "Independence of successive fixes",
       kBandwidth,
       "bandwidth",
       "kde",
       InputKind::Points,
       OutputKind::File,
       {"--independence=%O", "--out-dir", "%S"},
       {animalField("--id", false)},
       "Indices of independence of successive observations (Schoener's ratio t2/r2 and Swihart and "
       "Slade's) per animal, as a CSV table in OUTPUT.\n\nReference: Swihart and Slade (1985), Ecology "
       "66:1176."});
}

void addMovementPreparationImportSpecs(std::vector<AlgorithmSpec>& specs) {
  specs.push_back(
      {"travel",
       "Time, distance and speed between fixes",
       kMovement,
       "movement",
       "travel",
       InputKind::Points,
       OutputKind::EditCopy,
       {},
       {timeField(nullptr, false), animalOrder("--by")},
       "Adds \"T_Obs_Sec\", \"T_Cumul\", \"Dist\", \"Dist_Cumul\", \"Me_per_Sec\" and \"Mi_per_hr\" from "
       "each fix to the next, fixes taken in stored order with their time (TIME_FIELD). With an animal "
       "field (FIELD) each animal's fixes are taken in time order and the intervals and sums restart at "
       "its first fix. OUTPUT is a new layer; the input stays as it is."});
  specs.push_back(
      {"deduptime",
       "Remove fixes of duplicate time",
       kPreparation,
       "preparation",
       "dedup-time",
       InputKind::Points,
       OutputKind::EditCopy,
       {},
       {timeField(nullptr, false), animalOrder("--by")},
       "OUTPUT holds the fixes without those sharing a time (TIME_FIELD, in whole seconds) with another "
       "(of each time the last fix stays); with an animal field (FIELD), another of the same animal. The "
       "input stays as it is.",
       "",
       false});
  specs.push_back(
      {"dedupxy",
       "Remove fixes of duplicate place",
       kPreparation,
       "preparation",
       "dedup-xy",
       InputKind::Points,
       OutputKind::EditCopy,
       {},
       {animalOrder("--by")},
       "OUTPUT holds the fixes without those at the place of an earlier one (the first of each place "
       "stays); with an animal field (FIELD), an earlier one of the same animal. The input stays as it "
       "is.",
       "",
       false});
  specs.push_back({"importlotek",
                   "Import Lotek collar files",
                   kImport,
                   "import",
                   "import-lotek",
                   InputKind::Files,
                   OutputKind::Layers,
                   {"--out", "%S/lotek.shp"},
                   {{K::Crs, "MAP_CRS", "Coordinate system of the fixes", "--map-crs", "%1", "EPSG:4326"},
                    {K::Enum,
                     "ACQUIRING",
                     "Fixes still acquiring",
                     "--acquiring",
                     "%1",
                     "0",
                     false,
                     0,
                     0,
                     {"Leave out", "Include"},
                     {"exclude", "include"}}},
                   "Lotek GPS-collar downloads (.mdb) as one point layer, in the chosen coordinate system.",
                   "Lotek collar files (*.mdb)"});
  specs.push_back(
      {"importmovebank",
       "Import Movebank CSV",
       kImport,
       "import",
       "import-movebank",
       InputKind::Files,
       OutputKind::Layers,
       {"--out", "%S/movebank.shp"},
       {{K::Crs, "CRS", "Coordinate system (left out: the WGS 84 UTM zone of the fixes)", "--crs", "%1",
         nullptr, true},
        {K::Text, "SENSOR", "Sensor type kept", "--sensor", "%1", "gps"},
        {K::Flag, "KEEP_OUTLIERS", "Keep rows marked as outliers or not visible", "--keep-outliers", "%1",
         "false"}},
       "Movebank downloads (CSV, longitude and latitude) as one projected point layer with \"AnimalID\", "
       "\"Time2\" (seconds since 1970, UTC), \"Time1\" and \"Date\", sorted by animal and time.",
       "Movebank CSV (*.csv)"});
}

std::vector<AlgorithmSpec> makeSpecs() {
  std::vector<AlgorithmSpec> specs;
  addMcpSpecs(specs);
  addKdeSpecs(specs);
  addKernelSpecs(specs);
  addLocohSpecs(specs);
  addBridgeOverlapIndependenceSpecs(specs);
  addMovementPreparationImportSpecs(specs);
  return specs;
}

}  // namespace

const std::vector<AlgorithmSpec>& algorithmSpecs() {
  static const std::vector<AlgorithmSpec> specs = makeSpecs();
  return specs;
}

}  // namespace orvex::platform::qgis
