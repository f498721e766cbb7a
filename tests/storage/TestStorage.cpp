#include <cerrno>

#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "base/CodePage.h"
#include "base/Format.h"
#include "storage/AccountXml.h"
#include "storage/CANSIFile.h"
#include "storage/CDevData.h"
#include "storage/DeviceListExport.h"
#include "storage/DeviceTypes.h"
#include "storage/Folders.h"

using namespace Qt::Literals::StringLiterals;
using testsupport::readFile;
using testsupport::writeFile;

Q_DECLARE_METATYPE(CDevData)

namespace {

// The account whose file is kept byte for byte in data/Karna1_01234.xml.
CDevData fullAccount()
{
    CDevData a;
    a.m_serial = 1234;
    a.m_type = 1;
    a.m_netAddress = 0x1F;
    a.m_consumer = u"ООО «Тепло», цех 2"_s;
    a.m_phone = u"+7 495 123-45-67"_s;
    a.m_consumerId = u"A-17"_s;
    a.m_address = u"ул. Ленина, 5 & 7 <корп. \"Б\">"_s;
    a.m_contact = u"Петров П.П."_s;
    a.m_useAccountForHeader = true;
    a.m_connection.port = 3;
    a.m_connection.dcb.BaudRate = 9600;
    a.m_connection.dcb.ByteSize = 8;
    a.m_connection.dcb.Parity = 2;
    a.m_connection.dcb.StopBits = 1;
    setDcbFlag(a.m_connection.dcb, DcbFlag::fOutX, 1);
    setDcbFlag(a.m_connection.dcb, DcbFlag::fInX, 1);
    setDcbFlag(a.m_connection.dcb, DcbFlag::fOutxCtsFlow, 1);
    setDcbFlag(a.m_connection.dcb, DcbFlag::fRtsControl, 2);
    a.m_answerTimeout = 1500;
    a.m_retries = 5;
    a.m_perContourRead = true;
    a.m_useModem = a.m_modem.useModem = true;
    a.m_modem.phone = codepage::toAnsi(u"8,495 Доб. 12"_s);
    a.m_lastConnect = QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9));
    for (int i = 0; i < 100; ++i)
        a.m_config += char(i * 7);
    a.m_mapFile = u"karna.map"_s;
    a.m_printVolumes = {true, false, true};
    return a;
}

CDevData account(int serial, int type, const QString& consumer = QString())
{
    CDevData a;
    a.m_serial = serial;
    a.m_type = type;
    a.m_consumer = consumer;
    return a;
}

void compareStored(const CDevData& got, const CDevData& want)
{
    QCOMPARE(got.m_serial, want.m_serial);
    QCOMPARE(got.m_type, want.m_type);
    QCOMPARE(got.m_netAddress, want.m_netAddress);
    QCOMPARE(got.m_lastConnect, want.m_lastConnect);
    QCOMPARE(got.m_consumer, want.m_consumer);
    QCOMPARE(got.m_phone, want.m_phone);
    QCOMPARE(got.m_consumerId, want.m_consumerId);
    QCOMPARE(got.m_address, want.m_address);
    QCOMPARE(got.m_contact, want.m_contact);
    QCOMPARE(got.m_useAccountForHeader, want.m_useAccountForHeader);
    QCOMPARE(got.m_connection.port, want.m_connection.port);
    QCOMPARE(got.m_connection.dcb, want.m_connection.dcb);
    QCOMPARE(got.m_answerTimeout, want.m_answerTimeout);
    QCOMPARE(got.m_retries, want.m_retries);
    QCOMPARE(got.m_perContourRead, want.m_perContourRead);
    QCOMPARE(got.m_useModem, want.m_useModem);
    QCOMPARE(got.m_modem.useModem, want.m_useModem);
    QCOMPARE(got.m_modem.phone, want.m_modem.phone);
    QCOMPARE(got.m_modem.initString, want.m_modem.initString);
    QCOMPARE(got.m_config, want.m_config);
    QCOMPARE(got.m_mapFile, want.m_mapFile);
    QCOMPARE(got.m_printVolumes, want.m_printVolumes);
}

// An account file around the given parts: `param` inside "Param", `account` at the end of
// "Account", `connection` at the end of "Connection".
QByteArray accountXml(const QString& param, const QString& account = QString(), const QString& connection = QString())
{
    return (u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Device><Account><Type>2</Type><SerialNumber>77</SerialNumber>"
            u"<NetworkAddress>5</NetworkAddress><Consumer>C</Consumer><ConsumerID>I</ConsumerID><Address>A</Address>"
            u"<Phone>P</Phone><ContactPerson>K</ContactPerson><Connection><CommDevice>COM</CommDevice><Param>"_s
            + param + u"</Param>"_s + connection + u"</Connection>"_s + account + u"</Account></Device>"_s)
        .toUtf8();
}

QStringList entriesBelow(const QString& folder)
{
    QStringList all;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next();
    all.sort();
    return all;
}

} // namespace

