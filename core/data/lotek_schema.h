#pragma once

// The layout of a Lotek GPS-collar download table and of the point shapefile it is imported
// into.

#include <array>
#include <cstdint>
#include <string_view>

#include "host/field.h"
#include "host/spatial_reference.h"

namespace orvex::core {

/// Coordinate fields of a fix table: 32-bit integers in thousandths of an arc-second. The
/// latitude field's name is spelled this way in the collar files.
inline constexpr std::string_view kLongitudeField = "LongitudeCorrectedData";
inline constexpr std::string_view kLatitudeField = "LatitudeCorrectredData";

/// Record filters of the "Keepers?" choice.
inline constexpr const char* kIncludeAcquiringFilter = "ID > 0";
inline constexpr const char* kExcludeAcquiringFilter = "FixStatus <> 'Acquiring'";

/// Shape field and storage keyword of the output feature class.
inline constexpr const char* kLotekShapeField = "shape";
inline constexpr const char* kLotekConfigKeyword = "augh";

/// The widest text a .dbf field holds.
inline constexpr int kMaxTextWidth = 254;

/// One copied field: the input name and the output field (the input name cut to the ten
/// characters of a shapefile attribute name).
struct LotekField {
  std::string_view input;
  std::string_view output;
  host::FieldType type;
  int length;
  int precision;
  int scale;
};

/// The eleven copied fields in output order.
inline constexpr std::array<LotekField, 11> kLotekFields{{
    {"CollarID", "CollarID", host::FieldType::String, 20, 0, 0},
    {"Time1", "Time1", host::FieldType::String, 20, 0, 0},
    {"Date", "Date", host::FieldType::Date, 20, 0, 0},
    {"Time2", "Time2", host::FieldType::Integer, 20, 0, 0},
    {"FixStatus", "FixStatus", host::FieldType::String, 20, 0, 0},
    {"DOP", "DOP", host::FieldType::Single, 20, 20, 1},
    {"ReceiverStatus", "ReceiverSt", host::FieldType::Integer, 20, 0, 0},
    {"Convergence", "Convergenc", host::FieldType::Integer, 20, 0, 0},
    {"Activity", "Activity", host::FieldType::Integer, 20, 0, 0},
    {"TTFF", "TTFF", host::FieldType::Integer, 20, 0, 0},
    {"Temperature", "Temperatur", host::FieldType::Single, 20, 20, 1},
}};

/// Per copied field, the longest text its values take (0 for fields that are not text).
using LotekTextWidths = std::array<int, kLotekFields.size()>;

/// The output schema: the point shape field in `reference`, then the eleven fields. A text
/// field is as wide as the longest value it is to hold (`widths`), at least 20 and at most
/// 254 characters, so that no value is cut short.
host::Fields lotekOutputFields(host::SpatialReferencePtr reference, const LotekTextWidths& widths);

/// A stored coordinate in degrees: value / 1000 / 3600, in that order, in double precision.
constexpr double lotekDegrees(std::int32_t stored) { return static_cast<double>(stored) / 1000.0 / 3600.0; }

}  // namespace orvex::core
