#pragma once

namespace orvex::ui::gis {

/// Constants of the kernel formulas, written to the digits the kernel tool has always used
/// (not derived from pi), so that scores and densities stay comparable with earlier results.
inline constexpr double kTwoPi = 6.28318530717958;
inline constexpr double kFourPi = 12.56637061435916;
inline constexpr double kPi = 3.14159265358979;
/// Lowest argument the guarded exponential evaluates; below it the result is 0.
inline constexpr double kExpFloor = -1000.0;
/// Base used by NaturalLog: the truncated value of e that the kernel tool divides by.
inline constexpr double kTruncatedE = 2.718281828;
/// What GuardedLog returns for a non-positive argument.
inline constexpr double kLogOfNonPositive = -3.4e-300;

/// exp(t) for t >= -1000, 0 below (and for t = NaN, exp(NaN) = NaN).
double GuardedExp(double t);

/// Bivariate normal kernel K(u) = e(-u^2 / 2) / 6.28318530717958, e the guarded exponential.
double NormalKernel(double u);

/// The normal kernel convolved with itself, K2(u) = e(-u^2 / 4) / 12.56637061435916.
double ConvolvedKernel(double u);

/// Euclidean distance of (x1, y1) and (x2, y2): sqrt(dx^2 + dy^2).
double PairDistance(double x1, double y1, double x2, double y2);

/// log(x) / log(2.718281828): the natural logarithm as the kernel tool forms it (it differs
/// from std::log by a relative 1.7e-10). Non-positive x gives -inf or NaN as std::log does.
double NaturalLog(double x);

/// NaturalLog(x) for x > 0, else -3.4e-300 (the adaptive kernel's guard against a zero pilot
/// density, which cannot occur because every fix counts itself).
double GuardedLog(double x);

}  // namespace orvex::ui::gis