class TestStorage : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void deviceTypes_data();
    void deviceTypes();
    void accountNames();

    void saveLoadKeepsStoredFields_data();
    void saveLoadKeepsStoredFields();
    void unstoredLineSettingsComeBackZero();
    void savedFileBytes();
    void textsXmlCannotHoldStillReload();
    void saveNeedsFolder();

    void paramTexts_data();
    void paramTexts();
    void lastConnectDate_data();
    void lastConnectDate();
    void configElement_data();
    void configElement();
    void requiredElements_data();
    void requiredElements();
    void mapFileNameByBaseName_data();
    void mapFileNameByBaseName();
    void deepNestingRefused();

    void firstXmlFileInNameOrder();
    void loadAllSkipsFoldersWithoutAccount();
    void updateLastConnectDateInPlace();

    void addAccountRules_data();
    void addAccountRules();
    void addAccountMap_data();
    void addAccountMap();
    void addAccountArchive();

    void exportDeviceList();
    void exportEmptyList();

    void deleteTreeKeepsLinkTargets();
    void deleteTreeFailsOnLockedFolder();
    void deleteTreeDeletesAllItCan();
    void hiddenNamesAreListed();
    void moveFolder();
    void findFilesAndPaths();

    void ansiFileReadLines_data();
    void ansiFileReadLines();
    void ansiFileWrite();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testsupport::MessageRecorder> m_messages;

    QString wf() const { return m_dir->path(); }
    QString path(const QString& rel) const { return m_dir->filePath(rel); }
};

void TestStorage::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // The old recorder must restore the backend before the new one is installed.
    m_messages.reset();
    m_messages = std::make_unique<testsupport::MessageRecorder>();
}

void TestStorage::deviceTypes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::newRow("number") << u"3"_s << 3;
    QTest::newRow("code name any case") << u"kARNA1"_s << 1;
    QTest::newRow("display name any case") << u"велос-2"_s << 2;
    QTest::newRow("number beyond the list") << u"4"_s << 0;
    QTest::newRow("zero") << u"0"_s << 0;
    QTest::newRow("unknown") << u"Karna"_s << 0;
    QTest::newRow("empty") << QString() << 0;
}

void TestStorage::deviceTypes()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QCOMPARE(devtypes::fromText(text), type);
    QCOMPARE(devtypes::count(), 3);
    QCOMPARE(devtypes::displayNames(), QStringList({u"Карна-1"_s, u"Велос-2"_s, u"Дарна-3"_s}));
    QCOMPARE(devtypes::codeName(3), u"Darna3"_s);
    QVERIFY(devtypes::displayName(0).isEmpty());
    QVERIFY(devtypes::codeName(4).isEmpty());
}

void TestStorage::accountNames()
{
    const CDevData a = account(1234, 1);
    QCOMPARE(a.shortName(), u"Karna1_01234"_s);
    QCOMPARE(a.accountFolder(u"/w"_s), u"/w/Devices/Karna1_01234"_s);
    QCOMPARE(a.accountFileName(), u"01234.xml"_s);
    QCOMPARE(a.archiveFileName(), u"01234.tsa"_s);
    QCOMPARE(account(7, 9).shortName(), u"_00007"_s);
    QCOMPARE(folders::deviceArchivesFolder(u"/w/"_s), u"/w/DeviceArchives"_s);
    QCOMPARE(folders::reportFilePath(u"/w"_s, a.shortName()), u"/w/Reports/Karna1_01234.tsr"_s);
}

void TestStorage::saveLoadKeepsStoredFields_data()
{
    QTest::addColumn<CDevData>("record");
    QTest::newRow("every field set") << fullAccount();
    QTest::newRow("initial values") << account(1, 1);

    CDevData a = account(65534, 3, u"  leading and trailing blanks  "_s);
    a.m_contact = u"line one\nline two\rthree\ttab"_s;
    a.m_connection.port = 12;
    a.m_connection.dcb.StopBits = 2;
    a.m_connection.dcb.Parity = 4;
    setDcbFlag(a.m_connection.dcb, DcbFlag::fOutxCtsFlow, 1);
    setDcbFlag(a.m_connection.dcb, DcbFlag::fRtsControl, 2);
    a.m_config = QByteArray(57, '\xff'); // exactly one full Base64 line
    a.m_modem.initString = "ATZ";
    QTest::newRow("hardware flow, odd texts") << a;

    CDevData b = account(42, 2, u"&amp; <not a tag> \"q\" 'a' ]]>"_s);
    setDcbFlag(b.m_connection.dcb, DcbFlag::fOutX, 1);
    setDcbFlag(b.m_connection.dcb, DcbFlag::fInX, 1);
    b.m_config = QByteArray(1, '\0');
    b.m_lastConnect = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59));
    b.m_printVolumes = {false, true, false};
    QTest::newRow("software flow, markup in texts") << b;

    // Values of blanks only are values too; the XML reader would drop them as formatting.
    CDevData c = account(500, 1, u"   "_s);
    c.m_phone = u"\t"_s;
    c.m_contact = u" \n "_s;
    c.m_address = u" "_s;
    QTest::newRow("blanks only") << c;
}

void TestStorage::saveLoadKeepsStoredFields()
{
    QFETCH(CDevData, record);
    record.m_folder = path(u"acc"_s);
    QVERIFY(QDir().mkpath(record.m_folder));
    record.m_modified = 1;
    QCOMPARE(record.Save(), S_OK);
    QCOMPARE(record.m_modified, 0);

    CDevData loaded;
    loaded.m_folder = record.m_folder;
    QCOMPARE(loaded.Load(wf()), S_OK);
    // The reader turns CR LF and lone CR alike into LF only when they reach it unescaped.
    compareStored(loaded, record);
}

