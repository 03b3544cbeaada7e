#include "range/bridge/triplet_likelihood.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace orvex::range {

namespace {

constexpr std::size_t kScanPoints = 33;
// Lower end of the scan, relative to its upper end, when some observation alone would ask for s1 = 0.
constexpr double kScanDepth = 1e-9;

// Brent's minimisation of f on [lo, hi] from x (f(x) below f at both ends), until x is known
// to within tol.
template <typename F>
double brent_minimum(const F& f, double lo, double hi, double x, double tol) {
  const double golden = 0.5 * (3.0 - std::sqrt(5.0));
  double w = x;
  double v = x;
  double fx = f(x);
  double fw = fx;
  double fv = fx;
  double d = 0.0;
  double e = 0.0;
  for (int iteration = 0; iteration < 200; ++iteration) {
    const double m = 0.5 * (lo + hi);
    if (std::abs(x - m) <= 2.0 * tol - 0.5 * (hi - lo)) break;
    bool parabolic = false;
    if (std::abs(e) > tol) {
      double r = (x - w) * (fx - fv);
      double q = (x - v) * (fx - fw);
      double p = (x - v) * q - (x - w) * r;
      q = 2.0 * (q - r);
      if (q > 0.0) p = -p;
      q = std::abs(q);
      if (std::abs(p) < std::abs(0.5 * q * e) && p > q * (lo - x) && p < q * (hi - x)) {
        e = d;
        d = p / q;
        const double u = x + d;
        if (u - lo < 2.0 * tol || hi - u < 2.0 * tol) d = x < m ? tol : -tol;
        parabolic = true;
      }
    }
    if (!parabolic) {
      e = (x < m ? hi : lo) - x;
      d = golden * e;
    }
    const double u = std::abs(d) >= tol ? x + d : x + (d > 0.0 ? tol : -tol);
    const double fu = f(u);
    if (fu <= fx) {
      (u < x ? hi : lo) = x;
      v = w;
      fv = fw;
      w = x;
      fw = fx;
      x = u;
      fx = fu;
    } else {
      (u < x ? lo : hi) = u;
      if (fu <= fw || w == x) {
        v = w;
        fv = fw;
        w = u;
        fw = fu;
      } else if (fu <= fv || v == x || v == w) {
        v = u;
        fv = fu;
      }
    }
  }
  return x;
}

}  // namespace

std::optional<Triplet> triplet_at(const BridgeTrack& track, std::size_t i, double max_gap) {
  const double before = track.t[i] - track.t[i - 1];
  const double after = track.t[i + 1] - track.t[i];
  const double total = track.t[i + 1] - track.t[i - 1];
  if (total == 0.0 || before > max_gap || after > max_gap) return std::nullopt;
  const double a = before / total;
  const double ea = track.sigma2_at(i - 1);
  const double eb = track.sigma2_at(i + 1);
  const double dx = track.x[i] - (track.x[i - 1] + a * (track.x[i + 1] - track.x[i - 1]));
  const double dy = track.y[i] - (track.y[i - 1] + a * (track.y[i + 1] - track.y[i - 1]));
  return Triplet{total * a * (1.0 - a), (1.0 - a) * (1.0 - a) * ea * ea + a * a * eb * eb,
                 0.5 * (dx * dx + dy * dy)};
}

double triplets_log_likelihood(std::span<const Triplet> triplets, double sigma1) {
  const double u = sigma1 * sigma1;
  double sum = 0.0;
  for (const Triplet& t : triplets) {
    const double v = t.b * u + t.c;
    sum += -std::log(2.0 * std::numbers::pi * v) - t.e / v;
  }
  return sum;
}

TripletMaximum maximise_triplets(std::span<const Triplet> triplets, std::vector<LikelihoodPoint>* profile) {
  TripletMaximum maximum;
  auto at_zero = [&] {
    maximum.at_zero = true;
    maximum.log_likelihood = triplets_log_likelihood(triplets, 0.0);
    if (profile != nullptr) profile->push_back({0.0, maximum.log_likelihood});
    return maximum;
  };
  double u_lo = std::numeric_limits<double>::infinity();
  double u_hi = -std::numeric_limits<double>::infinity();
  for (const Triplet& t : triplets) {
    if (t.b <= 0.0) continue;  // a fix at a bridge end: its density does not depend on s1
    u_lo = std::min(u_lo, (t.e - t.c) / t.b);
    u_hi = std::max(u_hi, (t.e - t.c) / t.b);
  }
  if (!(u_hi > 0.0)) return at_zero();  // every observation asks for the least s1 (or none depends on it)
  const bool open_below = !(u_lo > 0.0);
  // Scanned in w = log s1, one step beyond the range at each end so that the bracket has room.
  const double w_hi = 0.5 * std::log(u_hi) + std::numbers::ln2;
  const double w_lo = open_below ? w_hi + std::log(kScanDepth) : 0.5 * std::log(u_lo) - std::numbers::ln2;
  auto negative = [&](double w) {
    const double s = std::exp(w);
    const double value = triplets_log_likelihood(triplets, s);
    if (profile != nullptr) profile->push_back({s, value});
    return -value;
  };
  double ws[kScanPoints];
  std::size_t best = 0;
  double best_value = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < kScanPoints; ++k) {
    ws[k] = w_lo + (w_hi - w_lo) * static_cast<double>(k) / static_cast<double>(kScanPoints - 1);
    const double value = negative(ws[k]);
    if (value < best_value) {
      best_value = value;
      best = k;
    }
  }
  if (best == 0 && open_below) return at_zero();
  const double lo = ws[best == 0 ? 0 : best - 1];
  const double hi = ws[std::min(best + 1, kScanPoints - 1)];
  // Brent places x within about 2 tol: a quarter of the tolerance in log s1 leaves room.
  const double w = brent_minimum(negative, lo, hi, ws[best], 0.25 * kSigma1Tolerance);
  maximum.sigma1 = std::exp(w);
  maximum.log_likelihood = triplets_log_likelihood(triplets, maximum.sigma1);
  return maximum;
}

}  // namespace orvex::range
