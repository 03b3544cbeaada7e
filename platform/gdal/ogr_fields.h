#pragma once

// Field definitions and values between the host and OGR features.

#include <memory>
#include <string>

#include "host/field.h"
#include "host/value.h"
#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

/// Width given to a 32-bit integer field created without a precision: room for every 32-bit
/// value with its sign (OGR's own default of 9 digits cannot hold a 10-digit time in seconds).
inline constexpr int kDefaultIntegerWidth = 11;
/// Width of a 16-bit integer field: "-32768".
inline constexpr int kSmallIntegerWidth = 6;
/// Width of a text field created without a length: the most a .dbf field can hold.
inline constexpr int kDefaultStringWidth = 254;

/// The OGR definition of a host attribute field. Numbers take `precision` digits of which
/// `scale` are decimals (a precision of 0 chooses the defaults above, or OGR's for real
/// numbers); text takes `length` characters. Throws host::Error (kInvalidArgument) for object-id
/// and geometry fields, which are not attributes.
std::unique_ptr<OGRFieldDefn> ogrFieldFor(const host::FieldDef& field);

/// The host definition of an OGR attribute field. Integer64 fields are reported as integers.
host::FieldDef hostFieldFor(const OGRFieldDefn& field);

/// The value of attribute `index` of `feature`: Empty when unset or null; Int32 for integer
/// fields (an Integer64 value that does not fit 32 bits comes back as a Double); Double, Text
/// or Date otherwise.
host::Value readValue(const OGRFeature& feature, int index);

/// Sets attribute `index` of `feature` from a host value, converting as the host's run-time
/// conversions do. Refuses, with host::Error (kDataError) naming `where` and the field, a value
/// whose integer digits or text do not fit the field's width, rather than let the .dbf writer
/// cut it short. Non-finite numbers are written as null.
void writeValue(OGRFeature& feature, int index, const host::Value& value, const std::string& where);

}  // namespace orvex::platform::gdal