void TestStorage::unstoredLineSettingsComeBackZero()
{
    CDevData a = account(5, 1);
    a.m_folder = path(u"acc"_s);
    QVERIFY(QDir().mkpath(a.m_folder));
    DeviceControlBlock& dcb = a.m_connection.dcb;
    dcb = defaultDeviceControlBlock();
    dcb.DCBlength = 28;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\n';
    dcb.wReserved = dcb.wReserved1 = 7;
    setDcbFlag(dcb, DcbFlag::fDtrControl, 1);
    setDcbFlag(dcb, DcbFlag::fRtsControl, 1); // not handshake, so not stored
    setDcbFlag(dcb, DcbFlag::fOutX, 1);       // without fInX: not XON/XOFF
    setDcbFlag(dcb, DcbFlag::fAbortOnError, 1);
    QCOMPARE(a.Save(), S_OK);

    CDevData loaded;
    loaded.m_folder = a.m_folder;
    loaded.m_connection.dcb = dcb;
    QCOMPARE(loaded.Load(wf()), S_OK);
    DeviceControlBlock want;
    want.BaudRate = dcb.BaudRate;
    want.ByteSize = dcb.ByteSize;
    want.Parity = dcb.Parity;
    want.StopBits = dcb.StopBits;
    QCOMPARE(loaded.m_connection.dcb, want);
}

void TestStorage::savedFileBytes()
{
    CDevData a = fullAccount();
    a.m_folder = path(u"acc"_s);
    QVERIFY(QDir().mkpath(a.m_folder));
    QCOMPARE(a.Save(), S_OK);
    const QByteArray expected = readFile(QStringLiteral(STORAGE_DATA_DIR "/Karna1_01234.xml"));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(readFile(path(u"acc/01234.xml"_s)), expected);
}

void TestStorage::textsXmlCannotHoldStillReload()
{
    // Texts filled from configuration memory may carry control bytes; a file holding them raw
    // would never load again and the account would vanish at the next start.
    CDevData a = account(9, 1, u"ab\x01\x1F"_s + QChar(0xD800) + u"c\uFFFE"_s);
    a.m_folder = path(u"acc"_s);
    QVERIFY(QDir().mkpath(a.m_folder));
    QCOMPARE(a.Save(), S_OK);
    CDevData loaded;
    loaded.m_folder = a.m_folder;
    QCOMPARE(loaded.Load(wf()), S_OK);
    QCOMPARE(loaded.m_consumer, u"abc"_s);
}

void TestStorage::saveNeedsFolder()
{
    CDevData a = account(9, 1);
    a.m_modified = 1;
    QCOMPARE(a.Save(), E_INVALIDARG);
    a.m_folder = path(u"missing"_s);
    QCOMPARE(a.Save(), E_FAIL);
    QCOMPARE(a.m_modified, 1);
    QCOMPARE(a.Load(wf()), E_FAIL);
}

void TestStorage::paramTexts_data()
{
    QTest::addColumn<QString>("param");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<bool>("software");
    QTest::addColumn<bool>("hardware");
    QTest::addColumn<bool>("useModem");
    QTest::addColumn<bool>("perContour");
    // The record starts at port 5, so a port that is not taken shows as 5.
    QTest::newRow("nothing") << QString() << 5 << 0 << 0 << false << false << false << false;
    QTest::newRow("port") << u"<Port>COM12</Port>"_s << 12 << 0 << 0 << false << false << false << false;
    QTest::newRow("port without digits") << u"<Port>COM</Port>"_s << 5 << 0 << 0 << false << false << false << false;
    QTest::newRow("port zero") << u"<Port>COM0</Port>"_s << 5 << 0 << 0 << false << false << false << false;
    QTest::newRow("port negative") << u"<Port>COM-3</Port>"_s << 5 << 0 << 0 << false << false << false << false;
    QTest::newRow("port not COM") << u"<Port>/dev/ttyS0</Port>"_s << 5 << 0 << 0 << false << false << false << false;
    QTest::newRow("stop 1,5") << u"<StopBits>1,5</StopBits>"_s << 5 << 1 << 0 << false << false << false << false;
    QTest::newRow("stop 1.5") << u"<StopBits>1.5</StopBits>"_s << 5 << 1 << 0 << false << false << false << false;
    QTest::newRow("stop 2") << u"<StopBits>2</StopBits>"_s << 5 << 2 << 0 << false << false << false << false;
    QTest::newRow("stop other") << u"<StopBits>3</StopBits>"_s << 5 << 0 << 0 << false << false << false << false;
    QTest::newRow("parity any case") << u"<Parity>sPACE</Parity>"_s << 5 << 0 << 4 << false << false << false
                                     << false;
    QTest::newRow("parity unknown") << u"<Parity>Strange</Parity>"_s << 5 << 0 << 0 << false << false << false
                                    << false;
    QTest::newRow("software and hardware") << u"<FlowControl>Software, Hardware</FlowControl>"_s << 5 << 0 << 0
                                           << true << true << false << false;
    QTest::newRow("lower-case soft") << u"<FlowControl>soft</FlowControl>"_s << 5 << 0 << 0 << false << false
                                     << false << false;
    QTest::newRow("written form") << u"<FlowControl>XON/XOFF+RTS/CTS</FlowControl>"_s << 5 << 0 << 0 << true << true
                                  << false << false;
    QTest::newRow("Hard alone") << u"<FlowControl>Hard</FlowControl>"_s << 5 << 0 << 0 << false << true << false
                                << false;
    QTest::newRow("YES") << u"<Modem><UseModem>YES</UseModem></Modem>"_s << 5 << 0 << 0 << false << false << true
                         << false;
    QTest::newRow("yes") << u"<Modem><UseModem>yes</UseModem></Modem>"_s << 5 << 0 << 0 << false << false << true
                         << false;
    QTest::newRow("modem true") << u"<Modem><UseModem>true</UseModem></Modem>"_s << 5 << 0 << 0 << false << false
                                << false << false;
    QTest::newRow("per contour 1") << u"<UsePerContourArcRead>1</UsePerContourArcRead>"_s << 5 << 0 << 0 << false
                                   << false << false << true;
    QTest::newRow("per contour TRUE") << u"<UsePerContourArcRead>TRUE</UsePerContourArcRead>"_s << 5 << 0 << 0
                                      << false << false << false << true;
    QTest::newRow("per contour yes") << u"<UsePerContourArcRead>yes</UsePerContourArcRead>"_s << 5 << 0 << 0
                                     << false << false << false << false;
}

