#include "platform/qgis/qgis_convert.h"

#include <ogr_geometry.h>

#include <QDateTime>
#include <cmath>
#include <limits>

#include "host/error.h"
#include "platform/gdal/geometry_convert.h"

namespace orvex::platform::qgis {
namespace {

// Codes of the spherical Mercator system that web basemaps bring into a project.
constexpr long kWebMercatorCodes[] = {3857, 3785, 900913, 102100, 102113};

}  // namespace

host::SpatialReferencePtr toHostCrs(const QgsCoordinateReferenceSystem& crs,
                                    const host::SpatialReferenceFactory& factory) {
  if (!crs.isValid()) return factory.unknown();
  const QString authid = crs.authid();
  if (authid.startsWith(QStringLiteral("EPSG:"), Qt::CaseInsensitive)) {
    bool ok = false;
    const int code = authid.mid(5).toInt(&ok);
    if (ok) {
      try {
        return factory.fromEpsg(code);
      } catch (const host::Error&) {
        // An EPSG code PROJ does not know: the WKT still describes the system.
      }
    }
  }
  return factory.fromWkt(toStd(crs.toWkt(QgsCoordinateReferenceSystem::WKT_PREFERRED_GDAL)));
}

bool lacksGroundUnits(const QgsCoordinateReferenceSystem& crs) {
  if (!crs.isValid()) return false;
  if (crs.isGeographic()) return true;
  const QString authid = crs.authid();
  for (long code : kWebMercatorCodes)
    if (authid.compare(QStringLiteral("EPSG:%1").arg(code), Qt::CaseInsensitive) == 0) return true;
  // A custom definition of the same projection (a basemap's "+proj=merc +a=6378137 +b=6378137").
  const QString proj = crs.toProj();
  return proj.contains(QStringLiteral("+proj=merc")) && proj.contains(QStringLiteral("+a=6378137")) &&
         proj.contains(QStringLiteral("+b=6378137"));
}

host::Geometry toHostGeometry(const QgsGeometry& geometry, host::SpatialReferencePtr reference) {
  if (geometry.isNull()) return host::Geometry(host::Geometry::Shape{}, std::move(reference));
  const QByteArray wkb = geometry.asWkb();
  OGRGeometry* raw = nullptr;
  if (OGRGeometryFactory::createFromWkb(wkb.constData(), nullptr, &raw, wkb.size()) != OGRERR_NONE ||
      raw == nullptr)
    throw host::Error(host::kDataError, "A feature's geometry cannot be read (" +
                                            toStd(QgsWkbTypes::displayString(geometry.wkbType())) + ")");
  const gdal::GeometryPtr owned(raw);
  return gdal::fromOgr(owned.get(), std::move(reference));
}

QgsGeometry toQgsGeometry(const host::Geometry& geometry) {
  const gdal::GeometryPtr ogr = gdal::toOgr(geometry);
  if (!ogr) return {};
  QByteArray wkb(static_cast<int>(ogr->WkbSize()), '\0');
  ogr->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(wkb.data()), wkbVariantIso);
  QgsGeometry result;
  result.fromWkb(wkb);
  return result;
}

host::FieldDef toHostField(const QgsField& field) {
  const std::string name = toStd(field.name());
  const int length = field.length() > 0 ? field.length() : 0;
  const int precision = field.precision() > 0 ? field.precision() : 0;
  switch (field.type()) {
    case QVariant::Int:
    case QVariant::Bool:
      return host::FieldDef(name, host::FieldType::Integer, length, length);
    case QVariant::LongLong:
    case QVariant::UInt:
    case QVariant::ULongLong:
    case QVariant::Double:
      return host::FieldDef(name, host::FieldType::Double, length, length, precision);
    case QVariant::Date:
    case QVariant::DateTime:
      return host::FieldDef(name, host::FieldType::Date, length);
    default:
      return host::FieldDef(name, host::FieldType::String, length);
  }
}

QgsField toQgsField(const host::FieldDef& field) {
  const QString name = toQString(field.name);
  switch (field.type) {
    case host::FieldType::SmallInteger:
    case host::FieldType::Integer:
    case host::FieldType::ObjectId:
      return QgsField(name, QVariant::Int, QStringLiteral("integer"), field.precision);
    case host::FieldType::Single:
    case host::FieldType::Double:
      return QgsField(name, QVariant::Double, QStringLiteral("double"), field.precision, field.scale);
    case host::FieldType::Date:
      return QgsField(name, QVariant::Date, QStringLiteral("date"));
    case host::FieldType::String:
    case host::FieldType::Geometry:
      break;
  }
  return QgsField(name, QVariant::String, QStringLiteral("string"), field.length);
}

host::Value toHostValue(const QVariant& value, host::FieldType type) {
  if (!value.isValid() || value.isNull()) return {};
  switch (type) {
    case host::FieldType::SmallInteger:
    case host::FieldType::Integer:
    case host::FieldType::ObjectId: {
      const qlonglong number = value.toLongLong();
      if (number < std::numeric_limits<std::int32_t>::min() ||
          number > std::numeric_limits<std::int32_t>::max())
        return static_cast<std::int64_t>(number);
      return static_cast<std::int32_t>(number);
    }
    case host::FieldType::Single:
    case host::FieldType::Double:
      return value.toDouble();
    case host::FieldType::Date: {
      QDateTime time = value.type() == QVariant::Date ? QDateTime(value.toDate(), QTime(0, 0), Qt::UTC)
                                                      : value.toDateTime();
      time.setTimeSpec(Qt::UTC);  // wall-clock values: no zone shift
      if (!time.isValid()) return {};
      return host::Date::fromUnixSeconds(static_cast<double>(time.toMSecsSinceEpoch()) / 1000.0);
    }
    case host::FieldType::String:
    case host::FieldType::Geometry:
      break;
  }
  return toStd(value.toString());
}

QVariant toQVariant(const host::Value& value, QVariant::Type type) {
  if (value.isEmpty()) return QVariant(type);
  if (const auto* number = value.int32()) return QVariant(*number);
  if (const auto* wide = value.int64()) return QVariant(static_cast<qlonglong>(*wide));
  if (const auto* real = value.real()) return QVariant(*real);
  if (const auto* text = value.text()) return QVariant(toQString(*text));
  const double seconds = value.date()->unixSeconds();
  const QDateTime time =
      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(seconds * 1000.0)), Qt::UTC);
  if (type == QVariant::Date) return QVariant(time.date());
  return QVariant(time);
}

}  // namespace orvex::platform::qgis
