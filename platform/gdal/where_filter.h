#pragma once

// The host's where-clause dialect evaluated on OGR features.
//
// OGR's own attribute filter compares text without regard to letter case, while the host
// promises byte-wise text comparison (animal "A1" is not animal "a1"), so clauses are parsed
// and evaluated here:
//
//   condition := term { OR term }      term := factor { AND factor }
//   factor    := NOT factor | ( condition ) | field op literal | field IS [NOT] NULL
//   op        := = | <> | != | < | <= | > | >=
//   literal   := number (decimal, optional sign, exponent) | 'text' (a quote doubled inside)
//
// Keywords and field names ignore letter case; a field may be written in double quotes. "FID"
// is the object id unless the table has an attribute of that name. Logic is SQL's three-valued
// one: a comparison with a null value is unknown, and only rows for which the whole condition
// is true are kept, so "S <> 'a'" does not select rows whose S is null.
//
// Types: number fields compare numerically with a number, or with text that reads wholly as a
// number; text fields compare byte-wise with text; date fields compare with text holding an ISO
// 8601 date or date and time. Any other pairing is refused when the clause is compiled.

#include <memory>
#include <string>
#include <string_view>

#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

class WhereFilter {
 public:
  /// Compiles a clause against a layer's fields. Blank text keeps every row. Throws
  /// host::Error (kInvalidArgument) quoting the clause for a syntax error, an unknown field
  /// or a type mismatch.
  static WhereFilter compile(std::string_view clause, const OGRFeatureDefn& fields);

  WhereFilter(WhereFilter&&) noexcept;
  WhereFilter& operator=(WhereFilter&&) noexcept;
  ~WhereFilter();

  bool keepsEveryRow() const;
  /// True when the feature satisfies the clause.
  bool matches(const OGRFeature& feature) const;

  /// The compiled clause (defined with the parser).
  struct Node;

 private:
  explicit WhereFilter(std::unique_ptr<Node> root);
  std::unique_ptr<Node> root_;
};

}  // namespace orvex::platform::gdal
