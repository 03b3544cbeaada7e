// The comma-separated number lists of the forms: the MCP options and the kernel bandwidth page
// (leading numbers, a final comma ignored) and the KDE dialog (whole numbers only).

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "host/number_list.h"

namespace orvex::host {
namespace {

struct ListCase {
  const char* text;
  std::vector<double> values;  // empty: no list
  const char* error;           // expected error text when no list
};

class NumberListCases : public ::testing::TestWithParam<ListCase> {};

TEST_P(NumberListCases, ParsesAsDocumented) {
  const ListCase& c = GetParam();
  const NumberList list = parseNumberList(c.text);
  // Exact comparison: every piece is a short decimal that strtod reads to the same double.
  EXPECT_EQ(list.values, c.values) << "text: [" << c.text << "]";
  EXPECT_EQ(list.count(), static_cast<int>(c.values.size()));
  EXPECT_EQ(list.errorText, c.error) << "text: [" << c.text << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberListCases,
    ::testing::Values(ListCase{"95", {95.0}, ""}, ListCase{"95 , 90 ,", {95.0, 90.0}, ""},
                      ListCase{"  95,90,50  ", {95.0, 90.0, 50.0}, ""},
                      ListCase{"95,90, \t", {95.0, 90.0}, ""}, ListCase{"0.5,1.25e1", {0.5, 12.5}, ""},
                      ListCase{"-3, +4", {-3.0, 4.0}, ""},
                      // Pieces read as their numeric prefix, 0 without one.
                      ListCase{"95x,abc", {95.0, 0.0}, ""}, ListCase{"1,2.5.6", {1.0, 2.5}, ""},
                      // Nothing left once trimmed and the final comma is gone.
                      ListCase{"", {}, "No data entered"}, ListCase{"   ", {}, "No data entered"},
                      ListCase{",", {}, "No data entered"}, ListCase{" , ", {}, "No data entered"},
                      // Only one final comma is dropped: the next one leaves an empty piece.
                      ListCase{"95,,", {}, "Text entered () is not a valid numeric value"},
                      ListCase{"95,,90", {}, "Text entered () is not a valid numeric value"},
                      ListCase{",95", {}, "Text entered () is not a valid numeric value"},
                      ListCase{"95, ,90", {}, "Text entered () is not a valid numeric value"}));

// The KDE dialog's lists: any piece that is not wholly a number, a final comma included,
// refuses the whole list.
class WholeNumberListCases : public ::testing::TestWithParam<ListCase> {};

TEST_P(WholeNumberListCases, ParsesAsDocumented) {
  const ListCase& c = GetParam();
  const NumberList list = parseNumberList(c.text, kWholeNumberList);
  EXPECT_EQ(list.values, c.values) << "text: [" << c.text << "]";
  EXPECT_EQ(list.errorText, c.error) << "text: [" << c.text << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WholeNumberListCases,
    ::testing::Values(ListCase{" 0.5 , 1,2e1 ", {0.5, 1.0, 20.0}, ""}, ListCase{"-3", {-3.0}, ""},
                      ListCase{"", {}, "No data entered"}, ListCase{"  ", {}, "No data entered"},
                      ListCase{"95,", {}, "Text entered () is not a valid numeric value"},
                      ListCase{",", {}, "Text entered () is not a valid numeric value"},
                      ListCase{"95x,90", {}, "Text entered (95x) is not a valid numeric value"},
                      ListCase{"95,abc", {}, "Text entered (abc) is not a valid numeric value"}));

TEST(NumberList, IgnoresADecimalCommaLocale) {
  // A process locale with a decimal comma must not change how "0.5" reads.
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
  const NumberList list = parseNumberList("0.5, 2.25");
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(list.values, (std::vector<double>{0.5, 2.25}));
}

}  // namespace
}  // namespace orvex::host
