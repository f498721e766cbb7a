#include "DeviceListExport.h"

#include <QStringList>

#include "CDevData.h"
#include "base/AtomicFile.h"
#include "base/CodePage.h"
#include "base/Format.h"

using namespace Qt::Literals::StringLiterals;

namespace devicelist {

namespace {

// A field is everything between two commas, the blank after the comma included. Only a field
// that would otherwise break the columns is quoted, so every other line reads as it always did.
QString field(const QString& text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

QString line(int number, const CDevData& a)
{
    // A never-connected account has "  ," for its date and no blank before the consumer.
    const bool connected = a.m_lastConnect.isValid();
    const QStringList fields = {
        fmt::text(u"%d", number),
        fmt::text(u" %u", unsigned(a.m_serial)),
        field(u' ' + a.typeName()),
        connected ? u' ' + a.m_lastConnect.toString(u"dd.MM.yyyy H:mm:ss"_s) : u"  "_s,
        field((connected ? u" "_s : QString()) + a.m_consumer),
        field(u' ' + a.m_phone),
        field(u' ' + a.m_consumerId),
        field(u' ' + a.m_address),
        field(u' ' + a.m_contact),
        fmt::text(u" %u", unsigned(a.m_netAddress)),
    };
    return fields.join(u',') + u"\r\n"_s;
}

} // namespace

QByteArray format(const std::vector<CDevData>& accounts)
{
    QString text = u"NN, SerialNumber, Type, LastConnect, Consumer, Phone, ConsumerID, Address, ContactPerson, "
                   u"NetAddress\r\n"_s;
    int number = 0;
    for (const CDevData& a : accounts) {
        if (!a.m_deleted)
            text += line(++number, a);
    }
    return codepage::toAnsi(text);
}

bool exportToFile(const QString& path, const std::vector<CDevData>& accounts)
{
    return writeFileAtomically(path, format(accounts));
}

} // namespace devicelist