void TestStorage::paramTexts()
{
    QFETCH(QString, param);
    CDevData a;
    a.m_connection.port = 5;
    a.m_connection.dcb = defaultDeviceControlBlock();
    QCOMPARE(a.ReadXml(accountXml(param)), S_OK);
    const DeviceControlBlock& dcb = a.m_connection.dcb;
    QTEST(a.m_connection.port, "port");
    QTEST(int(dcb.StopBits), "stopBits");
    QTEST(int(dcb.Parity), "parity");
    QTEST(dcbFlag(dcb, DcbFlag::fOutX) == 1 && dcbFlag(dcb, DcbFlag::fInX) == 1, "software");
    QTEST(dcbFlag(dcb, DcbFlag::fOutxCtsFlow) == 1 && dcbFlag(dcb, DcbFlag::fRtsControl) == 2, "hardware");
    QTEST(a.m_useModem, "useModem");
    QCOMPARE(a.m_modem.useModem, a.m_useModem);
    QTEST(a.m_perContourRead, "perContour");
    // Bits no name stands for stay clear.
    QCOMPARE(dcbFlag(dcb, DcbFlag::fBinary), 0u);
}

void TestStorage::lastConnectDate_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QDateTime>("date");
    const QDateTime t(QDate(2023, 11, 2), QTime(9, 5, 0));
    const QString modem = u"<Modem/>"_s;
    QTest::newRow("stored form") << accountXml(modem, {}, u"<LastConnectDate>2023-11-02T09:05:00</LastConnectDate>"_s)
                                 << t;
    QTest::newRow("Russian form") << accountXml(modem, {}, u"<LastConnectDate>02.11.2023 9:05:00</LastConnectDate>"_s)
                                  << t;
    QTest::newRow("unreadable") << accountXml(modem, {}, u"<LastConnectDate>yesterday</LastConnectDate>"_s)
                                << QDateTime();
    QTest::newRow("without Modem") << accountXml({}, {}, u"<LastConnectDate>2023-11-02T09:05:00</LastConnectDate>"_s)
                                   << QDateTime(QDate(2000, 1, 1), QTime(0, 0));
}

void TestStorage::lastConnectDate()
{
    QFETCH(QByteArray, xml);
    CDevData a;
    a.m_lastConnect = QDateTime(QDate(2000, 1, 1), QTime(0, 0));
    QCOMPARE(a.ReadXml(xml), S_OK);
    QTEST(a.m_lastConnect, "date");
}

void TestStorage::configElement_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<QByteArray>("config");
    const QByteArray bytes = "0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz";
    const QString text = accountxml::configText(bytes);
    QVERIFY(text.contains(u"\r\n"_s));
    const auto config = [](const QString& attrs, const QString& body) -> QString {
        return u"<Config "_s + attrs + u'>' + body + u"</Config>"_s;
    };
    const QString sizes = fmt::text(u"size=\"%d\" binarySize=\"%d\"", int(text.size()), int(bytes.size()));
    QTest::newRow("as written") << config(sizes, text) << bytes;
    QTest::newRow("LF lines") << config(sizes, QString(text).replace(u"\r\n"_s, u"\n"_s)) << bytes;
    QTest::newRow("binarySize differs") << config(fmt::text(u"size=\"%d\" binarySize=\"71\"", int(text.size())), text)
                                        << QByteArray();
    QTest::newRow("no size") << config(u"binarySize=\"72\""_s, text) << QByteArray();
    QTest::newRow("size 0") << config(u"size=\"0\" binarySize=\"72\""_s, text) << QByteArray();
    QTest::newRow("size below decoded") << config(u"size=\"10\" binarySize=\"72\""_s, text) << QByteArray();
    QTest::newRow("no binarySize") << config(u"size=\"98\""_s, text) << QByteArray();
    QTest::newRow("empty text") << config(u"size=\"98\" binarySize=\"0\""_s, {}) << QByteArray();
    QTest::newRow("not Base64") << config(u"size=\"8\" binarySize=\"3\""_s, u"AB*D"_s) << QByteArray();
}

void TestStorage::configElement()
{
    QFETCH(QString, element);
    CDevData a;
    a.m_config = "left from before";
    QCOMPARE(a.ReadXml(accountXml({}, element)), S_OK);
    QTEST(a.m_config, "config");
}

void TestStorage::requiredElements_data()
{
    QTest::addColumn<QString>("drop");
    QTest::addColumn<HRESULT>("result");
    for (const char16_t* name : {u"Type", u"SerialNumber", u"NetworkAddress", u"Consumer", u"ConsumerID", u"Address",
                                 u"Phone", u"ContactPerson"})
        QTest::newRow(QString::fromUtf16(name).toUtf8().constData()) << QString::fromUtf16(name) << E_FAIL;
    QTest::newRow("Connection is optional") << u"Connection"_s << S_OK;
    QTest::newRow("Device root") << u"Device"_s << E_FAIL;
}

