#include "host/zeroed_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace orvex::host {
namespace {

// Sizes on both sides of the switch from heap blocks to huge-page mappings, and one that ends
// inside a huge page.
TEST(ZeroedPages, EverySizeIsZeroWritableAndAligned) {
  const struct {
    std::size_t bytes;
    bool mapped;
  } cases[] = {{0, false},
               {1, false},
               {kHugePageBytes - 1, false},
               {kHugePageBytes, true},
               {5 * kHugePageBytes + 3, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    ZeroedPages pages(c.bytes);
    EXPECT_EQ(pages.size(), c.bytes);
    EXPECT_EQ(pages.mapped(), c.mapped);
    const auto address = reinterpret_cast<std::uintptr_t>(pages.data());
    EXPECT_EQ(address % (c.mapped ? kHugePageBytes : 64), 0U);
    auto* bytes = static_cast<unsigned char*>(pages.data());
    EXPECT_TRUE(std::all_of(bytes, bytes + c.bytes, [](unsigned char b) { return b == 0; }));
    std::fill(bytes, bytes + c.bytes, 0xA5);  // the whole buffer is ours to write
  }
}

TEST(ZeroedPages, MovingHandsOverTheMemory) {
  ZeroedArray<double> grid(kHugePageBytes);  // 16 MiB: a mapping
  grid.span().back() = 2.5;
  const double* data = grid.data();
  ZeroedArray<double> moved(std::move(grid));
  EXPECT_EQ(moved.data(), data);
  EXPECT_EQ(moved.size(), kHugePageBytes);
  EXPECT_EQ(moved.span().back(), 2.5);
  moved = ZeroedArray<double>(3);
  EXPECT_EQ(moved.size(), 3U);
  EXPECT_EQ(moved.span()[2], 0.0);
}

TEST(ZeroedPages, RefusesSizesBeyondTheAddressSpace) {
  EXPECT_THROW(ZeroedArray<double>(static_cast<std::size_t>(-1) / 4), std::bad_alloc);
  EXPECT_THROW(ZeroedPages(static_cast<std::size_t>(-1) - 10), std::bad_alloc);
}

}  // namespace
}  // namespace orvex::host
