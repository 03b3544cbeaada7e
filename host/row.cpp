#include "host/row.h"

#include <string>

#include "host/error.h"

namespace orvex::host {

Row::Row(std::shared_ptr<const Fields> fields)
    : fields_(fields ? std::move(fields) : std::make_shared<const Fields>()),
      values_(static_cast<std::size_t>(fields_->count())) {}

const Value& Row::value(int index) const {
  fields_->at(index);  // range check with the field-index message
  return values_[static_cast<std::size_t>(index)];
}

const Value& Row::value(std::string_view fieldName) const {
  const int index = fields_->find(fieldName);
  if (index < 0) throw Error(kNotFound, "No field named '" + std::string(fieldName) + "'");
  return values_[static_cast<std::size_t>(index)];
}

void Row::setValue(int index, Value value) {
  const FieldDef& def = fields_->at(index);
  if (def.type == FieldType::ObjectId || def.type == FieldType::Geometry)
    throw Error(kInvalidArgument, "Field '" + def.name + "' is maintained by the host and cannot be set");
  values_[static_cast<std::size_t>(index)] = std::move(value);
}

void Row::setRawValue(int index, Value value) {
  fields_->at(index);
  values_[static_cast<std::size_t>(index)] = std::move(value);
}

void Row::setOid(ObjectId oid) {
  oid_ = oid;
  const int index = fields_->findType(FieldType::ObjectId);
  if (index >= 0) values_[static_cast<std::size_t>(index)] = Value(oid);
}

}  // namespace orvex::host