void TestStorage::requiredElements()
{
    QFETCH(QString, drop);
    QString xml = QString::fromUtf8(accountXml({}));
    if (drop == u"Device") {
        xml.replace(u"Device>"_s, u"Devices>"_s);
    } else {
        const qsizetype from = xml.indexOf(u'<' + drop + u'>');
        const QString close = u"</"_s + drop + u'>';
        xml.remove(from, xml.indexOf(close) + close.size() - from);
    }
    CDevData a;
    QTEST(a.ReadXml(xml.toUtf8()), "result");
}

void TestStorage::mapFileNameByBaseName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("mapFile");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("plain") << u"k.map"_s << u"k.map"_s << true;
    QTest::newRow("Windows path") << u"C:\\Lorn2\\Maps\\k.map"_s << u"k.map"_s << true;
    QTest::newRow("climbing out") << u"../../k.map"_s << u"k.map"_s << true;
    QTest::newRow("drive only") << u"D:k.map"_s << u"k.map"_s << true;
    QTest::newRow("missing file") << u"other.map"_s << u"other.map"_s << false;
    QTest::newRow("parent folder") << u".."_s << QString() << false;
}

void TestStorage::mapFileNameByBaseName()
{
    QFETCH(QString, fileName);
    QVERIFY(QDir().mkpath(path(u"acc"_s)));
    QVERIFY(writeFile(path(u"acc/k.map"_s), "map"));
    QVERIFY(writeFile(path(u"k.map"_s), "outside"));
    CDevData a;
    a.m_folder = path(u"acc"_s);
    QCOMPARE(a.ReadXml(accountXml({}, u"<Map><FileName>"_s + fileName + u"</FileName></Map>"_s)), S_OK);
    QTEST(a.m_mapFile, "mapFile");
    QTEST(a.m_mapLoaded, "loaded");
    QCOMPARE(a.WriteXml().contains("<Map>"), !a.m_mapFile.isEmpty());
}

void TestStorage::deepNestingRefused()
{
    // Without the guard the DOM builder takes minutes over this.
    QByteArray xml = accountXml({});
    xml.insert(xml.indexOf("</Account>"), QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000));
    CDevData a;
    QCOMPARE(a.ReadXml(xml), E_FAIL);
}

void TestStorage::firstXmlFileInNameOrder()
{
    const QString folder = path(u"acc"_s);
    QVERIFY(QDir().mkpath(folder + u"/c.xml"_s)); // a folder, not a file
    QVERIFY(writeFile(folder + u"/B.XML"_s, accountXml({}).replace("<SerialNumber>77", "<SerialNumber>2")));
    QVERIFY(writeFile(folder + u"/a.xml"_s, accountXml({}).replace("<SerialNumber>77", "<SerialNumber>1")));
    QVERIFY(writeFile(folder + u"/0.txt"_s, "not an account"));
    CDevData a;
    a.m_folder = folder;
    QCOMPARE(a.Load(wf()), S_OK);
    QCOMPARE(a.m_serial, 1);
    QStringList names;
    QCOMPARE(folders::findFiles(folder + u"/*.xml"_s, names), S_OK);
    QCOMPARE(names, QStringList({u"a.xml"_s, u"B.XML"_s}));
}

void TestStorage::loadAllSkipsFoldersWithoutAccount()
{
    std::vector<CDevData> list;
    QCOMPARE(accounts::loadAll(wf(), list), E_FAIL);
    QVERIFY(list.empty());

    const QString devices = path(u"Devices"_s);
    for (const char* name : {"Velos2_00002", "broken", "empty", "Karna1_00001"})
        QVERIFY(QDir().mkpath(devices + u'/' + QLatin1StringView(name)));
    QVERIFY(writeFile(devices + u"/Velos2_00002/00002.xml"_s, accountXml({}).replace("77", "2")));
    QVERIFY(writeFile(devices + u"/Karna1_00001/00001.xml"_s, accountXml({}).replace("77", "1")));
    QVERIFY(writeFile(devices + u"/broken/00003.xml"_s, accountXml({}).replace("<Phone>P</Phone>", "")));
    QVERIFY(writeFile(devices + u"/stray.xml"_s, accountXml({})));
    QVERIFY(writeFile(path(u"esc.ini"_s), "Bold.On=<ESC>E\r\n"));

    QCOMPARE(accounts::loadAll(wf(), list), S_OK);
    QCOMPARE(list.size(), std::size_t(2));
    QCOMPARE(list[0].m_serial, 1);
    QCOMPARE(list[0].m_folder, devices + u"/Karna1_00001"_s);
    QCOMPARE(list[1].m_serial, 2);
    // Each account falls back to the working folder's printer codes.
    QCOMPARE(list[1].m_escTable.groups().size(), std::size_t(1));
    QVERIFY((*m_messages)->shown().empty());
}

