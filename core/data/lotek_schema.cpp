#include "core/data/lotek_schema.h"

#include <algorithm>
#include <string>

#include "core/data/orvex_utility.h"

namespace orvex::core {

host::Fields lotekOutputFields(host::SpatialReferencePtr reference, const LotekTextWidths& widths) {
  host::Fields fields;
  fields.add(host::FieldDef::shape(kLotekShapeField,
                                   {host::GeometryType::Point, false, false, std::move(reference)}));
  for (std::size_t i = 0; i < kLotekFields.size(); ++i) {
    const LotekField& field = kLotekFields[i];
    int length = field.length;
    if (field.type == host::FieldType::String) length = std::clamp(widths[i], field.length, kMaxTextWidth);
    addField(fields, std::string(field.output), field.type, length, field.precision, field.scale);
  }
  return fields;
}

}  // namespace orvex::core
