#pragma once
// The dynamic Brownian bridge's s1 (Kranstauber, Kays, LaPoint, Wikelski and Safi 2012): the
// diffusion is estimated in a window sliding along the track, so that the bridge UD can follow
// an animal whose mobility changes.
//
// Window: `window` successive fixes (odd), starting at every fix w = 0 .. n - window. Its
// observations are its fixes at odd offsets (w + 1, w + 3, ..., w + window - 2), each under the
// bridge between its two neighbours, as bridge_likelihood.h states the likelihood (a triplet
// across a gap longer than max_gap, or with T = 0, is left out).
//
// Break-point analysis: a candidate break is a fix at an even offset k of the window with
// margin - 1 <= k <= window - margin, so that each side holds at least `margin` fixes. The
// part before it is fixes w .. w + k, the part after it w + k .. w + window - 1: they share the
// break fix as a bridge end and split the window's observations between them. Each side gets
// its own maximum-likelihood s1 (the two-parameter model) against one s1 for the whole window,
// and the model of least BIC = -2 log L + p ln(window) is chosen (p = 1 or 2; the sample size is
// the window's number of fixes, as R move counts it). Among breaks of equal BIC the earliest
// wins; a break wins over the whole window only with a strictly lower BIC. A candidate with a
// side that holds no triplet is passed by; a window that holds none is left out.
//
// Per-fix s1: a window gives a value to the fixes at offsets margin - 1 .. window - margin - 1,
// where each value stands for the interval that starts at that fix: the chosen model's s1 of
// the side that interval lies in (offsets below the break the side before it, the others the
// side after it). A fix's s1^2 is the mean, in window order, of the s1^2 the windows give it.
// The first margin - 1 and the last margin fixes get no value from any window (nor any fix whose
// every window was left out): each takes the value of the nearest fix before it that has one,
// and the leading ones that of the first fix that has one, so that every interval carries a
// bridge. (R move leaves those fixes without a value, and its UD leaves out every interval
// whose first fix is covered by fewer windows than the most; `windows` lets a caller do so.)
//
// Per-interval s1: the interval (i, i + 1) takes the s1 of its first fix i, the convention of
// R move, whose per-fix variance stands for the interval that follows the fix.
//
// Cost: the sides and windows are parts of the track that start at some fix and hold one of
// P = (window - 2 margin + 1) / 2 + 2 lengths (the candidate side lengths and the window), and
// the two sides of one window's break are the sides of others'. Each part's maximum is found
// once, by the search of estimate_sigma1 (some 50 likelihood evaluations on at most
// (window - 1) / 2 observations), so the time is O(n P window) and the memory O(n P): about 7 n
// maxima for window 31 and margin 11, some seconds on 100,000 fixes. The parts are cut into a
// fixed number of chunks of starting fixes, and the windows are then combined in order on the
// calling thread: the results are the same bits with any number of threads.

#include <cstddef>
#include <vector>

#include "range/bridge/bridge_track.h"

namespace orvex::range {

struct DynamicOptions {
  std::size_t window = 31;     ///< fixes in a window: odd, more than 2 x margin
  std::size_t margin = 11;     ///< fixes a break keeps from either end of its window: odd, >= 3
  double max_gap = kNoMaxGap;  ///< seconds; a triplet across a longer interval is no observation
  unsigned threads = 0;        ///< 0: one per processor; the results never depend on it
};

/// The break a window chose, for reporting.
struct WindowBreak {
  std::size_t window_start = 0;  ///< the window's first fix
  std::size_t fix = 0;           ///< the break fix: intervals from it on take sigma1_after
  double sigma1_before = 0.0;
  double sigma1_after = 0.0;
};

struct DynamicSigma1 {
  std::vector<double> sigma1_per_fix;       ///< n values: the root of the mean s1^2 of the header
  std::vector<std::size_t> windows;         ///< per fix, the windows that gave it a value (0: filled in)
  std::vector<double> sigma1_per_interval;  ///< n - 1 values, for BridgeOptions::sigma1_per_interval
  std::vector<WindowBreak> breaks;          ///< the windows that chose a break, in window order
  std::size_t windows_used = 0;             ///< windows that held a triplet
};

/// The dynamic s1 of `track`. Throws std::invalid_argument for a window or margin that is even,
/// a margin below 3, a window not longer than twice the margin, a bad max_gap, a track that
/// check_track refuses or that has fewer fixes than the window (the message says how many are
/// needed), and when no window holds a triplet. Throws std::bad_alloc when the parts' maxima do
/// not fit.
DynamicSigma1 estimate_dynamic_sigma1(const BridgeTrack& track, const DynamicOptions& options);

}  // namespace orvex::range