void TestStorage::updateLastConnectDateInPlace()
{
    CDevData a = fullAccount();
    a.m_folder = path(u"acc"_s);
    QVERIFY(QDir().mkpath(a.m_folder));
    QCOMPARE(a.Save(), S_OK);
    const QByteArray withDate = readFile(path(u"acc/01234.xml"_s));

    const QDateTime when = a.m_lastConnect;
    a.m_lastConnect = QDateTime();
    QCOMPARE(a.Save(), S_OK);
    QVERIFY(!readFile(path(u"acc/01234.xml"_s)).contains("LastConnectDate"));
    QCOMPARE(a.UpdateLastConnectDate(when), S_OK);
    QCOMPARE(a.m_lastConnect, when);
    QCOMPARE(readFile(path(u"acc/01234.xml"_s)), withDate);

    const QDateTime later = when.addDays(400);
    QCOMPARE(a.UpdateLastConnectDate(later), S_OK);
    CDevData loaded;
    loaded.m_folder = a.m_folder;
    QCOMPARE(loaded.Load(wf()), S_OK);
    QCOMPARE(loaded.m_lastConnect, later);
    QCOMPARE(readFile(path(u"acc/01234.xml"_s)).count("LastConnectDate"), 2);

    a.m_folder = path(u"nowhere"_s);
    QCOMPARE(a.UpdateLastConnectDate(later), E_FAIL);
}

void TestStorage::addAccountRules_data()
{
    QTest::addColumn<bool>("firstDeleted");
    QTest::addColumn<int>("serial");
    QTest::addColumn<int>("type");
    QTest::addColumn<HRESULT>("result");
    QTest::newRow("serial 0") << false << 0 << 2 << E_INVALIDARG;
    QTest::newRow("serial 65535") << false << 65535 << 2 << E_INVALIDARG;
    QTest::newRow("serial 65534") << false << 65534 << 2 << S_OK;
    QTest::newRow("same serial and type") << false << 1234 << 1 << E_FAIL;
    QTest::newRow("type 0 matches any") << false << 1234 << 0 << E_FAIL;
    QTest::newRow("same serial, other type") << false << 1234 << 2 << S_OK;
    QTest::newRow("first was deleted") << true << 1234 << 1 << S_OK;
}

void TestStorage::addAccountRules()
{
    QFETCH(bool, firstDeleted);
    QFETCH(int, serial);
    QFETCH(int, type);
    QFETCH(HRESULT, result);
    std::vector<CDevData> list;
    QCOMPARE(accounts::addAccount(list, account(1234, 1, u"first"_s), wf()), S_OK);
    list[0].m_deleted = firstDeleted;
    if (firstDeleted)
        QVERIFY(folders::deleteTree(list[0].m_folder));
    const QStringList before = entriesBelow(wf());

    CDevData record = account(serial, type, u"second"_s);
    QCOMPARE(accounts::addAccount(list, record, wf()), result);
    // Adding never reports the missing printer codes file.
    QVERIFY((*m_messages)->shown().empty());
    if (FAILED(result)) {
        QCOMPARE(list.size(), std::size_t(1));
        QCOMPARE(entriesBelow(wf()), before);
        return;
    }
    QCOMPARE(list.size(), std::size_t(2));
    const CDevData& added = list.back();
    QCOMPARE(added.m_folder, record.accountFolder(wf()));
    CDevData loaded;
    loaded.m_folder = added.m_folder;
    QCOMPARE(loaded.Load(wf()), S_OK);
    QCOMPARE(loaded.m_consumer, u"second"_s);
}

void TestStorage::addAccountMap_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("mapFile");
    QTest::newRow("outside the folder") << u"maps/karna.map"_s << u"karna.map"_s;
    QTest::newRow("already in the folder") << u"Devices/Karna1_00010/karna.map"_s << u"karna.map"_s;
    QTest::newRow("missing") << u"maps/none.map"_s << QString();
}

void TestStorage::addAccountMap()
{
    QFETCH(QString, source);
    QVERIFY(QDir().mkpath(path(u"maps"_s)));
    QVERIFY(QDir().mkpath(path(u"Devices/Karna1_00010"_s)));
    QVERIFY(writeFile(path(u"maps/karna.map"_s), "map text"));
    QVERIFY(writeFile(path(u"Devices/Karna1_00010/karna.map"_s), "map text"));
    std::vector<CDevData> list;
    CDevData record = account(10, 1);
    record.m_mapFile = path(source);
    record.m_mapChanged = true;
    QCOMPARE(accounts::addAccount(list, record, wf()), S_OK);
    const CDevData& added = list.back();
    QTEST(added.m_mapFile, "mapFile");
    QCOMPARE(added.m_mapLoaded, !added.m_mapFile.isEmpty());
    if (!added.m_mapFile.isEmpty()) {
        QCOMPARE(readFile(path(u"Devices/Karna1_00010/karna.map"_s)), QByteArray("map text"));
        QVERIFY(readFile(path(u"Devices/Karna1_00010/00010.xml"_s)).contains("<FileName>karna.map</FileName>"));
    }
}

void TestStorage::addAccountArchive()
{
    QVERIFY(writeFile(path(u"import.tsa"_s), "archive bytes"));
    QVERIFY(writeFile(path(u"esc.ini"_s), "Bold.On=<ESC>E\r\n"));
    std::vector<CDevData> list;
    QCOMPARE(accounts::addAccount(list, account(321, 3), wf(), path(u"import.tsa"_s)), S_OK);
    QCOMPARE(readFile(path(u"Devices/Darna3_00321/00321.tsa"_s)), QByteArray("archive bytes"));
    QVERIFY(!list.back().m_escTable.isEmpty());

    QCOMPARE(accounts::addAccount(list, account(322, 3), wf(), path(u"missing.tsa"_s)), E_ABORT);
    QCOMPARE(list.size(), std::size_t(1));
}

