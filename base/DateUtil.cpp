#include "DateUtil.h"

using namespace Qt::Literals::StringLiterals;

namespace dateutil {

QString toStoredText(const QDateTime& t)
{
    return t.isValid() ? t.toString(u"yyyy-MM-ddTHH:mm:ss"_s) : QString();
}

QDateTime fromStoredText(const QString& text)
{
    const QString s = text.trimmed();
    for (const QString& form : {u"yyyy-MM-ddTHH:mm:ss"_s, u"yyyy-MM-ddTHH:mm"_s, u"dd.MM.yyyy H:mm:ss"_s,
                                u"dd.MM.yyyy H:mm"_s, u"dd.MM.yyyy"_s}) {
        QDateTime t = QDateTime::fromString(s, form);
        if (t.isValid())
            return t;
    }
    return {};
}

bool isValidStamp(int year, int month, int day, int hour, int minute, int second)
{
    return QDate::isValid(year, month, day) && QTime::isValid(hour, minute, second);
}

QDateTime makeDateTime(int year, int month, int day, int hour, int minute, int second)
{
    if (!isValidStamp(year, month, day, hour, minute, second))
        return {};
    return calendarDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

QDateTime calendarDateTime(const QDate& date, const QTime& time)
{
    return QDateTime(date, time, Qt::UTC);
}

QDateTime calendarDateTime(const QDateTime& local)
{
    return local.isValid() ? calendarDateTime(local.date(), local.time()) : QDateTime();
}

} // namespace dateutil
