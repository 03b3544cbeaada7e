#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "host/error.h"
#include "host/row.h"
#include "host/text.h"
#include "host/value.h"
#include "support/host_status.h"

namespace orvex::host {
namespace {

using test::errorNumberOf;

TEST(ValueConversion, Int32RoundsHalvesToEvenAndChecksRange) {
  EXPECT_EQ(Value(2.5).toInt32(), 2);
  EXPECT_EQ(Value(3.5).toInt32(), 4);
  EXPECT_EQ(Value(-2.5).toInt32(), -2);
  EXPECT_EQ(Value(-3.5).toInt32(), -4);
  EXPECT_EQ(Value(2147483647.4).toInt32(), 2147483647);
  EXPECT_EQ(Value(-2147483648.0).toInt32(), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(errorNumberOf([] { Value(2147483647.5).toInt32(); }), error_number::kOverflow);
  EXPECT_EQ(errorNumberOf([] { Value(std::nan("")).toInt32(); }), error_number::kOverflow);
  EXPECT_EQ(Value(" 41.5 ").toInt32(), 42);
}

// Whole seconds past 2038 (2^31) and the ends of the 64-bit range stay exact; the 32-bit
// conversion refuses what does not fit, the 64-bit one rounds doubles half to even.
TEST(ValueConversion, Int64HoldsWholeNumbersPastThe32BitRange) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const Value time(std::int64_t{2209086246});  // 2040-01-02T03:04:06Z
  EXPECT_EQ(time.type(), ValueType::Int64);
  EXPECT_TRUE(time.isNumeric());
  EXPECT_EQ(time.toInt64(), 2209086246);
  EXPECT_EQ(time.toText(), "2209086246");
  EXPECT_EQ(time.toDouble(), 2209086246.0);  // exact: below 2^53
  EXPECT_EQ(errorNumberOf([&] { time.toInt32(); }), error_number::kOverflow);
  EXPECT_EQ(Value(std::int64_t{-7}).toInt32(), -7);
  EXPECT_EQ(Value(kMax).toText(), "9223372036854775807");
  EXPECT_EQ(Value(kMax).toInt64(), kMax);  // not through a double, which would round it up
  EXPECT_EQ(Value(41).toInt64(), 41);
  EXPECT_EQ(Value(2.5).toInt64(), 2);
  EXPECT_EQ(Value(" 2209086246 ").toInt64(), 2209086246);
  EXPECT_EQ(errorNumberOf([] { Value(9.3e18).toInt64(); }), error_number::kOverflow);
  EXPECT_EQ(errorNumberOf([] { Value().toInt64(); }), error_number::kInvalidUseOfNull);
  EXPECT_NE(Value(std::int64_t{1}), Value(1));  // different types are different values
}

TEST(ValueConversion, EmptyIsNullForEveryConversion) {
  const Value empty;
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(errorNumberOf([&] { empty.toDouble(); }), error_number::kInvalidUseOfNull);
  EXPECT_EQ(errorNumberOf([&] { empty.toInt32(); }), error_number::kInvalidUseOfNull);
  EXPECT_EQ(errorNumberOf([&] { empty.toText(); }), error_number::kInvalidUseOfNull);
}

TEST(ValueConversion, TextMustHoldAWholeNumber) {
  EXPECT_DOUBLE_EQ(Value("12.5").toDouble(), 12.5);
  EXPECT_DOUBLE_EQ(Value("  -7e2 ").toDouble(), -700.0);
  EXPECT_EQ(errorNumberOf([] { Value("12abc").toDouble(); }), error_number::kTypeMismatch);
  EXPECT_EQ(errorNumberOf([] { Value("").toDouble(); }), error_number::kTypeMismatch);
}

TEST(ValueConversion, TextForms) {
  EXPECT_EQ(Value(42).toText(), "42");
  EXPECT_EQ(Value(0.1).toText(), "0.1");
  EXPECT_EQ(Value(2.0).toText(), "2");
  EXPECT_EQ(Value("as is ").toText(), "as is ");
  EXPECT_EQ(Value(Date::fromCivil({2009, 6, 1, 13, 5, 9})).toText(), "2009-06-01T13:05:09");
  EXPECT_EQ(Value(Date::fromCivil({2009, 6, 1})).toText(), "2009-06-01");
}

TEST(ValueConversion, AccessorsMatchTheStoredType) {
  EXPECT_NE(Value(1).int32(), nullptr);
  EXPECT_EQ(Value(1).real(), nullptr);
  EXPECT_TRUE(Value(1.0).isNumeric());
  EXPECT_FALSE(Value("1").isNumeric());
  EXPECT_TRUE(Value("1").isText());
  EXPECT_NE(Value(1), Value(1.0));  // different types are different values
}

// Expected values: Unix time of the dates (date -u -d ... +%s) and the serial day numbers of
// desktop databases (day 0 = 1899-12-30).
TEST(DateValue, CivilAndUnixSecondsAgree) {
  EXPECT_EQ(Date::fromCivil({1970, 1, 1}).unixSeconds(), 0.0);
  EXPECT_EQ(Date::fromCivil({2000, 3, 1}).unixSeconds(), 951868800.0);
  EXPECT_EQ(Date::fromCivil({1969, 12, 31, 23, 59, 59}).unixSeconds(), -1.0);
  const CivilTime civil{2011, 7, 14, 6, 30, 15.25};
  EXPECT_EQ(Date::fromCivil(civil).toCivil(), civil);
}

TEST(DateValue, RefusesImpossibleDates) {
  EXPECT_NO_THROW(Date::fromCivil({2000, 2, 29}));
  EXPECT_THROW(Date::fromCivil({1900, 2, 29}), Error);
  EXPECT_THROW(Date::fromCivil({2001, 13, 1}), Error);
  EXPECT_THROW(Date::fromCivil({2001, 4, 31}), Error);
}

TEST(DateValue, OleSerialBothSidesOfDayZero) {
  EXPECT_EQ(Date::fromOleSerial(25569.0).unixSeconds(), 0.0);
  EXPECT_EQ(Date::fromOleSerial(0.0).toCivil(), (CivilTime{1899, 12, 30}));
  // Before day 0 the fraction still runs forwards: -1.25 is 1899-12-29 06:00.
  EXPECT_EQ(Date::fromOleSerial(-1.25).toCivil(), (CivilTime{1899, 12, 29, 6, 0, 0}));
  for (double serial : {-1.25, -2.75, -1.0, 0.5, 40000.125})
    EXPECT_DOUBLE_EQ(Date::fromOleSerial(serial).oleSerial(), serial) << serial;
}

TEST(DateValue, Iso8601) {
  EXPECT_EQ(Date::parseIso8601("2009-06-01"), Date::fromCivil({2009, 6, 1}));
  EXPECT_EQ(Date::parseIso8601("2009-06-01T13:05"), Date::fromCivil({2009, 6, 1, 13, 5, 0}));
  EXPECT_EQ(Date::parseIso8601("2009-06-01 13:05:09.5"), Date::fromCivil({2009, 6, 1, 13, 5, 9.5}));
  EXPECT_FALSE(Date::parseIso8601("2009-02-30"));
  EXPECT_FALSE(Date::parseIso8601("2009-06-01X13:05"));
  EXPECT_FALSE(Date::parseIso8601("09-06-01"));
  // 12:59:59.6 rounds to the next whole second in the text form.
  EXPECT_EQ(Date::fromCivil({2009, 6, 1, 12, 59, 59.6}).toIso8601(), "2009-06-01T13:00:00");
}

TEST(NumberText, ShortestTextThatReadsBack) {
  EXPECT_EQ(numberText(0.1), "0.1");
  EXPECT_EQ(numberText(1234.5), "1234.5");
  EXPECT_EQ(numberText(-0.0), "0");
  EXPECT_EQ(numberText(1e20), "1e+20");
  EXPECT_EQ(numberText(std::nan("")), "NaN");
  EXPECT_EQ(numberText(-std::numeric_limits<double>::infinity()), "-Infinity");
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(-1e6, 1e6);
  for (int i = 0; i < 1000; ++i) {
    const double x = uniform(random);
    EXPECT_EQ(*parseNumber(numberText(x)), x);
  }
}

TEST(NumberText, PrefixParsingFollowsTheStandardConversion) {
  EXPECT_EQ(parseNumberPrefix("abc"), 0.0);
  EXPECT_EQ(parseNumberPrefix("95x"), 95.0);
  EXPECT_EQ(parseNumberPrefix("  -1.5e2 apples"), -150.0);
  EXPECT_EQ(parseNumberPrefix("1e"), 1.0);  // an exponent without digits is not part of it
  EXPECT_EQ(parseNumberPrefix(".5"), 0.5);
  EXPECT_EQ(parseNumberPrefix("0x10"), 0.0);  // decimal only
  EXPECT_EQ(parseNumberPrefix("-"), 0.0);
  EXPECT_EQ(parseNumberPrefix("92.7"), 92.7);
}

TEST(NumberText, WholeTextNumbers) {
  EXPECT_EQ(parseNumber(" 42 "), 42.0);
  EXPECT_FALSE(parseNumber("42 x"));
  EXPECT_FALSE(parseNumber(""));
  EXPECT_FALSE(parseNumber("inf"));
  EXPECT_TRUE(isNumeric("-0.5"));
  EXPECT_FALSE(isNumeric("1,5"));
}

// The design's printf formats must not follow a decimal-comma locale.
TEST(NumberText, FormattingAndParsingIgnoreTheLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  EXPECT_EQ(cformat("%0.1f", 0.5), "0.5");
  EXPECT_EQ(cformat("%10.2f%%", 12.345), "     12.35%");
  EXPECT_EQ(parseNumber("0.5"), 0.5);
  EXPECT_EQ(numberText(0.5), "0.5");
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(NumberText, FormatsLongTextWithoutTruncation) {
  const std::string long_text(5000, 'x');
  EXPECT_EQ(cformat("%s!", long_text.c_str()).size(), 5001u);
}

TEST(Rounding, HalfEven) {
  EXPECT_EQ(roundHalfEven(0.5), 0.0);
  EXPECT_EQ(roundHalfEven(1.5), 2.0);
  EXPECT_EQ(roundHalfEven(-0.5), -0.0);
  EXPECT_EQ(roundHalfEven(2.4999), 2.0);
  // 10 m in 10 s in miles per hour: 10 * 3.28 / 5280 / (10 / 3600) = 2.2363636..., shown to six
  // places as 2.236364 (worked example of the observation-fields tool).
  EXPECT_DOUBLE_EQ(roundHalfEven(10 * 3.28 / 5280 / (10.0 / 3600), 6), 2.236364);
  EXPECT_DOUBLE_EQ(roundHalfEven(0.125, 2), 0.12);
  EXPECT_DOUBLE_EQ(roundHalfEven(0.375, 2), 0.38);
  EXPECT_EQ(roundHalfEven(1e300, 6), 1e300);  // too large to carry decimals: unchanged
}

TEST(TextHelpers, TrimAndCase) {
  EXPECT_EQ(trim(" \t 95 ,\r\n"), "95 ,");
  EXPECT_EQ(trimRight("a  "), "a");
  EXPECT_EQ(toUpperAscii("kde_é"), "KDE_é");
  EXPECT_TRUE(iequals("ORVEX.toolsMenu", "orvex.TOOLSMENU"));
  EXPECT_FALSE(iequals("abc", "abcd"));
}

TEST(FieldsAndRows, FieldLookupIgnoresCaseAndReportsAbsence) {
  Fields fields(
      {{"FID", FieldType::ObjectId}, {"Shape", FieldType::Geometry}, {"Time2", FieldType::Integer}});
  EXPECT_EQ(fields.find("time2"), 2);
  EXPECT_EQ(fields.find("Time1"), -1);
  EXPECT_THROW(fields.add({"TIME2", FieldType::Double}), Error);
  EXPECT_THROW(fields.at(3), Error);
}

TEST(FieldsAndRows, MaintainedFieldsAreTheHosts) {
  auto fields = std::make_shared<const Fields>(
      Fields({{"FID", FieldType::ObjectId}, {"Shape", FieldType::Geometry}, {"Time2", FieldType::Integer}}));
  Row row(fields);
  EXPECT_TRUE(row.value(2).isEmpty());
  row.setValue(2, 100);
  EXPECT_EQ(row.value("TIME2"), Value(100));
  EXPECT_THROW(row.setValue(0, 5), Error);
  EXPECT_THROW(row.setValue(1, 5), Error);
  row.setOid(7);
  EXPECT_EQ(row.oid(), 7);
  EXPECT_EQ(row.value("FID"), Value(7));
  EXPECT_THROW(row.value("Date"), Error);
}

}  // namespace
}  // namespace orvex::host
