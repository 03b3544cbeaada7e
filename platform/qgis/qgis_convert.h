#pragma once

// Conversions between the host's values, fields, geometries and coordinate systems and those
// of the QGIS API.

#include <qgscoordinatereferencesystem.h>
#include <qgsfield.h>
#include <qgsgeometry.h>
#include <QVariant>

#include "host/field.h"
#include "host/geometry.h"
#include "host/spatial_reference.h"
#include "host/value.h"

namespace orvex::platform::qgis {

/// The host form of a QGIS coordinate system: by its EPSG code when it has one, else by its
/// WKT. An invalid system gives the factory's unknown system.
host::SpatialReferencePtr toHostCrs(const QgsCoordinateReferenceSystem& crs,
                                    const host::SpatialReferenceFactory& factory);

/// Geographic systems and Web Mercator give degrees or pseudo-metres: distances and areas
/// computed in them are not ground distances and areas.
bool lacksGroundUnits(const QgsCoordinateReferenceSystem& crs);

/// Through WKB and OGR, so that rings are oriented as the host holds them.
host::Geometry toHostGeometry(const QgsGeometry& geometry, host::SpatialReferencePtr reference);
QgsGeometry toQgsGeometry(const host::Geometry& geometry);

/// The host type of a QGIS field (integers wider than 32 bits read as Double).
host::FieldDef toHostField(const QgsField& field);
QgsField toQgsField(const host::FieldDef& field);

/// Null or invalid variants give Empty; numbers, text and dates map to their host kinds.
host::Value toHostValue(const QVariant& value, host::FieldType type);
/// Empty gives a null variant of the field's type.
QVariant toQVariant(const host::Value& value, QVariant::Type type);

inline QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}
inline std::string toStd(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace orvex::platform::qgis
