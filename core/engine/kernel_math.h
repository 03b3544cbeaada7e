#pragma once
// The bivariate normal kernel and the guarded exponential and logarithm the engine uses.

#include <cmath>

namespace orvex::core {

inline constexpr double kPi = 3.141592653589793;

/// Arguments below this give 0 from guarded_exp. exp() of anything below about -745 is 0 in
/// double precision anyway; the guard only spares the call.
inline constexpr double kExpGuard = -1000.0;

/// exp(a), or 0 for a below -1000.
inline double guarded_exp(double a) { return a < kExpGuard ? 0.0 : std::exp(a); }

/// log(a), or 0 when a is not positive (so a zero estimate counts as a neutral factor).
inline double guarded_log(double a) { return a > 0.0 ? std::log(a) : 0.0; }

/// The bivariate normal kernel at scaled distance u: exp(-u*u/2) / (2*pi).
inline double normal_kernel(double u) { return guarded_exp(-u * u / 2.0) / (2.0 * kPi); }

/// The divisor stdize scales an axis by: its standard deviation, or 1 when it has none, since a
/// coordinate shared by every fix cannot be brought to any variance. The UD's return to map
/// units uses the same divisor.
inline double usable_sd(double sd) { return (sd > 0.0 && std::isfinite(sd)) ? sd : 1.0; }

}  // namespace orvex::core
