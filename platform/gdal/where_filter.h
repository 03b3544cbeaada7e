#pragma once

// The host's where-clause dialect evaluated on OGR features.
//
// OGR's own attribute filter compares text without regard to letter case, while the host
// promises byte-wise text comparison (animal "A1" is not animal "a1"), so clauses run on the
// shared where-clause engine (platform/common/where_engine.h: grammar and NULL logic) in its
// OGR dialect:
//
// - a field may be written in double quotes ("AnimalID"); text literals are 'single-quoted';
// - "FID" is the object id unless the table has an attribute of that name;
// - number fields (integer, 64-bit integer, real) compare numerically with a number, or with
//   text that reads wholly as a number; text fields compare byte-wise with text; date fields
//   compare with text holding an ISO 8601 date or date and time. Any other pairing is refused
//   when the clause is compiled.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/where_engine.h"
#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

class WhereFilter {
 public:
  /// Compiles a clause against a layer's fields. Blank text keeps every row. Throws
  /// host::Error (kInvalidArgument) quoting the clause for a syntax error, an unknown field
  /// or a type mismatch. `names`, when given, name the first fields in place of their OGR
  /// names (the long names of a source whose shapefile copy cut them to 10 characters).
  static WhereFilter compile(std::string_view clause, const OGRFeatureDefn& fields,
                             std::span<const std::string> names = {});

  bool keepsEveryRow() const { return clause_.keepsEveryRow(); }
  /// True when the feature satisfies the clause.
  bool matches(const OGRFeature& feature) const;

 private:
  WhereFilter(where::Clause clause, std::vector<where::ValueKind> kinds);
  where::Clause clause_;
  std::vector<where::ValueKind> kinds_;  ///< of the layer's fields, to read date cells
};

}  // namespace orvex::platform::gdal
