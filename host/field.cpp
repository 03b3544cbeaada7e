#include "host/field.h"

#include <string>

#include "host/error.h"
#include "host/text.h"

namespace orvex::host {

const FieldDef& Fields::at(int index) const {
  if (index < 0 || index >= count())
    throw Error(error_number::kSubscriptOutOfRange,
                "Field index " + std::to_string(index) + " is outside 0.." + std::to_string(count() - 1));
  return defs_[static_cast<std::size_t>(index)];
}

int Fields::find(std::string_view name) const {
  for (std::size_t i = 0; i < defs_.size(); ++i)
    if (iequals(defs_[i].name, name)) return static_cast<int>(i);
  return -1;
}

void Fields::add(FieldDef def) {
  if (def.name.empty()) throw Error(kInvalidArgument, "A field needs a name");
  if (find(def.name) >= 0) throw Error(kAlreadyExists, "Field '" + def.name + "' already exists");
  defs_.push_back(std::move(def));
}

int Fields::findType(FieldType type) const {
  for (std::size_t i = 0; i < defs_.size(); ++i)
    if (defs_[i].type == type) return static_cast<int>(i);
  return -1;
}

}  // namespace orvex::host
