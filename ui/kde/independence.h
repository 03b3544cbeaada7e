#pragma once
// Indices of independence of successive fixes, as the KDE dialog's independence table shows
// them: Schoener's ratio and the Swihart and Slade index, computed from one animal's fixes in
// reading order.

#include <span>

#include "ui/kde/kde_math.h"

namespace orvex::ui {

/// Schoener's ratio t^2 / r^2 of fixes p_0 .. p_(n-1):
///   r^2 = sum_i ((x_i - mean x)^2 + (y_i - mean y)^2) / (n - 1)
///   t^2 = sum_(i=0..n-2) ((x_i - x_(i+1))^2 + (y_i - y_(i+1))^2) / (n - 1)
/// Both sums share the divisor n - 1, so the ratio is the plain ratio of the two sums.
/// Fewer than 2 fixes, or fixes that all coincide (r^2 = 0), give NaN: the ratio is undefined.
double SchoenerRatio(std::span<const CoordPair> points);

/// Swihart and Slade index of fixes p_0 .. p_(n-1), over the n - 1 successive pairs
/// (p_i, p_(i+1)): corr(x_i, x_(i+1)) + corr(y_i, y_(i+1)) + |corr(x_i, y_(i+1))| +
/// |corr(y_i, x_(i+1))|, each correlation taken with the means of the n - 1 leading and the
/// n - 1 lagging values. Fewer than 3 fixes, or a coordinate that does not vary over the
/// leading or lagging values, give NaN (a correlation with a zero variance is undefined).
double SwihartSladeIndex(std::span<const CoordPair> points);

}  // namespace orvex::ui
