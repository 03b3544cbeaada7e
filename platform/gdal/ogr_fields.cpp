#include "platform/gdal/ogr_fields.h"

#include <cpl_conv.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>

#include "host/error.h"
#include "host/text.h"

namespace orvex::platform::gdal {
namespace {

/// Byte length of a host field type as reported for shapefile fields.
constexpr int kIntegerLength = 4;
constexpr int kDoubleLength = 8;

[[noreturn]] void tooWide(const std::string& where, const OGRFieldDefn& field, const std::string& text) {
  throw host::Error(host::kDataError, "value " + text + " does not fit field \"" +
                                          std::string(field.GetNameRef()) + "\" (width " +
                                          std::to_string(field.GetWidth()) + ") of " + where);
}

/// Text the .dbf writer would produce before cutting it to the field width: "%.*f" with the
/// field's decimals. Only the part before the decimal point must fit; further decimals are cut
/// without changing the value by more than the last kept decimal.
void checkRealFits(double value, const OGRFieldDefn& field, const std::string& where) {
  if (field.GetWidth() <= 0) return;
  // Below 10^(width - 2) the rounded value has at most width - 1 digits before the point, and
  // a sign makes width: it fits without being formatted (most values; formatting each one
  // took a quarter of an edit that writes real fields).
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const int digits = field.GetWidth() - 2;
  if (digits >= 0 && digits < static_cast<int>(std::size(kPowersOfTen)) &&
      std::fabs(value) < kPowersOfTen[digits])
    return;
  char text[512];
  CPLsnprintf(text, sizeof text, "%.*f", field.GetPrecision(), value);
  const char* point = std::strchr(text, '.');
  const std::size_t integerPart =
      point != nullptr ? static_cast<std::size_t>(point - text) : std::strlen(text);
  if (integerPart > static_cast<std::size_t>(field.GetWidth()))
    tooWide(where, field, host::numberText(value));
}

void checkIntegerFits(long long value, const OGRFieldDefn& field, const std::string& where) {
  if (field.GetWidth() <= 0) return;
  const std::string text = std::to_string(value);
  if (text.size() > static_cast<std::size_t>(field.GetWidth())) tooWide(where, field, text);
}

void setDate(OGRFeature& feature, int index, const host::Date& date) {
  const host::CivilTime t = date.toCivil();
  feature.SetField(index, t.year, t.month, t.day, t.hour, t.minute, static_cast<float>(t.second), 0);
}

}  // namespace

std::unique_ptr<OGRFieldDefn> ogrFieldFor(const host::FieldDef& field) {
  using host::FieldType;
  auto defn = std::make_unique<OGRFieldDefn>(field.name.c_str(), OFTString);
  switch (field.type) {
    case FieldType::SmallInteger:
      defn->SetType(OFTInteger);
      defn->SetSubType(OFSTInt16);
      defn->SetWidth(field.precision > 0 ? field.precision : kSmallIntegerWidth);
      break;
    case FieldType::Integer:
      defn->SetType(OFTInteger);
      defn->SetWidth(field.precision > 0 ? field.precision : kDefaultIntegerWidth);
      break;
    case FieldType::Single:
    case FieldType::Double:
      defn->SetType(OFTReal);
      if (field.type == FieldType::Single) defn->SetSubType(OFSTFloat32);
      if (field.precision > 0) {
        defn->SetWidth(field.precision);
        defn->SetPrecision(field.scale > 0 ? field.scale : 0);
      }
      break;
    case FieldType::String:
      defn->SetWidth(field.length > 0 && field.length < kDefaultStringWidth ? field.length
                                                                            : kDefaultStringWidth);
      break;
    case FieldType::Date:
      defn->SetType(OFTDate);
      break;
    case FieldType::ObjectId:
    case FieldType::Geometry:
      throw host::Error(host::kInvalidArgument,
                        "field \"" + field.name + "\" is maintained by the data source and cannot be added");
  }
  return defn;
}

host::FieldDef hostFieldFor(const OGRFieldDefn& field) {
  host::FieldDef def;
  def.name = field.GetNameRef();
  switch (field.GetType()) {
    case OFTInteger:
    case OFTInteger64:
      def.type = field.GetSubType() == OFSTInt16 ? host::FieldType::SmallInteger : host::FieldType::Integer;
      def.length = kIntegerLength;
      def.precision = field.GetWidth();
      break;
    case OFTReal:
      def.type = field.GetSubType() == OFSTFloat32 ? host::FieldType::Single : host::FieldType::Double;
      def.length = field.GetSubType() == OFSTFloat32 ? kIntegerLength : kDoubleLength;
      def.precision = field.GetWidth();
      def.scale = field.GetPrecision();
      break;
    case OFTDate:
    case OFTDateTime:
      def.type = host::FieldType::Date;
      def.length = kDoubleLength;
      break;
    default:
      def.type = host::FieldType::String;
      def.length = field.GetWidth();
      break;
  }
  return def;
}

host::Value readValue(const OGRFeature& feature, int index) {
  if (!feature.IsFieldSetAndNotNull(index)) return {};
  const OGRFieldDefn* field = feature.GetFieldDefnRef(index);
  switch (field->GetType()) {
    case OFTInteger:
      return host::Value(static_cast<std::int32_t>(feature.GetFieldAsInteger(index)));
    case OFTInteger64: {
      const GIntBig v = feature.GetFieldAsInteger64(index);
      if (v >= INT32_MIN && v <= INT32_MAX) return host::Value(static_cast<std::int32_t>(v));
      return host::Value(static_cast<std::int64_t>(v));
    }
    case OFTReal:
      return host::Value(feature.GetFieldAsDouble(index));
    case OFTDate:
    case OFTDateTime: {
      int y = 0, mo = 0, d = 0, h = 0, mi = 0, tz = 0;
      float s = 0.0f;
      if (!feature.GetFieldAsDateTime(index, &y, &mo, &d, &h, &mi, &s, &tz)) return {};
      try {
        return host::Value(host::Date::fromCivil({y, mo, d, h, mi, static_cast<double>(s)}));
      } catch (const host::Error&) {
        return {};  // a .dbf date that names no calendar day ("20040231") holds no date
      }
    }
    default:
      return host::Value(std::string(feature.GetFieldAsString(index)));
  }
}

void writeValue(OGRFeature& feature, int index, const host::Value& value, const std::string& where) {
  if (value.isEmpty()) {
    feature.SetFieldNull(index);
    return;
  }
  const OGRFieldDefn& field = *feature.GetFieldDefnRef(index);
  switch (field.GetType()) {
    case OFTInteger: {
      const std::int32_t v = value.toInt32();
      checkIntegerFits(v, field, where);
      feature.SetField(index, static_cast<int>(v));
      break;
    }
    case OFTInteger64: {
      if (value.int32() != nullptr || value.int64() != nullptr) {  // whole numbers exactly
        const std::int64_t whole = value.toInt64();
        checkIntegerFits(static_cast<long long>(whole), field, where);
        feature.SetField(index, static_cast<GIntBig>(whole));
        break;
      }
      const double v = host::roundHalfEven(value.toDouble());
      if (!std::isfinite(v)) {
        feature.SetFieldNull(index);
        break;
      }
      if (std::fabs(v) > 9.2e18) tooWide(where, field, host::numberText(v));
      checkIntegerFits(static_cast<long long>(v), field, where);
      feature.SetField(index, static_cast<GIntBig>(v));
      break;
    }
    case OFTReal: {
      const double v = value.toDouble();
      if (!std::isfinite(v)) {
        feature.SetFieldNull(index);
        break;
      }
      checkRealFits(v, field, where);
      feature.SetField(index, v);
      break;
    }
    case OFTDate:
    case OFTDateTime: {
      if (const host::Date* d = value.date()) {
        setDate(feature, index, *d);
      } else if (const std::string* t = value.text()) {
        const auto parsed = host::Date::parseIso8601(host::trim(*t));
        if (!parsed) {
          throw host::Error(host::error_number::kTypeMismatch, "\"" + *t + "\" is not a date for field \"" +
                                                                   std::string(field.GetNameRef()) +
                                                                   "\" of " + where);
        }
        setDate(feature, index, *parsed);
      } else {
        setDate(feature, index, host::Date::fromOleSerial(value.toDouble()));
      }
      break;
    }
    default: {
      const std::string text = value.toText();
      if (field.GetWidth() > 0 && text.size() > static_cast<std::size_t>(field.GetWidth())) {
        tooWide(where, field, "\"" + text + "\"");
      }
      feature.SetField(index, text.c_str());
      break;
    }
  }
}

}  // namespace orvex::platform::gdal
