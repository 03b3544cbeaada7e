#include "platform/qgis/processing_time.h"

#include <qgsexception.h>

#include <QDateTime>
#include <QObject>

namespace orvex::platform::qgis {
QString TimeRename::copyName(const QString& name) const {
  if (field.isEmpty()) return name;
  if (name == field) return kTime2Field;
  return name == own ? aside : name;
}

QString TimeRename::inputName(const QString& name) const {
  if (field.isEmpty()) return name;
  if (name == kTime2Field) return field;
  return !own.isEmpty() && name == aside ? own : name;
}

QVariant TimeRename::copyValue(const QVariant& value) const {
  if (!isDateType(type) || value.isNull()) return value;
  QDateTime moment =
      type == QVariant::Date ? QDateTime(value.toDate(), QTime(0, 0), Qt::UTC) : value.toDateTime();
  moment.setTimeSpec(Qt::UTC);  // wall-clock values: no zone shift
  return moment.isValid() ? QVariant(static_cast<qlonglong>(moment.toSecsSinceEpoch())) : QVariant();
}

QVariant TimeRename::inputValue(const QVariant& value) const {
  if (!isDateType(type) || value.isNull()) return value;
  const QDateTime moment = QDateTime::fromSecsSinceEpoch(value.toLongLong(), Qt::UTC);
  return type == QVariant::Date ? QVariant(moment.date()) : QVariant(moment);
}

TimeRename timeRenameFor(const QgsFields& fields, const QString& chosen) {
  if (chosen.isEmpty()) return {};
  const int index = fields.indexFromName(chosen);
  if (index < 0) throw QgsProcessingException(QObject::tr("The layer has no time field \"%1\"").arg(chosen));
  const QVariant::Type type = fields.at(index).type();
  if (!fields.at(index).isNumeric() && !isDateType(type))
    throw QgsProcessingException(
        QObject::tr("The time field \"%1\" holds %2: choose a field of seconds or of "
                    "dates and times")
            .arg(chosen, fields.at(index).typeName()));
  if (chosen == kTime2Field && !isDateType(type)) return {};
  TimeRename rename{chosen, {}, {}, type};
  for (const QgsField& field : fields)
    if (field.name() != chosen && field.name().compare(kTime2Field, Qt::CaseInsensitive) == 0)
      rename.own = field.name();
  if (!rename.own.isEmpty()) {
    rename.aside = QStringLiteral("Time2_in");
    for (int n = 2; fields.lookupField(rename.aside) >= 0; ++n)
      rename.aside = QStringLiteral("Time2_in%1").arg(n);
  }
  return rename;
}

}  // namespace orvex::platform::qgis
