#!/usr/bin/env bash
# Checks orvex's LoCoH and overlap indices against R's adehabitatHR on the same inputs, when R
# and that package are installed: LoCoH.k, LoCoH.r and LoCoH.a on 600 fixes of a walk (no
# repeated position), their area and percent at every level the hulls reach, against
# `orvex locoh` at the same levels; and kerneloverlaphr (all six indices, plain and conditional,
# at 95 %) on four kernelUD grids, exported at full precision, against `orvex overlap` on them.
# Prints the largest relative difference of each and fails above 1e-9.
# Usage: scripts/peer-agreement.sh <folder of the orvex program>
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
if ! command -v Rscript >/dev/null 2>&1 || ! Rscript -e 'suppressMessages(library(adehabitatHR))' >/dev/null 2>&1; then
  echo "peer-agreement: R with adehabitatHR is not installed; skipped."
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

Rscript - <<'EOF' >/dev/null
suppressMessages({library(adehabitatHR); library(sp)})
full <- function(v) sprintf("%.17g", v)
set.seed(11); n <- 600; x <- numeric(n); y <- numeric(n); px <- 2500; py <- 2500
for (i in 1:n) { x[i] <- px; y[i] <- py; px <- px + 0.01 * (2500 - px) + rnorm(1, 0, 60)
                 py <- py + 0.01 * (2500 - py) + rnorm(1, 0, 60) }
write.csv(data.frame(id = "a", X = full(x), Y = full(y)), "fixes.csv", row.names = FALSE, quote = FALSE)
sp <- SpatialPoints(cbind(x, y))
runs <- list(k = LoCoH.k(sp, k = 25, unin = "m", unout = "m2"), r = LoCoH.r(sp, r = 150, unin = "m", unout = "m2"),
             a = LoCoH.a(sp, a = 1500, unin = "m", unout = "m2"))
for (m in names(runs)) write.csv(data.frame(percent = full(runs[[m]]$percent), area = full(runs[[m]]$area)),
                                 paste0("R_locoh_", m, ".csv"), row.names = FALSE, quote = FALSE)
set.seed(5); n <- 150
xy <- cbind(rnorm(4 * n, rep(c(1000, 1300, 1600, 1000), each = n), 200),
            rnorm(4 * n, rep(c(1000, 1100, 1000, 1000), each = n), 150))
ud <- kernelUD(SpatialPointsDataFrame(xy, data.frame(id = rep(paste0("a", 1:4), each = n)))[, 1], h = "href",
               grid = 80, same4all = TRUE)
for (nm in names(ud)) {  # an ESRI ASCII grid, rows from the north, every digit kept
  g <- ud[[nm]]; gp <- gridparameters(g); cs <- gp$cellsize[1]; xyg <- coordinates(g)
  con <- file(paste0(nm, ".asc"), "w")
  writeLines(c(paste("ncols", gp$cells.dim[1]), paste("nrows", gp$cells.dim[2]),
               paste("xllcorner", full(gp$cellcentre.offset[1] - cs / 2)),
               paste("yllcorner", full(gp$cellcentre.offset[2] - cs / 2)), paste("cellsize", full(cs))), con)
  m <- matrix(full(g$ud[order(-xyg[, 2], xyg[, 1])]), nrow = gp$cells.dim[2], byrow = TRUE)
  writeLines(apply(m, 1, paste, collapse = " "), con)
  close(con)
}
for (cond in c(FALSE, TRUE)) for (m in c("HR", "PHR", "VI", "BA", "UDOI", "HD")) {
  o <- kerneloverlaphr(ud, method = m, percent = 95, conditional = cond)
  write.csv(format(o, digits = 17), sprintf("R_%s_%s.csv", m, if (cond) "cond" else "plain"), quote = FALSE)
}
EOF
ogr2ogr -f "ESRI Shapefile" fixes.shp fixes.csv -oo X_POSSIBLE_NAMES=X -oo Y_POSSIBLE_NAMES=Y -a_srs EPSG:32633
for f in a1 a2 a3 a4; do gdal_translate -q -oo DATATYPE=Float64 -ot Float64 "$f.asc" "$f.tif"; done

python3 - "$bin/orvex" <<'EOF'
import csv, json, subprocess, sys
orvex, worst = sys.argv[1], 0.0

def relative(a, b):
    return abs(a - b) / abs(b) if b != 0 else abs(a)

# LoCoH: R reports every hull; each percent's first hull is the level orvex takes at it (asked a
# hair below, so that the two programs' roundings of the percent cannot pick another hull).
for method, value in (("k", "25"), ("r", "150"), ("a", "1500")):
    levels, seen = [], set()
    for row in csv.DictReader(open("R_locoh_%s.csv" % method)):
        if float(row["percent"]) not in seen:
            seen.add(float(row["percent"]))
            levels.append((float(row["percent"]), float(row["area"])))
    run = subprocess.run([orvex, "--json", "--yes", "locoh", "fixes.shp", "--id", "id", "--method", method, "--param",
                          value, "--isopleths", ",".join("%.12f" % (p - 1e-7) for p, _ in levels), "--out-dir",
                          "locoh_" + method], capture_output=True, text=True, check=True)
    areas = json.JSONDecoder().raw_decode(run.stdout)[0]["outputs"][0]["areas"]
    table = subprocess.run(["ogr2ogr", "-f", "CSV", "/vsistdout/", "locoh_%s/a_locoh.shp" % method],
                           capture_output=True, text=True, check=True).stdout
    percents = [100.0 * int(row["NFixes"]) / 600 for row in csv.DictReader(table.splitlines())]
    area = max(relative(a, b) for a, (_, b) in zip(areas, levels))
    percent = max(relative(a, b) for a, (b, _) in zip(percents, levels))
    worst = max(worst, area, percent)
    print("LoCoH.%s = %-5s %3d levels: areas %.2g, percents %.2g" % (method, value, len(levels), area, percent))

for cond in ("plain", "cond"):
    subprocess.run([orvex, "--yes", "overlap", "a1.tif", "a2.tif", "a3.tif", "a4.tif", "--percent", "95", "--out-dir",
                    "overlap_" + cond] + (["--conditional"] if cond == "cond" else []), check=True, capture_output=True)
    for index in ("HR", "PHR", "VI", "BA", "UDOI", "HD"):
        theirs = list(csv.reader(open("R_%s_%s.csv" % (index, cond))))
        ours = list(csv.reader(open("overlap_%s/%s.csv" % (cond, index))))
        d = max(relative(float(ours[i][j]), float(theirs[i][j])) for i in range(1, 5) for j in range(1, 5))
        worst = max(worst, d)
        print("kerneloverlaphr %-4s %-5s %.2g" % (index, cond, d))
print("largest relative difference %.2g (limit 1e-9)" % worst)
sys.exit(0 if worst <= 1e-9 else 1)
EOF
