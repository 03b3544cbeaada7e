#include "platform/access/where_clause.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "platform/access/access_error.h"

using orvex::access::AccessColumn;
using orvex::access::AccessDate;
using orvex::access::AccessError;
using orvex::access::AccessValue;
using orvex::access::ColumnType;
using orvex::access::WhereClause;

namespace {

const std::vector<AccessColumn> kColumns = {
    {"ID", ColumnType::LongInteger, 4, 4},   {"FixStatus", ColumnType::Text, 30, 10},
    {"DOP", ColumnType::Single, 4, 6},       {"Date", ColumnType::DateTime, 8, 8},
    {"Flag", ColumnType::Boolean, 1, 1},     {"Collar Name", ColumnType::Text, 20, 10},
    {"Blob", ColumnType::Unsupported, 0, 11}};

struct Row {
  AccessValue id, status, dop, date, flag, name;
  std::vector<AccessValue> values() const { return {id, status, dop, date, flag, name, AccessValue{}}; }
};

bool keeps(const std::string& clause, const Row& row) {
  return WhereClause::compile(clause, kColumns).matches(row.values());
}

Row withId(AccessValue id) {
  return Row{id, std::string("Resolved QFP"), 1.5f, AccessDate{37622.5}, false, {}};
}
Row withStatus(AccessValue status) { return Row{1, status, 1.5f, AccessDate{37622.5}, false, {}}; }

std::string errorOf(const std::string& clause) {
  try {
    (void)WhereClause::compile(clause, kColumns);
  } catch (const AccessError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

// The two filters of the Lotek import: "Include" keeps positive IDs, "Exclude" drops
// "Acquiring" fixes, and a NULL makes the comparison unknown, so the row is dropped.
TEST(WhereClauseImportFilters, IdGreaterThanZero) {
  EXPECT_TRUE(keeps("ID > 0", withId(1)));
  EXPECT_TRUE(keeps("ID > 0", withId(2147483647)));
  EXPECT_FALSE(keeps("ID > 0", withId(0)));
  EXPECT_FALSE(keeps("ID > 0", withId(-5)));
  EXPECT_FALSE(keeps("ID > 0", withId(AccessValue{})));
}

TEST(WhereClauseImportFilters, FixStatusNotAcquiring) {
  const std::string clause = "FixStatus <> 'Acquiring'";
  EXPECT_FALSE(keeps(clause, withStatus(std::string("Acquiring"))));
  EXPECT_FALSE(keeps(clause, withStatus(std::string("ACQUIRING")))) << "text compares without case";
  EXPECT_TRUE(keeps(clause, withStatus(std::string("Resolved QFP (Uncertain)"))));
  EXPECT_TRUE(keeps(clause, withStatus(std::string("Acquiring ")))) << "trailing blanks are significant";
  EXPECT_TRUE(keeps(clause, withStatus(std::string(""))));
  EXPECT_FALSE(keeps(clause, withStatus(AccessValue{}))) << "NULL <> 'Acquiring' is unknown";
}

TEST(WhereClauseOperators, EveryComparisonOnNumbersAndText) {
  const Row r = withId(5);
  EXPECT_TRUE(keeps("ID = 5", r));
  EXPECT_FALSE(keeps("ID = 6", r));
  EXPECT_TRUE(keeps("ID <> 6", r));
  EXPECT_TRUE(keeps("ID != 6", r));
  EXPECT_TRUE(keeps("ID < 6", r));
  EXPECT_FALSE(keeps("ID < 5", r));
  EXPECT_TRUE(keeps("ID <= 5", r));
  EXPECT_TRUE(keeps("ID >= 5", r));
  EXPECT_FALSE(keeps("ID >= 5.5", r));
  EXPECT_TRUE(keeps("ID > -2", r));
  EXPECT_TRUE(keeps("ID > 4.5e0", r));
  EXPECT_TRUE(keeps("ID = '5'", r)) << "numeric text literal on a number column";
  EXPECT_TRUE(keeps("FixStatus < 'S'", r));
  EXPECT_TRUE(keeps("FixStatus > 'resolved'", r)) << "a longer text sorts after its prefix";
  EXPECT_TRUE(keeps("FixStatus >= 'RESOLVED QFP'", r));
}

TEST(WhereClauseOperators, LiteralOnTheLeftIsMirrored) {
  EXPECT_TRUE(keeps("0 < ID", withId(1)));
  EXPECT_FALSE(keeps("0 < ID", withId(0)));
  EXPECT_TRUE(keeps("10 >= ID", withId(10)));
  EXPECT_FALSE(keeps("10 > ID", withId(10)));
}

TEST(WhereClauseLogic, AndBindsTighterThanOr) {
  // ID = 1 OR (ID = 2 AND FixStatus = 'x'): an ID of 1 passes whatever the status.
  EXPECT_TRUE(keeps("ID = 1 OR ID = 2 AND FixStatus = 'x'", withId(1)));
  EXPECT_FALSE(keeps("ID = 2 OR ID = 1 AND FixStatus = 'x'", withId(1)));
  EXPECT_FALSE(keeps("(ID = 1 OR ID = 2) AND FixStatus = 'x'", withId(1)));
  EXPECT_TRUE(keeps("((ID = 1)) and (fixstatus = 'resolved qfp' or ID < 0)", withId(1)));
}

TEST(WhereClauseLogic, NullFollowsThreeValuedLogic) {
  const Row nullId = withId(AccessValue{});
  EXPECT_FALSE(keeps("NOT (ID > 0)", nullId)) << "NOT unknown stays unknown";
  EXPECT_TRUE(keeps("ID > 0 OR FixStatus = 'Resolved QFP'", nullId)) << "unknown OR true is true";
  EXPECT_FALSE(keeps("ID > 0 OR FixStatus = 'x'", nullId));
  EXPECT_FALSE(keeps("NOT (ID > 0 AND FixStatus = 'Resolved QFP')", nullId));
  EXPECT_TRUE(keeps("NOT (ID > 0 AND FixStatus = 'x')", nullId)) << "unknown AND false is false";
  EXPECT_TRUE(keeps("ID IS NULL", nullId));
  EXPECT_FALSE(keeps("ID IS NOT NULL", nullId));
  EXPECT_TRUE(keeps("ID is not null", withId(0)));
  EXPECT_FALSE(keeps("ID = NULL", nullId)) << "= NULL is never true, as in Access";
}

TEST(WhereClauseNames, ColumnNamesIgnoreCaseAndMayBeBracketed) {
  const Row r{3, std::string("Resolved QFP"), 1.5f, AccessDate{37622.5}, true, std::string("Collar 7")};
  EXPECT_TRUE(keeps("id = 3", r));
  EXPECT_TRUE(keeps("[FIXSTATUS] = 'Resolved QFP'", r));
  EXPECT_TRUE(keeps("[collar name] = 'collar 7'", r));
}

TEST(WhereClauseLiterals, QuotesDatesBooleansAndSingles) {
  Row r = withStatus(std::string("O'Neil \"7\""));
  EXPECT_TRUE(keeps("FixStatus = 'O''Neil \"7\"'", r));
  EXPECT_TRUE(keeps("FixStatus = \"O'Neil \"\"7\"\"\"", r));

  // 37622.5 is 2003-01-01 12:00 (37,622 days after 1899-12-30).
  const Row dated = withId(1);
  EXPECT_TRUE(keeps("Date = #2003-01-01 12:00#", dated));
  EXPECT_TRUE(keeps("Date = #1/1/2003 12:00:00#", dated));
  EXPECT_TRUE(keeps("Date > '2003-01-01'", dated));
  EXPECT_FALSE(keeps("Date >= #2003-01-02#", dated));
  EXPECT_TRUE(keeps("Date = 37622.5", dated));
  // Before 1899-12-30 the day part of the serial counts backwards but the time runs forwards:
  // -1.5 is 1899-12-29 12:00, later than 06:00 (-1.25) although the serial is smaller.
  Row early = withId(1);
  early.date = AccessDate{-1.5};
  EXPECT_TRUE(keeps("Date > #1899-12-29 06:00#", early));
  EXPECT_TRUE(keeps("Date < #1899-12-30#", early));

  Row flagged = withId(1);
  flagged.flag = true;
  EXPECT_TRUE(keeps("Flag = True", flagged));
  EXPECT_TRUE(keeps("Flag = -1", flagged)) << "Access's true is -1";
  EXPECT_FALSE(keeps("Flag = FALSE", flagged));

  // A Single is widened to double before comparing: 1.1f is 1.10000002384..., not 1.1.
  Row single = withId(1);
  single.dop = 1.1f;
  EXPECT_FALSE(keeps("DOP = 1.1", single));
  EXPECT_TRUE(keeps("DOP > 1.1", single));
  EXPECT_TRUE(keeps("DOP < 1.1000001", single));
}

TEST(WhereClauseLiterals, BlankClauseKeepsEveryRow) {
  EXPECT_TRUE(WhereClause::compile("", kColumns).keepsEveryRow());
  EXPECT_TRUE(WhereClause::compile("  \t", kColumns).keepsEveryRow());
  EXPECT_FALSE(WhereClause::compile("ID > 0", kColumns).keepsEveryRow());
  EXPECT_TRUE(keeps("", withId(AccessValue{})));
}

TEST(WhereClauseLiterals, NumbersReadTheSameUnderADecimalCommaLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  const bool kept = keeps("ID > 4.5", withId(5)) && !keeps("ID > 5.5", withId(5));
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_TRUE(kept);
}

TEST(WhereClauseErrors, SyntaxErrorsNameTheClauseAndPosition) {
  EXPECT_EQ(errorOf("ID >"),
            "Syntax error in where clause \"ID >\" at position 5: expected a column or a value, found 'end "
            "of text'");
  EXPECT_NE(errorOf("FixStatus = 'Acquiring").find("unterminated text literal"), std::string::npos);
  EXPECT_NE(errorOf("(ID > 0").find("expected ')'"), std::string::npos);
  EXPECT_NE(errorOf("ID > 0)").find("position 7"), std::string::npos);
  EXPECT_NE(errorOf("ID 5").find("expected a comparison operator"), std::string::npos);
  EXPECT_NE(errorOf("ID > 0 AND").find("expected a column or a value"), std::string::npos);
  EXPECT_NE(errorOf("ID == 1").find("unknown operator"), std::string::npos);
  EXPECT_NE(errorOf("ID > 1x").find("malformed number"), std::string::npos);
  EXPECT_NE(errorOf("ID = ID").find("comparing two columns"), std::string::npos);
  EXPECT_NE(errorOf("1 = 1").find("needs a column"), std::string::npos);
  EXPECT_NE(errorOf("ID LIKE 'a*'").find("expected a comparison operator"), std::string::npos);
  EXPECT_NE(errorOf("Date = #2003-13-01#").find("malformed date"), std::string::npos);
}

TEST(WhereClauseErrors, UnknownColumnsAndTypeMismatches) {
  EXPECT_EQ(errorOf("Temperature > 5"), "Unknown column \"Temperature\" in where clause \"Temperature > 5\"");
  EXPECT_NE(errorOf("FixStatus > 5").find("Data type mismatch"), std::string::npos);
  EXPECT_NE(errorOf("ID = 'abc'").find("column \"ID\" (Long Integer) compared with 'abc'"),
            std::string::npos);
  EXPECT_NE(errorOf("Date = 'yesterday'").find("Data type mismatch"), std::string::npos);
  EXPECT_NE(errorOf("Blob = 1").find("cannot be compared"), std::string::npos);
}

TEST(WhereClauseErrors, HostileNestingIsRefusedNotOverflowed) {
  const std::string deep = std::string(5000, '(') + "ID > 0" + std::string(5000, ')');
  EXPECT_NE(errorOf(deep).find("nested too deeply"), std::string::npos);
  std::string nots;
  for (int i = 0; i < 5000; ++i) nots += "NOT ";
  EXPECT_NE(errorOf(nots + "ID > 0").find("nested too deeply"), std::string::npos);
  std::string chain = "ID > 0";
  for (int i = 0; i < 5000; ++i) chain += " OR ID > 0";
  EXPECT_NE(errorOf(chain).find("too many terms"), std::string::npos);
}
