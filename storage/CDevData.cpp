#include "CDevData.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>

#include "AccountXml.h"
#include "DeviceTypes.h"
#include "Folders.h"
#include "archive/ArchiveFile.h"
#include "base/AtomicFile.h"
#include "base/CodePage.h"
#include "base/DateUtil.h"
#include "base/Format.h"

using namespace Qt::Literals::StringLiterals;

namespace {

template<typename T>
T clampTo(std::int64_t v)
{
    return T(std::clamp<std::int64_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

int toInt(const QString& text)
{
    return clampTo<int>(accountxml::leadingNumber(text));
}

bool isTrue(const QString& text)
{
    return text.trimmed().compare(u"true"_s, Qt::CaseInsensitive) == 0;
}

QDomElement addElement(QDomDocument& doc, QDomElement& parent, const QString& name)
{
    QDomElement e = doc.createElement(name);
    parent.appendChild(e);
    return e;
}

void addText(QDomDocument& doc, QDomElement& parent, const QString& name, const QString& value)
{
    QDomElement e = addElement(doc, parent, name);
    if (!value.isEmpty())
        e.appendChild(doc.createTextNode(value));
}

QString boolText(bool v)
{
    return v ? u"true"_s : u"false"_s;
}

// The first "*.xml" of the folder; empty when there is none or the folder cannot be listed.
QString firstAccountFile(const QString& folder)
{
    QStringList names;
    if (folder.isEmpty() || FAILED(folders::findFiles(folders::join(folder, u"*.xml"_s), names)) || names.isEmpty())
        return {};
    return folders::join(folder, names.first());
}

bool readWholeFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

QString CDevData::typeName() const
{
    return devtypes::displayName(m_type);
}

QString CDevData::typeCodeName() const
{
    return devtypes::codeName(m_type);
}

QString CDevData::shortName() const
{
    return fmt::text(u"%s_%05u", typeCodeName(), unsigned(m_serial));
}

QString CDevData::accountFolder(const QString& workingFolder) const
{
    return folders::join(folders::devicesFolder(workingFolder), shortName());
}

QString CDevData::accountFileName() const
{
    return fmt::text(u"%05u.xml", unsigned(m_serial));
}

QString CDevData::archiveFileName() const
{
    return fmt::text(u"%05u.tsa", unsigned(m_serial));
}

QString CDevData::mapPath() const
{
    if (m_mapFile.isEmpty() || m_folder.isEmpty())
        return {};
    return folders::join(m_folder, folders::fileNameOf(m_mapFile));
}

QByteArray CDevData::WriteXml() const
{
    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction(u"xml"_s, u"version=\"1.0\" encoding=\"UTF-8\""_s));
    QDomElement device = doc.createElement(u"Device"_s);
    doc.appendChild(device);
    QDomElement account = addElement(doc, device, u"Account"_s);

    addText(doc, account, u"Type"_s, QString::number(m_type));
    addText(doc, account, u"TypeName"_s, typeCodeName());
    addText(doc, account, u"SerialNumber"_s, QString::number(m_serial));
    addText(doc, account, u"NetworkAddress"_s, QString::number(m_netAddress));
    addText(doc, account, u"Consumer"_s, m_consumer);
    addText(doc, account, u"ConsumerID"_s, m_consumerId);
    addText(doc, account, u"Address"_s, m_address);
    addText(doc, account, u"Phone"_s, m_phone);
    addText(doc, account, u"ContactPerson"_s, m_contact);
    addText(doc, account, u"UseAccountDataForReportHeader"_s, boolText(m_useAccountForHeader));

    QDomElement connection = addElement(doc, account, u"Connection"_s);
    addText(doc, connection, u"CommDevice"_s, u"COM"_s);
    QDomElement param = addElement(doc, connection, u"Param"_s);
    const DeviceControlBlock& dcb = m_connection.dcb;
    addText(doc, param, u"Port"_s, accountxml::portText(m_connection.port));
    addText(doc, param, u"Baud"_s, fmt::text(u"%u", dcb.BaudRate));
    addText(doc, param, u"DataBits"_s, fmt::text(u"%u", unsigned(dcb.ByteSize)));
    addText(doc, param, u"StopBits"_s, accountxml::stopBitsText(dcb.StopBits));
    addText(doc, param, u"Parity"_s, accountxml::parityText(dcb.Parity));
    addText(doc, param, u"FlowControl"_s, accountxml::flowControlText(dcb));
    addText(doc, param, u"AnswerTimeout"_s, QString::number(m_answerTimeout));
    addText(doc, param, u"Retries"_s, QString::number(m_retries));
    addText(doc, param, u"UsePerContourArcRead"_s, boolText(m_perContourRead));
    QDomElement modem = addElement(doc, param, u"Modem"_s);
    addText(doc, modem, u"UseModem"_s, m_useModem ? u"Yes"_s : u"No"_s);
    addText(doc, modem, u"PhoneNumber"_s, codepage::fromAnsi(m_modem.phone));
    addText(doc, modem, u"InitString"_s, codepage::fromAnsi(m_modem.initString));
    if (m_lastConnect.isValid())
        addText(doc, connection, u"LastConnectDate"_s, dateutil::toStoredText(m_lastConnect));

    if (!m_config.isEmpty()) {
        const QString text = accountxml::configText(m_config);
        QDomElement config = addElement(doc, account, u"Config"_s);
        config.setAttribute(u"size"_s, QString::number(text.size()));
        config.setAttribute(u"binarySize"_s, QString::number(m_config.size()));
        config.appendChild(doc.createTextNode(text));
    }

    const QString mapName = folders::fileNameOf(m_mapFile);
    if (!mapName.isEmpty()) {
        QDomElement map = addElement(doc, account, u"Map"_s);
        addText(doc, map, u"FileName"_s, mapName);
    }

    QDomElement report = addElement(doc, account, u"ReportSettings"_s);
    for (int i = 0; i < 3; ++i)
        addText(doc, report, fmt::text(u"PrintVolumes%d", i), m_printVolumes[std::size_t(i)] ? u"1"_s : u"0"_s);

    return accountxml::serialize(doc);
}

HRESULT CDevData::ReadXml(const QByteArray& xml)
{
    QDomDocument doc;
    if (!accountxml::parse(xml, doc))
        return E_FAIL;
    const QDomElement device = doc.documentElement();
    if (device.tagName() != u"Device")
        return E_FAIL;
    const QDomElement account = device.firstChildElement(u"Account"_s);
    if (account.isNull())
        return E_FAIL;

    // Required elements, in file order; a missing one ends the load with what was read so far.
    const auto required = [&](const QString& name, QString& text) {
        const QDomElement e = account.firstChildElement(name);
        if (e.isNull())
            return false;
        text = e.text();
        return true;
    };
    QString text;
    if (!required(u"Type"_s, text))
        return E_FAIL;
    m_type = toInt(text);
    if (!required(u"SerialNumber"_s, text))
        return E_FAIL;
    m_serial = toInt(text);
    if (!required(u"NetworkAddress"_s, text))
        return E_FAIL;
    m_netAddress = toInt(text);
    if (!required(u"Consumer"_s, m_consumer) || !required(u"ConsumerID"_s, m_consumerId)
        || !required(u"Address"_s, m_address) || !required(u"Phone"_s, m_phone)
        || !required(u"ContactPerson"_s, m_contact))
        return E_FAIL;

    const QDomElement header = account.firstChildElement(u"UseAccountDataForReportHeader"_s);
    if (!header.isNull())
        m_useAccountForHeader = isTrue(header.text());

    const QDomElement connection = account.firstChildElement(u"Connection"_s);
    const QDomElement commDevice = connection.firstChildElement(u"CommDevice"_s);
    const QDomElement param = commDevice.text().trimmed().compare(u"COM"_s, Qt::CaseInsensitive) == 0
        ? connection.firstChildElement(u"Param"_s)
        : QDomElement();
    if (!param.isNull()) {
        // Line settings the file does not hold (binary mode, limits, characters) come back as 0.
        DeviceControlBlock& dcb = m_connection.dcb;
        dcb = DeviceControlBlock{};
        const auto child = [&](const QString& name, QString& value) {
            const QDomElement e = param.firstChildElement(name);
            value = e.text();
            return !e.isNull();
        };
        if (child(u"Port"_s, text)) {
            if (const std::optional<int> port = accountxml::portFromText(text))
                m_connection.port = *port;
        }
        if (child(u"Baud"_s, text))
            dcb.BaudRate = clampTo<std::uint32_t>(accountxml::leadingNumber(text));
        if (child(u"DataBits"_s, text))
            dcb.ByteSize = clampTo<std::uint8_t>(accountxml::leadingNumber(text));
        if (child(u"StopBits"_s, text))
            dcb.StopBits = std::uint8_t(accountxml::stopBitsFromText(text));
        if (child(u"Parity"_s, text))
            dcb.Parity = std::uint8_t(accountxml::parityFromText(text));
        if (child(u"FlowControl"_s, text))
            accountxml::applyFlowControl(text, dcb);
        if (child(u"AnswerTimeout"_s, text))
            m_answerTimeout = toInt(text);
        if (child(u"Retries"_s, text))
            m_retries = toInt(text);
        if (child(u"UsePerContourArcRead"_s, text))
            m_perContourRead = text.trimmed() == u"1" || isTrue(text);

        const QDomElement modem = param.firstChildElement(u"Modem"_s);
        if (!modem.isNull()) {
            const QDomElement use = modem.firstChildElement(u"UseModem"_s);
            if (!use.isNull()) {
                m_useModem = use.text().trimmed().compare(u"YES"_s, Qt::CaseInsensitive) == 0;
                m_modem.useModem = m_useModem;
            }
            const QDomElement phone = modem.firstChildElement(u"PhoneNumber"_s);
            if (!phone.isNull())
                m_modem.phone = codepage::toAnsi(phone.text());
            const QDomElement init = modem.firstChildElement(u"InitString"_s);
            if (!init.isNull())
                m_modem.initString = codepage::toAnsi(init.text());
            // The old reader looked for the date only here; files always carry "Modem".
            const QDomElement date = connection.firstChildElement(u"LastConnectDate"_s);
            m_lastConnect = date.isNull() ? QDateTime() : dateutil::fromStoredText(date.text());
        }
    }

    m_config.clear();
    if (const std::optional<QByteArray> config = accountxml::configFromElement(account.firstChildElement(u"Config"_s)))
        m_config = *config;

    const QDomElement mapFile = account.firstChildElement(u"Map"_s).firstChildElement(u"FileName"_s);
    if (!mapFile.isNull()) {
        // Blanks around the last part of a path are no part of a file name; kept, they would be
        // trimmed away by the next read and the account would name another file.
        m_mapFile = folders::fileNameOf(mapFile.text().trimmed()).trimmed();
        const QString path = mapPath();
        m_map.Reset();
        m_mapLoaded = !path.isEmpty() && m_map.LoadFile(path);
    }

    const QDomElement report = account.firstChildElement(u"ReportSettings"_s);
    for (int i = 0; i < 3; ++i) {
        const QDomElement e = report.firstChildElement(fmt::text(u"PrintVolumes%d", i));
        m_printVolumes[std::size_t(i)] = !e.isNull() && e.text().trimmed() != u"0";
    }
    return S_OK;
}

HRESULT CDevData::Save()
{
    if (m_folder.isEmpty())
        return E_INVALIDARG;
    if (!writeFileAtomically(folders::join(m_folder, accountFileName()), WriteXml()))
        return E_FAIL;
    m_modified = 0;
    return S_OK;
}

HRESULT CDevData::Load(const QString& workingFolder)
{
    HRESULT hr = E_INVALIDARG;
    if (!m_folder.isEmpty()) {
        hr = E_FAIL;
        const QString path = firstAccountFile(m_folder);
        QByteArray bytes;
        if (!path.isEmpty() && readWholeFile(path, bytes))
            hr = ReadXml(bytes);
    }
    LoadPrinterTable(workingFolder);
    return hr;
}

void CDevData::LoadPrinterTable(const QString& workingFolder, bool showErrors)
{
    m_escTable.clear();
    if (m_escTable.load(m_folder.isEmpty() ? QString() : folders::join(m_folder, u"esc.ini"_s), false) == 0)
        return;
    m_escTable.clear();
    m_escTable.load(folders::join(workingFolder, u"esc.ini"_s), showErrors);
}

HRESULT CDevData::UpdateLastConnectDate(const QDateTime& when)
{
    m_lastConnect = when;
    const QString path = firstAccountFile(m_folder);
    QByteArray bytes;
    if (path.isEmpty() || !readWholeFile(path, bytes))
        return E_FAIL;
    QDomDocument doc;
    if (!accountxml::parse(bytes, doc))
        return E_FAIL;
    const QDomElement device = doc.documentElement();
    QDomElement connection = device.firstChildElement(u"Account"_s).firstChildElement(u"Connection"_s);
    if (device.tagName() != u"Device" || connection.isNull())
        return E_FAIL;
    QDomElement date = connection.firstChildElement(u"LastConnectDate"_s);
    if (date.isNull())
        date = addElement(doc, connection, u"LastConnectDate"_s);
    while (date.hasChildNodes())
        date.removeChild(date.firstChild());
    const QString stored = dateutil::toStoredText(when);
    if (!stored.isEmpty())
        date.appendChild(doc.createTextNode(stored));
    return writeFileAtomically(path, accountxml::serialize(doc)) ? S_OK : E_FAIL;
}

QString CDevData::archiveFilePath() const
{
    return folders::join(m_folder, archiveFileName());
}

HRESULT CDevData::LoadArchive(QString* message)
{
    if (m_folder.isEmpty())
        return E_INVALIDARG;
    return archive::readArchiveFile(archiveFilePath(), m_arcParams, m_records, false, std::uint16_t(m_serial),
                                    message);
}

bool CDevData::WriteArchive(QString* error) const
{
    if (m_folder.isEmpty())
        return false;
    return archive::writeArchiveFile(archiveFilePath(), m_arcParams, m_records, std::uint16_t(m_serial), error);
}
