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

// A date-time from the parts, invalid when they do not form one.
QDateTime makeDateTime(int year, int month, int day, int hour, int minute, int second = 0);

} // namespace dateutil
