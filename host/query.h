#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/row.h"

namespace orvex::host {

/// Which rows a search, count, update or selection covers.
///
/// `where` is an attribute condition; empty means every row. Every data source accepts at
/// least this dialect:
///   condition := term { OR term };  term := factor { AND factor };
///   factor    := NOT factor | ( condition ) | field op literal | field IS [NOT] NULL
///   op        := = | <> | < | <= | > | >=
///   literal   := number (decimal, optional sign) | 'text' (a quote doubled inside)
/// Field names are matched without regard to letter case; text comparisons are case-sensitive
/// and byte-wise; a comparison with an empty value is false ("FixStatus <> 'Acquiring'" does
/// not select rows whose FixStatus is empty). A malformed clause or an unknown field throws
/// `Error` (kInvalidArgument) naming the clause.
///
/// `objectIds`, when present, restricts the rows to those ids and delivers them in that order
/// (ids of rows that no longer exist are skipped); this is how a selection set is searched.
struct QueryFilter {
  std::string where{};
  std::optional<std::vector<ObjectId>> objectIds{};

  QueryFilter() = default;
  QueryFilter(std::string whereClause) : where(std::move(whereClause)) {}  // NOLINT: implicit
  QueryFilter(const char* whereClause) : where(whereClause) {}             // NOLINT: implicit
};

}  // namespace orvex::host
