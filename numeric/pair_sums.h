#pragma once
// Sums over every pair of fixes of a Gaussian pair term, for many bandwidths at once: the
// O(n^2) loop of the cross-validation scores of both component libraries.
//
// Exact sums: every pair (i, j), i < j, with the fixes taken in order of x. Pairs are cut into
// chunks of whole rows (numeric/pair_chunks.h); within a chunk the squared distances are formed
// a block at a time, pair k of the chunk's kept pairs going to lane k mod 8 of a vector of sums
// per bandwidth, the lanes added in lane order at the end and the chunks in chunk order. The
// exponential is numeric/vector_exp.h's. So the sums are the same bits whatever the number of
// threads or the instruction set. Nothing of size n^2 is stored.
//
// Moment sums: the same sums from the pair moments (numeric/pair_moments.h), with a bound on
// their error.

#include <cstdint>
#include <functional>
#include <span>

#include "numeric/pair_moments.h"
#include "numeric/simd_level.h"

namespace orvex::numeric {

/// The closed set of pair terms, as functions of u2 = d^2 * s (d the pair distance, s the
/// bandwidth's scale, 1 / h^2 for both scores):
enum class PairTerm {
  /// e - 4 e^2, e = exp(-u2 / 4): the LSCV score's K2(u) - 2 K(u) without its 1 / (4 pi).
  /// Where u2 / 4 > 40, 4 e^2 is below a quarter of an ulp of e and the term is e itself.
  lscv,
  /// exp(-u2 / 2) (u2^2 - 8 u2 + 8): the BCV2 score's pair term.
  bcv2,
};

/// Terms whose exponent argument (u2 / 4 for lscv, u2 / 2 for bcv2) lies beyond this are
/// dropped: exp(-708) ~ 3.3e-308 is the last normal result, and smaller terms would be
/// subnormal arithmetic that cannot move a sum by an ulp.
inline constexpr double kLastNormalExponent = 708.0;

/// How the exact sums are cut and run.
struct PairSumOptions {
  /// Pairs per chunk (raised so that no fix set has more than kMaxPairChunks chunks).
  std::uint64_t chunk_pairs = std::uint64_t{1} << 18;
  /// Threads; 0 means one per hardware thread. Results never depend on it.
  unsigned threads = 0;
  /// Instruction set (capped at what the processor runs). Every level gives the same bits.
  SimdLevel level = best_simd_level();
};

/// Upper bound on the chunks of one pass, which bounds the per-chunk partial sums in memory.
inline constexpr std::uint64_t kMaxPairChunks = 16384;

/// sums[m] = the sum over the unordered pairs of the fixes (x[i], y[i]) of term(d^2 *
/// scales[m]) (same sizes; scales in any order, positive). A scale of +infinity gives NaN for a
/// repeated position (0 times infinity), as the formula does. Fewer than 2 fixes give 0.
/// `progress` is called on the calling thread between groups of chunks; when it returns false
/// the pass stops and false is returned (the sums are then unset).
bool pair_term_sums(PairTerm term, std::span<const double> x, std::span<const double> y,
                    std::span<const double> scales, std::span<double> sums, const PairSumOptions& options,
                    const ProgressCallback& progress = {});

/// A pair sum from the moments, and a bound on its error.
struct PairSumEstimate {
  double sum;
  double error;
};

/// The pair sum of pair_term_sums at scale 1 / h^2 from pair moments built for beta up to
/// scale / 2 and down to scale / 4 (lscv) or scale / 2 (bcv2). The error bound is a thousand
/// times the moments' own (about 1e-15 of each positive Gaussian sum), taken over the sum's
/// positive parts, so that a comparison it calls clear-cut is one.
PairSumEstimate pair_term_sum_from_moments(PairTerm term, const PairMoments& moments, double scale);

}  // namespace orvex::numeric
