#include "numeric/zeroed_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace orvex::numeric {
namespace {

// Sizes from empty to a block large enough to come from fresh pages.
TEST(ZeroedArray, EverySizeIsZeroAndWritable) {
  for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{1} << 22}) {
    SCOPED_TRACE(count);
    ZeroedArray<double> values(count);
    EXPECT_EQ(values.size(), count);
    EXPECT_TRUE(std::all_of(values.span().begin(), values.span().end(), [](double v) { return v == 0.0; }));
    std::fill(values.span().begin(), values.span().end(), 2.5);  // the whole buffer is ours to write
  }
}

TEST(ZeroedArray, MovingHandsOverTheMemory) {
  ZeroedArray<double> grid(1000);
  grid.span().back() = 2.5;
  const double* data = grid.data();
  ZeroedArray<double> moved(std::move(grid));
  EXPECT_EQ(moved.data(), data);
  EXPECT_EQ(moved.span().back(), 2.5);
  moved = ZeroedArray<double>(3);
  EXPECT_EQ(moved.size(), 3U);
  EXPECT_EQ(moved.span()[2], 0.0);
}

TEST(ZeroedArray, RefusesSizesBeyondTheAddressSpace) {
  EXPECT_THROW(ZeroedArray<double>(static_cast<std::size_t>(-1) / 4), std::bad_alloc);
}

}  // namespace
}  // namespace orvex::numeric