void TestStorage::exportDeviceList()
{
    std::vector<CDevData> list;
    CDevData first = account(1234, 1, u"Иванов"_s);
    first.m_phone = u"123"_s;
    first.m_consumerId = u"ID1"_s;
    first.m_address = u"Addr"_s;
    first.m_contact = u"Pers"_s;
    first.m_netAddress = 255;
    list.push_back(first);
    CDevData deleted = account(5, 2, u"gone"_s);
    deleted.m_deleted = true;
    list.push_back(deleted);
    CDevData third = account(7, 9, u"Ivanov, Ivan"_s);
    third.m_address = u"say \"hi\"\nthere"_s;
    third.m_lastConnect = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5));
    list.push_back(third);

    const QString file = path(u"devices.csv"_s);
    QVERIFY(writeFile(file, "old content that is longer than nothing"));
    QVERIFY(devicelist::exportToFile(file, list));
    const QByteArray bytes = readFile(file);
    const QString expected = u"NN, SerialNumber, Type, LastConnect, Consumer, Phone, ConsumerID, Address, "
                             u"ContactPerson, NetAddress\r\n"
                             u"1, 1234, Карна-1,  ,Иванов, 123, ID1, Addr, Pers, 255\r\n"
                             u"2, 7, , 02.01.2024 3:04:05,\" Ivanov, Ivan\", , ,\" say \"\"hi\"\"\nthere\", , 0\r\n"_s;
    QCOMPARE(bytes, codepage::toAnsi(expected));
    QVERIFY(bytes.contains("1, 1234, \xCA\xE0\xF0\xED\xE0-1,  ,\xC8"));

    QVERIFY(!devicelist::exportToFile(path(u"no/such/folder/devices.csv"_s), list));
}

void TestStorage::exportEmptyList()
{
    QCOMPARE(devicelist::format({}),
             QByteArray("NN, SerialNumber, Type, LastConnect, Consumer, Phone, ConsumerID, Address, ContactPerson, "
                        "NetAddress\r\n"));
}

void TestStorage::deleteTreeKeepsLinkTargets()
{
    QVERIFY(QDir().mkpath(path(u"outside/inner"_s)));
    QVERIFY(writeFile(path(u"outside/inner/keep.txt"_s), "keep"));
    QVERIFY(writeFile(path(u"outside.txt"_s), "keep"));
    QVERIFY(QDir().mkpath(path(u"tree/sub/deeper"_s)));
    QVERIFY(writeFile(path(u"tree/a.xml"_s), "a"));
    QVERIFY(writeFile(path(u"tree/sub/.hidden"_s), "h"));
    QVERIFY(writeFile(path(u"tree/sub/deeper/b"_s), "b"));
    QVERIFY(QFile::link(path(u"outside"_s), path(u"tree/sub/folderlink"_s)));
    QVERIFY(QFile::link(path(u"outside.txt"_s), path(u"tree/filelink"_s)));
    QVERIFY(QFile::link(path(u"nothing"_s), path(u"tree/dangling"_s)));

    QVERIFY(folders::deleteTree(path(u"tree"_s)));
    QVERIFY(!QFileInfo::exists(path(u"tree"_s)));
    QCOMPARE(readFile(path(u"outside/inner/keep.txt"_s)), QByteArray("keep"));
    QCOMPARE(readFile(path(u"outside.txt"_s)), QByteArray("keep"));

    // The account folder itself a link: the link goes, the folder it named stays.
    QVERIFY(QFile::link(path(u"outside"_s), path(u"acclink"_s)));
    QVERIFY(folders::deleteTree(path(u"acclink"_s)));
    QVERIFY(!QFileInfo(path(u"acclink"_s)).isSymLink());
    QVERIFY(QFileInfo::exists(path(u"outside/inner/keep.txt"_s)));

    QVERIFY(!folders::deleteTree(path(u"missing"_s)));
    QVERIFY(!folders::deleteTree(path(u"outside.txt"_s)));
}

