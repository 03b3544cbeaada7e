#!/usr/bin/env bash
# Runs the cross-validation scan workloads of bench/bench_cv.cpp (kernelUD with h = "LSCV") and
# the UD grid of bench/bench_engine.cpp (kernelUD with h = "href") through R's adehabitatHR when
# it is installed, and prints the time per pair per bandwidth, and per node x fix, of both side
# by side, then the Brownian bridge UD (kernelbb) and k-LoCoH (LoCoH.k).
# Usage: scripts/bench-peers.sh <folder of the benchmark programs>
set -euo pipefail
bin=${1:-build-bench/bin}

if ! command -v Rscript >/dev/null 2>&1 || ! Rscript -e 'suppressMessages(library(adehabitatHR))' >/dev/null 2>&1; then
  echo "bench-peers: R with adehabitatHR is not installed; skipped."
  exit 0
fi

# Ours: ns per pair per bandwidth of the scan chosen by cost, one line "n value" per workload.
# n = 100,000 is left out: the peer cannot run it (its distance table needs n^2 memory); make
# bench gives our figure.
ours=$("$bin/bench_cv" --benchmark_filter='BM_KdeLscvScan/[0-9]{4}/0/' --benchmark_format=csv 2>/dev/null |
  awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "\"ns_pair_bw\"" || $i == "ns_pair_bw") col = i; next }
           /BM_KdeLscvScan/ { split($1, p, "/"); print p[2], $col }')

# The peer, on a cloud of the same shape (each coordinate the sum of four uniforms on [0, 250)):
# the whole kernelUD call with its LSCV search over its 100 bandwidths, per pair per bandwidth.
peer_ns() {
  Rscript -e "suppressMessages({library(adehabitatHR); library(sp)})
    set.seed(777); n <- $1
    xy <- cbind(rowSums(matrix(runif(4 * n, 0, 250), n)), rowSums(matrix(runif(4 * n, 0, 250), n)))
    t <- system.time(kernelUD(SpatialPoints(xy), h = 'LSCV'))[['elapsed']]
    cat(1e9 * t / (n * (n - 1) / 2 * 100), '\n')" 2>/dev/null
}

printf '%-30s %14s %14s %8s\n' "LSCV scan, one animal" "peer ns/p/bw" "orvex ns/p/bw" "ratio"
while read -r n value; do
  [ -n "$n" ] || continue
  peer=$(peer_ns "$n" | tr -d " \n")
  ratio=$(awk -v a="$peer" -v b="$value" 'BEGIN { printf "%.1fx", a / b }')
  printf '%-30s %14.3f %14.3f %8s\n' "n = $n" "$peer" "$value" "$ratio"
done <<< "$ours"
printf '%-30s %14s %14s %8s\n' "n = 100000" "n^2 memory" "make bench" "-"

# The fixed-kernel UD grid, every node x fix: kernelUD with h = href on grids of 151 x 151 and
# 501 x 501 nodes and 10,000 fixes, against bench_engine's BM_FixedUd/150/10000 and
# BM_FixedUd/500/10000 (the same node and fix counts).
printf '%-30s %14s %14s %8s\n' "fixed UD grid, n = 10000" "peer ns/node/fix" "orvex" "ratio"
for S in 150 500; do
  side=$((S + 1))
  ours_ud=$("$bin/bench_engine" --benchmark_filter="BM_FixedUd/$S/10000" --benchmark_format=csv 2>/dev/null |
    awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "\"ns per node x fix\"") col = i; next }
             /BM_FixedUd/ { print $col }')
  peer_ud=$(Rscript -e "suppressMessages({library(adehabitatHR); library(sp)})
    set.seed(777); n <- 10000
    xy <- cbind(rowSums(matrix(runif(4 * n, 0, 250), n)), rowSums(matrix(runif(4 * n, 0, 250), n)))
    t <- system.time(kernelUD(SpatialPoints(xy), h = 'href', grid = $side))[['elapsed']]
    cat(1e9 * t / ($side * $side * n), '\n')" 2>/dev/null | tr -d " \n")
  printf '%-30s %14.3f %14.4f %8s\n' "$side x $side nodes" "$peer_ud" "$ours_ud" \
    "$(awk -v a="$peer_ud" -v b="$ours_ud" 'BEGIN { printf "%.1fx", a / b }')"
done

# The Brownian bridge UD, per node x segment: kernelbb (25 steps of the trapezoid rule over every
# node for every segment) on 1,000 fixes of the walk bench_range simulates (fixes every 10
# minutes, s1 = 1, s2 = 10, drawn towards the middle of a 5 km square) on 101 x 101 nodes, against
# bench_range's BM_BridgeUd/1 (10,000 fixes, 500 x 500 cells, one thread). The peer's cost per
# node x segment does not depend on the sizes; ours falls as the grid grows beside the bridges.
ours_bb=$("$bin/bench_range" --benchmark_filter='BM_BridgeUd/1/' --benchmark_format=csv 2>/dev/null |
  awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "\"ns per node x segment\"") col = i; next }
           /BM_BridgeUd/ { print $col }')
