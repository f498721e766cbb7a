#pragma once

#include <QDateTime>
#include <QString>

namespace dateutil {

// The stored form of a date-time in account files: ISO 8601 local time, no zone.
QString toStoredText(const QDateTime& t);
// Reads the stored form, and the Russian locale form "dd.MM.yyyy H:mm:ss" of older files.
// Returns an invalid QDateTime when neither matches.
QDateTime fromStoredText(const QString& text);

// True when year (full), month, day, hour and minute make an existing moment.
bool isValidStamp(int year, int month, int day, int hour, int minute, int second = 0);

// A meter's stamp from the parts, invalid when they do not form a calendar date and time.
// Meters keep wall-clock time without a zone, so a stamp is a calendar value (held in UTC),
// never an instant of the local zone: an hour that a daylight-saving change skips here is a
// stamp like any other. Compare such values only with others made by calendarDateTime().
QDateTime makeDateTime(int year, int month, int day, int hour, int minute, int second = 0);

// The calendar value of a date and time, or of a local date-time's own fields.
QDateTime calendarDateTime(const QDate& date, const QTime& time);
QDateTime calendarDateTime(const QDateTime& local);

} // namespace dateutil
