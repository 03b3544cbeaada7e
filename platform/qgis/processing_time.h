#pragma once

// The time field of a Processing run: the commands read a point layer's time as "Time2", in
// seconds; the user's layer may hold it under any name, as numbers or as dates and times.

#include <qgsfields.h>

#include <QString>
#include <QVariant>

namespace orvex::platform::qgis {

/// The commands' name of the time field.
inline const QString kTime2Field = QStringLiteral("Time2");

/// Dates and dates with times: the kinds a chosen time field holds as seconds in the copy.
inline bool isDateType(QVariant::Type type) { return type == QVariant::Date || type == QVariant::DateTime; }

/// How the scratch copy of a point layer names a chosen time field other than the commands'
/// "Time2": the chosen field becomes "Time2" (dates and times as whole seconds since 1970, read
/// as UTC wall-clock times as the menu tools read them) and the input's own "Time2" is set aside
/// under a free name. A layer built from the copy gets the input's names and types back.
struct TimeRename {
  QString field;  ///< the chosen field; empty: the copy keeps the input's names
  QString own;    ///< the input's own "Time2" field (any letter case); empty when none
  QString aside;  ///< the copy's name for `own`
  QVariant::Type type = QVariant::Invalid;  ///< the chosen field's type

  QString copyName(const QString& name) const;
  QString inputName(const QString& name) const;
  /// The chosen field's value as the copy holds it, and back.
  QVariant copyValue(const QVariant& value) const;
  QVariant inputValue(const QVariant& value) const;
};

/// The renaming for the time field `chosen` of a layer with `fields`: none when `chosen` is empty
/// or is a numeric "Time2". Throws QgsProcessingException when the layer has no such field or it
/// holds text.
TimeRename timeRenameFor(const QgsFields& fields, const QString& chosen);

}  // namespace orvex::platform::qgis
