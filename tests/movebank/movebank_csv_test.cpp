// Reading Movebank CSV: timestamps, the row filters and their counts, and errors naming the line.

#include "platform/gdal/movebank_csv.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/error.h"

namespace orvex::platform::gdal {
namespace {

// Expected seconds from Python's calendar.timegm (UTC, no leap seconds).
TEST(MovebankTimestamp, ReadsWholeAndFractionalSecondsInUtc) {
  struct Case {
    const char* text;
    std::int64_t seconds;
    double fraction;
  };
  const Case cases[] = {
      {"2024-05-01 00:00:00", 1714521600, 0.0},
      {"2024-05-01 00:00:00.000", 1714521600, 0.0},
      {"2024-05-01T00:00:00.25Z", 1714521600, 0.25},
      {"2038-01-19 03:14:08", 2147483648, 0.0},  // one past the largest 32-bit value
      {"2040-01-02 03:04:05.999", 2209086245, 0.999},
      {"1969-12-31 23:59:59.5", -1, 0.5},  // before 1970 the fraction still counts forwards
      {"2000-02-29 12:00:00", 951825600, 0.0},
  };
  for (const Case& c : cases) {
    const auto parsed = parseMovebankTimestamp(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->first, c.seconds) << c.text;
    EXPECT_NEAR(parsed->second, c.fraction, 1e-12) << c.text;  // decimal digits summed in double
  }
}

TEST(MovebankTimestamp, RefusesWhatIsNoTime) {
  for (const char* text : {"", "2024-05-01", "2024/05/01 00:00:00", "2024-13-01 00:00:00",
                           "2023-02-29 00:00:00", "2024-05-01 24:00:00", "2024-05-01 00:00:00.",
                           "2024-05-01 00:00:00.5x", "2024-05-01 00:00:00 +02", "05/01/2024 00:00"})
    EXPECT_FALSE(parseMovebankTimestamp(text)) << text;
}

constexpr const char* kHeader =
    "event-id,visible,timestamp,location-long,location-lat,manually-marked-outlier,sensor-type,"
    "tag-local-identifier,individual-local-identifier\n";

struct Read {
  std::vector<MovebankFix> fixes;
  MovebankCounts counts;
};

Read readText(const std::string& body, MovebankReadOptions options = {}) {
  Read read;
  std::istringstream in(kHeader + body);
  readMovebankCsv(in, "test.csv", options, read.fixes, read.counts);
  return read;
}

TEST(MovebankCsv, CountsWhatItLeavesOutAndKeepsRepeatedTimes) {
  const std::string body =
      "1,true,2024-05-01 00:00:00,15,51,,gps,T1,A\n"
      "2,true,2024-05-01 00:00:00,15.1,51,,gps,T1,A\n"    // repeated time: kept
      "3,true,2024-05-01 01:00:00,,,,gps,T1,A\n"          // no coordinates
      "4,false,2024-05-01 02:00:00,15,51,,gps,T1,A\n"     // not visible
      "5,true,2024-05-01 03:00:00,15,51,true,gps,T1,A\n"  // marked outlier
      "6,true,2024-05-01 04:00:00,15,51,,argos-doppler-shift,T1,A\n"
      "7,true,2024-05-01 05:00:00,15,51,,GPS,T2,\n"  // no individual: the tag's
      "\n";
  const Read read = readText(body);
  EXPECT_EQ(read.counts, (MovebankCounts{7, 1, 2, 1}));
  ASSERT_EQ(read.fixes.size(), 3u);
  EXPECT_EQ(read.fixes[1].longitude, 15.1);
  EXPECT_EQ(read.fixes[2].animal, "T2");
  EXPECT_EQ(read.fixes[2].order, 6u);

  MovebankReadOptions keep;
  keep.keepOutliers = true;
  EXPECT_EQ(readText(body, keep).fixes.size(), 5u);
  MovebankReadOptions argos;
  argos.sensor = "Argos-Doppler-Shift";
  EXPECT_EQ(readText(body, argos).fixes.size(), 1u);
}

TEST(MovebankCsv, QuotedCellsHoldCommasQuotesAndLineBreaks) {
  const Read read =
      readText("1,true,2024-05-01 00:00:00,\"15.5\",51,,gps,T1,\"Wolf \"\"A\"\", north\r\npack\"\r\n");
  ASSERT_EQ(read.fixes.size(), 1u);
  EXPECT_EQ(read.fixes[0].animal, "Wolf \"A\", north\npack");
  EXPECT_EQ(read.fixes[0].longitude, 15.5);
}

TEST(MovebankCsv, ErrorsNameTheFileAndLine) {
  struct Case {
    std::string body;
    std::string expected;  // part of the message
  };
  const Case cases[] = {
      {"1,true,2024-05-01 00:00:00,15,51,,gps,T1,A\n2,true,01.05.2024,15,51,,gps,T1,A\n",
       "test.csv:3: \"01.05.2024\" in column \"timestamp\""},
      {"1,true,2024-05-01 00:00:00,15;5,51,,gps,T1,A\n",
       "test.csv:2: \"15;5\" in column \"location-long\" is not a number"},
      {"1,true,2024-05-01 00:00:00,15,91,,gps,T1,A\n",
       "test.csv:2: \"91\" in column \"location-lat\" is outside"},
      {"1,true,2024-05-01 00:00:00,15\n", "test.csv:2: 4 cells where the header names 9 columns"},
      {"1,true,2024-05-01 00:00:00,15,51,,gps,T1,\"A\nB\"\n3,true,x,15,51,,gps,T1,A\n", "test.csv:4:"},
  };
  for (const Case& c : cases) {
    try {
      readText(c.body);
      ADD_FAILURE() << "no error for " << c.body;
    } catch (const host::Error& error) {
      EXPECT_NE(error.description().find(c.expected), std::string::npos) << error.description();
    }
  }
  std::istringstream noTime("event-id,location-long,location-lat,individual-local-identifier\n");
  Read read;
  EXPECT_THROW(readMovebankCsv(noTime, "x.csv", {}, read.fixes, read.counts), host::Error);
}

// The fixture: three animals, 158 rows, 15 of other sensors, 7 outliers or not visible (one
// of them after 2038), 12 GPS rows without coordinates; counted by the script that wrote it.
TEST(MovebankCsv, FixtureOfThreeAnimals) {
  std::ifstream in(std::string(ORVEX_TEST_DATA) + "/movebank_three_animals.csv", std::ios::binary);
  ASSERT_TRUE(in);
  Read read;
  readMovebankCsv(in, "fixture", {}, read.fixes, read.counts);
  EXPECT_EQ(read.counts, (MovebankCounts{158, 15, 7, 12}));
  EXPECT_EQ(read.fixes.size(), 124u);
}

}  // namespace
}  // namespace orvex::platform::gdal
