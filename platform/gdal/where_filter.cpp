#include "platform/gdal/where_filter.h"

#include <ogr_feature.h>

#include <utility>

#include "host/error.h"
#include "host/value.h"

namespace orvex::platform::gdal {
namespace {

where::ValueKind kindOf(OGRFieldType type) {
  switch (type) {
    case OFTInteger:
    case OFTInteger64:
    case OFTReal:
      return where::ValueKind::Number;
    case OFTString:
      return where::ValueKind::Text;
    case OFTDate:
    case OFTDateTime:
      return where::ValueKind::Date;
    default:
      return where::ValueKind::Unsupported;
  }
}

/// An OGR feature's fields as the engine reads them; dates become Unix seconds.
class FeatureCells final : public where::RowCells {
 public:
  FeatureCells(const OGRFeature& feature, const std::vector<where::ValueKind>& kinds)
      : f_(feature), kinds_(kinds) {}

  bool isNull(int column) const override {
    return column != where::kObjectIdColumn && !f_.IsFieldSetAndNotNull(column);
  }
  std::optional<double> number(int column) const override {
    if (column == where::kObjectIdColumn) return static_cast<double>(f_.GetFID());
    if (kinds_[static_cast<std::size_t>(column)] != where::ValueKind::Date)
      return f_.GetFieldAsDouble(column);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, tz = 0;
    float s = 0.0f;
    if (!f_.GetFieldAsDateTime(column, &y, &mo, &d, &h, &mi, &s, &tz)) return std::nullopt;
    try {
      return host::Date::fromCivil({y, mo, d, h, mi, static_cast<double>(s)}).unixSeconds();
    } catch (const host::Error&) {  // a stored date that is no calendar date
      return std::nullopt;
    }
  }
  std::optional<std::string_view> text(int column) const override { return f_.GetFieldAsString(column); }

 private:
  const OGRFeature& f_;
  const std::vector<where::ValueKind>& kinds_;
};

}  // namespace

WhereFilter::WhereFilter(where::Clause clause, std::vector<where::ValueKind> kinds)
    : clause_(std::move(clause)), kinds_(std::move(kinds)) {}

WhereFilter WhereFilter::compile(std::string_view clause, const OGRFeatureDefn& fields,
                                 std::span<const std::string> names) {
  std::vector<where::Column> columns;
  std::vector<where::ValueKind> kinds;
  for (int i = 0; i < fields.GetFieldCount(); ++i) {
    const OGRFieldDefn* field = fields.GetFieldDefn(i);
    kinds.push_back(kindOf(field->GetType()));
    const std::string name =
        static_cast<std::size_t>(i) < names.size() ? names[static_cast<std::size_t>(i)] : field->GetNameRef();
    columns.push_back({name, kinds.back(), OGRFieldDefn::GetFieldTypeName(field->GetType())});
  }
  try {
    return WhereFilter(where::Clause::compile(clause, columns, where::Dialect::ogr()), std::move(kinds));
  } catch (const where::ClauseError& e) {
    throw host::Error(host::kInvalidArgument, e.what());
  }
}

bool WhereFilter::matches(const OGRFeature& feature) const {
  return clause_.matches(FeatureCells(feature, kinds_));
}

}  // namespace orvex::platform::gdal