peer_bb=$(Rscript -e "suppressMessages({library(adehabitatHR); library(sp)})
  set.seed(42); n <- 1000; px <- 2500; py <- 2500; x <- numeric(n); y <- numeric(n)
  for (i in 1:n) {
    x[i] <- px + 10 * rnorm(1); y[i] <- py + 10 * rnorm(1)
    px <- px + 0.002 * (2500 - px) + sqrt(600) * rnorm(1); py <- py + 0.002 * (2500 - py) + sqrt(600) * rnorm(1)
  }
  tr <- as.ltraj(data.frame(x = x, y = y), date = as.POSIXct(600 * (0:(n - 1)), origin = '2020-01-01', tz = 'UTC'),
                 id = 'a')
  nodes <- SpatialPixels(SpatialPoints(expand.grid(x = seq(0, 5000, length.out = 101),
                                                   y = seq(0, 5000, length.out = 101))))
  t <- system.time(kernelbb(tr, sig1 = 1, sig2 = 10, grid = nodes))[['elapsed']]
  cat(1e9 * t / (101 * 101 * (n - 1)), '\n')" 2>/dev/null | tr -d " \n")
printf '%-30s %14s %14s %8s\n' "bridge UD" "peer ns/node/seg" "orvex" "ratio"
printf '%-30s %14.3f %14.4f %8s\n' "kernelbb vs 10000 fixes" "$peer_bb" "$ours_bb" \
  "$(awk -v a="$peer_bb" -v b="$ours_bb" 'BEGIN { printf "%.1fx", a / b }')"

# k-LoCoH, the whole estimate (hulls, their order and the union of each isopleth 10 to 100 %):
# LoCoH.k with k = round(sqrt(n)) on n fixes of a walk of the shape bench_locoh simulates (steps
# of 60 m drawn towards the middle of a 5 km square), against BM_LocohKIsopleths/n/1. n is 2,000
# unless LOCOH_PEER_FIXES says 20000 (the peer then takes some minutes and a few GB).
n_lk=${LOCOH_PEER_FIXES:-2000}
ours_lk=$("$bin/bench_locoh" --benchmark_filter="BM_LocohKIsopleths/fixes:$n_lk/threads:1/" --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_LocohKIsopleths/ { print $3 / 1000 }')
peer_lk=$(Rscript -e "suppressMessages({library(adehabitatHR); library(sp)})
  set.seed(7); n <- $n_lk; x <- numeric(n); y <- numeric(n); px <- 2500; py <- 2500
  for (i in 1:n) { x[i] <- px; y[i] <- py; px <- px + 0.01 * (2500 - px) + rnorm(1, 0, 60)
                   py <- py + 0.01 * (2500 - py) + rnorm(1, 0, 60) }
  t <- system.time(LoCoH.k(SpatialPoints(cbind(x, y)), k = round(sqrt(n))))[['elapsed']]
  cat(t, '\n')" 2>/dev/null | tr -d " \n")
printf '%-30s %14s %14s %8s\n' "k-LoCoH, isopleths" "peer s" "orvex s" "ratio"
printf '%-30s %14.3f %14.4f %8s\n' "n = $n_lk, k = $(awk -v n="$n_lk" 'BEGIN { printf "%d", sqrt(n) + 0.5 }')" \
  "$peer_lk" "$ours_lk" "$(awk -v a="$peer_lk" -v b="$ours_lk" 'BEGIN { printf "%.1fx", a / b }')"
