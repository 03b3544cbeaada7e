// The .dbf number-field rule the polygon outputs share. Expected widths are the lengths of the
// "%.*f" texts, counted by hand.

#include "core/data/shapefile_output.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using orvex::core::fitNumberFormat;
using orvex::core::NumberFormat;

TEST(NumberFormatFit, WidensOnlyWhenTheTextWouldNotFit) {
  const NumberFormat asked{20, 12};
  EXPECT_EQ(fitNumberFormat(asked, 9999999.0), asked);  // "9999999.000000000000": 20
  EXPECT_EQ(fitNumberFormat(asked, 10000000.0), (NumberFormat{21, 12}));
  EXPECT_EQ(fitNumberFormat(asked, -4e12), (NumberFormat{27, 12}));  // sign counts
  EXPECT_EQ(fitNumberFormat(asked, std::nan("")), asked);            // stored as null
  // Past the widest .dbf field, decimals are given up before any digit of the whole part.
  // The double nearest 1e250 lies just below it: 250 digits, ".", 3 decimals.
  EXPECT_EQ(fitNumberFormat(asked, 1e250), (NumberFormat{254, 3}));
  EXPECT_EQ(fitNumberFormat(asked, 1e300), (NumberFormat{254, 0}));
}

}  // namespace
