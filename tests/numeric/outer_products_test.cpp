// Sums of outer products against the plain loop they replace.

#include "numeric/outer_products.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orvex::numeric {
namespace {

TEST(OuterProducts, EqualTheInOrderLoopBitForBitOnEveryInstructionSet) {
  // Rows and columns below, at and past one block; weights over many binades and of both signs.
  const struct {
    std::size_t count, rows, columns;
  } cases[] = {{1, 1, 1}, {9, 7, 3}, {40, 32, 4}, {23, 45, 9}, {64, 70, 12}};
  for (const auto& c : cases) {
    const std::size_t stride = (c.rows / kOuterProductRows + 1) * kOuterProductRows + kOuterProductColumns;
    std::vector<double> a(c.count * stride, 0.0);
    std::vector<double> b(c.count * stride, 0.0);
    for (std::size_t j = 0; j < c.count; ++j) {
      const auto jd = static_cast<double>(j);
      for (std::size_t r = 0; r < c.rows; ++r) {
        const auto rd = static_cast<double>(r);
        a[j * stride + r] = std::sin(1.0 + 7.0 * jd + rd) * std::exp(-0.3 * rd);
      }
      for (std::size_t k = 0; k < c.columns; ++k) {
        const auto kd = static_cast<double>(k);
        b[j * stride + k] = std::cos(2.0 + 3.0 * jd + kd) / (1.0 + kd);
      }
    }
    const std::size_t out_stride = stride;
    const std::size_t out_columns = (c.columns / kOuterProductColumns + 1) * kOuterProductColumns;
    // Expected: each product rounded and added in order j, then the sum added to the start value.
    std::vector<double> expected(out_columns * out_stride, 0.5);
    for (std::size_t k = 0; k < c.columns; ++k) {
      for (std::size_t r = 0; r < c.rows; ++r) {
        double sum = 0.0;
        for (std::size_t j = 0; j < c.count; ++j) sum += b[j * stride + k] * a[j * stride + r];
        expected[k * out_stride + r] += sum;
      }
    }
    for (const SimdLevel level : {SimdLevel::baseline, SimdLevel::avx2, SimdLevel::avx512f}) {
      std::vector<double> out(out_columns * out_stride, 0.5);
      add_outer_products(a.data(), b.data(), c.count, stride, c.rows, c.columns, out.data(), out_stride,
                         level);
      ASSERT_EQ(out, expected) << c.count << " x " << c.rows << " x " << c.columns << ", level "
                               << static_cast<int>(level);
    }
  }
}

}  // namespace
}  // namespace orvex::numeric
