#include "ListCommand.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include "CliShell.h"
#include "JsonOutput.h"
#include "app/CLorn2Doc.h"
#include "app/DeviceListColumns.h"
#include "base/DateUtil.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// A field is one line of one column: a tab or a line break inside it would break both.
QString oneField(QString text)
{
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return text;
}

QJsonObject accountJson(int number, const CDevData& a)
{
    QJsonObject o;
    o.insert(u"number"_s, number);
    o.insert(u"serial"_s, a.m_serial);
    o.insert(u"type"_s, a.typeName());
    o.insert(u"lastConnect"_s, a.m_lastConnect.isValid() ? QJsonValue(dateutil::toStoredText(a.m_lastConnect))
                                                          : QJsonValue());
    o.insert(u"consumer"_s, a.m_consumer);
    o.insert(u"phone"_s, a.m_phone);
    o.insert(u"consumerId"_s, a.m_consumerId);
    o.insert(u"address"_s, a.m_address);
    o.insert(u"contact"_s, a.m_contact);
    o.insert(u"netAddress"_s, a.m_netAddress);
    o.insert(u"port"_s, a.m_connection.port);
    return o;
}

} // namespace

void ListCommand::addOptions(QCommandLineParser& parser) const
{
    clijson::addOption(parser);
}

int ListCommand::executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell,
                                     const QCommandLineParser& parser, CliStreams& io)
{
    Q_UNUSED(app);
    const std::vector<int>& rows = shell.rows();
    if (clijson::wanted(parser, io)) {
        QJsonArray list;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (const CDevData* account = doc.account(rows[r]))
                list.append(accountJson(int(r) + 1, *account));
        }
        clijson::write(io, QJsonDocument(list));
        return cliexit::Ok;
    }
    QStringList header;
    for (std::size_t c = 0; c < kDeviceListColumns.size(); ++c)
        header << deviceListCaption(static_cast<int>(c));
    io.out << header.join(u'\t') << u'\n';
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const CDevData* account = doc.account(rows[r]);
        if (account == nullptr)
            continue;
        QStringList cells = deviceListCells(*account);
        for (QString& cell : cells)
            cell = oneField(cell);
        io.out << deviceListRowNumber(int(r)) << u'\t' << cells.join(u'\t') << u'\n';
    }
    return cliexit::Ok;
}