void TestStorage::deleteTreeFailsOnLockedFolder()
{
    if (::geteuid() == 0)
        QSKIP("running as root, where folder permissions do not stop a deletion");
    QVERIFY(QDir().mkpath(path(u"tree/locked"_s)));
    QVERIFY(writeFile(path(u"tree/locked/f"_s), "f"));
    QVERIFY(QFile::setPermissions(path(u"tree/locked"_s), QFile::ReadOwner | QFile::ExeOwner));
    const bool deleted = folders::deleteTree(path(u"tree"_s));
    QFile::setPermissions(path(u"tree/locked"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!deleted);
    QVERIFY(QFileInfo::exists(path(u"tree/locked/f"_s)));
}

// Whatever can be deleted is, around entries that cannot be; the whole still fails. As root,
// folder permissions stop nobody, so the deletion runs in a child that is an ordinary user.
void TestStorage::deleteTreeDeletesAllItCan()
{
    const QString tree = path(u"tree"_s);
    QVERIFY(QDir().mkpath(tree));
    for (int i = 0; i < 12; ++i)
        QVERIFY(writeFile(tree + u"/f%1"_s.arg(i), "f"));
    for (const QString& locked : {u"locked1"_s, u"locked2"_s}) {
        QVERIFY(QDir().mkpath(tree + u'/' + locked));
        QVERIFY(writeFile(tree + u'/' + locked + u"/kept"_s, "k"));
        QVERIFY(QFile::setPermissions(tree + u'/' + locked, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                                                 | QFile::ExeOther));
    }
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::WriteOther
                     | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(tree, all));
    QVERIFY(QFile::setPermissions(wf(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                            | QFile::ExeOther));
    bool deleted = true;
    if (::geteuid() == 0) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(!ok ? 2 : folders::deleteTree(tree) ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QVERIFY(WEXITSTATUS(status) != 2);
        deleted = WEXITSTATUS(status) == 0;
    } else {
        deleted = folders::deleteTree(tree);
    }
    for (const QString& locked : {u"locked1"_s, u"locked2"_s})
        QFile::setPermissions(tree + u'/' + locked, all);
    QVERIFY(!deleted);
    QCOMPARE(QDir(tree).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList({u"locked1"_s, u"locked2"_s}));
    QVERIFY(QFileInfo::exists(tree + u"/locked1/kept"_s));
}

void TestStorage::hiddenNamesAreListed()
{
    QVERIFY(QDir().mkpath(path(u"acc"_s)));
    QVERIFY(writeFile(path(u"acc/.hidden.xml"_s), "x"));
    QVERIFY(writeFile(path(u"acc/b.xml"_s), "x"));
    QStringList names;
    QCOMPARE(folders::findFiles(path(u"acc/*.xml"_s), names), S_OK);
    QCOMPARE(names, QStringList({u".hidden.xml"_s, u"b.xml"_s}));
    QVERIFY(QDir().mkpath(path(u"Devices/.Karna1_00001"_s)));
    QVERIFY(QDir().mkpath(path(u"Devices/Karna1_00002"_s)));
    QStringList folderNames;
    QVERIFY(folders::listFolders(path(u"Devices"_s), folderNames));
    QCOMPARE(folderNames, QStringList({u".Karna1_00001"_s, u"Karna1_00002"_s}));
}

void TestStorage::moveFolder()
{
    QVERIFY(QDir().mkpath(path(u"Devices/Karna1_00001"_s)));
    QVERIFY(writeFile(path(u"Devices/Karna1_00001/00001.xml"_s), "x"));
    QVERIFY(QDir().mkpath(path(u"DeviceArchives/Karna1_00002"_s)));
    QString error;
    QVERIFY(folders::moveFolder(path(u"Devices/Karna1_00001"_s), path(u"DeviceArchives/Karna1_00001"_s), &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(readFile(path(u"DeviceArchives/Karna1_00001/00001.xml"_s)), QByteArray("x"));

    // An empty folder of that name is not replaced either.
    QVERIFY(QDir().mkpath(path(u"Devices/Karna1_00002"_s)));
    QVERIFY(!folders::moveFolder(path(u"Devices/Karna1_00002"_s), path(u"DeviceArchives/Karna1_00002"_s), &error));
    QCOMPARE(error, folders::systemErrorText(EEXIST));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo::exists(path(u"Devices/Karna1_00002"_s)));

    QVERIFY(folders::systemErrorText(0).isEmpty());
    QVERIFY(folders::systemErrorText(987654).isEmpty());
}

void TestStorage::findFilesAndPaths()
{
    QStringList names;
    QCOMPARE(folders::findFiles(path(u"missing/*.xml"_s), names), E_FAIL);
    QVERIFY(folders::createPath(path(u"x/y/z"_s)));
    QVERIFY(folders::createPath(path(u"x/y/z"_s)));
    QVERIFY(writeFile(path(u"x/file"_s), ""));
    QVERIFY(!folders::createPath(path(u"x/file"_s)));
    QVERIFY(!folders::createPath(path(u"x/file/below"_s)));
    QCOMPARE(folders::findFiles(path(u"x/*"_s), names), S_OK);
    QCOMPARE(names, QStringList({u"file"_s}));
}

void TestStorage::ansiFileReadLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF, blank lines, я") << QByteArray("first\r\n\r\n\r\n\xff\xe1\r\nlast\r\n")
                                          << QStringList({u"first"_s, u"яб"_s, u"last"_s});
    QTest::newRow("LF and CR") << QByteArray("a\nb\rc\n\rd") << QStringList({u"a"_s, u"b"_s, u"c"_s, u"d"_s});
    QTest::newRow("leading blank lines") << QByteArray("\r\n\nx") << QStringList({u"x"_s});
    QTest::newRow("control bytes are text")
        << QByteArray("\x1a\x00z", 3) << QStringList({QString(QChar(0x1A)) + QChar(0) + u'z'});
    QTest::newRow("empty") << QByteArray() << QStringList();
    const QByteArray longLine(200000, 'q');
    const QString longText = QString::fromLatin1(longLine);
    QTest::newRow("lines across buffer ends")
        << longLine + "\r\n" + longLine + "\r" << QStringList({longText, longText});
}

void TestStorage::ansiFileReadLines()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(writeFile(path(u"t.txt"_s), bytes));
    CANSIFile file;
    QVERIFY(file.open(path(u"t.txt"_s), CANSIFile::Mode::Read));
    QStringList got;
    QString line;
    while (file.readLine(line))
        got << line;
    QVERIFY(!file.failed());
    QTEST(got, "lines");
}

void TestStorage::ansiFileWrite()
{
    const QString target = path(u"out.txt"_s);
    QVERIFY(writeFile(target, "previous"));
    {
        CANSIFile file;
        QVERIFY(file.open(target, CANSIFile::Mode::Write));
        QVERIFY(file.write(u"я\nб"_s));
        QCOMPARE(readFile(target), QByteArray("previous")); // nothing shows before close
    }
    QCOMPARE(readFile(target), QByteArray("previous")); // not closed: discarded
    CANSIFile file;
    QVERIFY(file.open(target, CANSIFile::Mode::Write));
    QVERIFY(file.write(u"я\nб"_s));
    QVERIFY(file.close());
    QCOMPARE(readFile(target), QByteArray("\xff\r\n\xe1"));
}

QTEST_GUILESS_MAIN(TestStorage)
#include "TestStorage.moc"
