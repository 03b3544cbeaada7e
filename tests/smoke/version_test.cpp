#include <gtest/gtest.h>

#include <string_view>

#include "host/version.h"

extern "C" const char* orvexhost_version();

TEST(Version, LibraryReportsTheBuildVersion) {
  EXPECT_EQ(std::string_view(orvexhost_version()), orvex::kVersion);
}
