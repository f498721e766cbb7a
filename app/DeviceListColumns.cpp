#include "DeviceListColumns.h"

#include <QLocale>

#include "base/Format.h"
#include "storage/CDevData.h"

QStringList deviceListCells(const CDevData& a)
{
    const QString date = a.m_lastConnect.isValid()
        ? QLocale::system().toString(a.m_lastConnect.date(), QLocale::ShortFormat)
        : QString();
    return {fmt::text(u"%05u", unsigned(a.m_serial)),
            a.typeName(),
            date,
            a.m_consumer,
            a.m_phone,
            a.m_consumerId,
            a.m_address,
            a.m_contact,
            fmt::text(u"%02X", unsigned(a.m_netAddress))};
}

QString deviceListRowNumber(int row)
{
    return fmt::text(u"%d", row + 1);
}
