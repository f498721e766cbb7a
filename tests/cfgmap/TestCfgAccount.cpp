// The map of an account: parsed when the account is loaded or added.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "cfgmap/CfgDecode.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kMap = "var Serial { type = uint; addr = 0; }\nsection S { var a { type = word; } }\n";
const QByteArray kMapLog = "Line 2: Undefined type: 'word'\r\n";

QByteArray accountXml(const QString& mapName)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Device><Account><Type>1</Type><SerialNumber>7</SerialNumber>"
           "<NetworkAddress>1</NetworkAddress><Consumer/><ConsumerID/><Address/><Phone/><ContactPerson/>"
           "<Map><FileName>"
        + mapName.toUtf8() + "</FileName></Map></Account></Device>";
}

} // namespace

class TestCfgAccount : public QObject
{
    Q_OBJECT

private slots:
    void loadParsesByBaseName_data();
    void loadParsesByBaseName();
    void addParsesTheCopy();
    void failedCopyEmptiesTheMap();

private:
    QTemporaryDir m_dir;
};

void TestCfgAccount::loadParsesByBaseName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("plain") << u"k.map"_s << true;
    QTest::newRow("Windows path") << u"C:\\Maps\\k.map"_s << true;
    QTest::newRow("climbing out") << u"../k.map"_s << true;
    QTest::newRow("missing") << u"none.map"_s << false;
}

void TestCfgAccount::loadParsesByBaseName()
{
    QFETCH(QString, fileName);
    QFETCH(bool, loaded);
    const QString folder = m_dir.filePath(u"Devices/Karna1_00007"_s);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(testsupport::writeFile(folder + u"/00007.xml"_s, accountXml(fileName)));
    QVERIFY(testsupport::writeFile(folder + u"/k.map"_s, kMap));
    // A map beside the folder must never be the one read.
    QVERIFY(testsupport::writeFile(m_dir.filePath(u"Devices/k.map"_s), "var Outside { type = uint; }"));

    testsupport::MessageRecorder messages; // no "esc.ini" here
    std::vector<CDevData> list;
    QCOMPARE(accounts::loadAll(m_dir.path(), list), S_OK);
    QCOMPARE(list.size(), 1u);
    CDevData& acc = list.front();
    QCOMPARE(acc.m_mapLoaded, loaded);
    QCOMPARE(cfgmap::countVariables(acc.m_map.root()), loaded ? 2 : 0);
    QCOMPARE(acc.m_map.errorLog(), loaded ? kMapLog : QByteArray());
    if (loaded) {
        QCOMPARE(acc.m_map.root().vars.at(0).GetName(), QByteArray("Serial"));
        QCOMPARE(acc.m_map.root().GetName(), QByteArray("_!ROOT!_"));
        QVERIFY(!acc.m_map.isFileOpen());
    }
}

void TestCfgAccount::addParsesTheCopy()
{
    QVERIFY(testsupport::writeFile(m_dir.filePath(u"chosen.map"_s), kMap));
    std::vector<CDevData> list;
    CDevData record;
    record.m_serial = 11;
    record.m_type = 2;
    record.m_mapFile = m_dir.filePath(u"chosen.map"_s);
    QCOMPARE(accounts::addAccount(list, record, m_dir.path()), S_OK);
    const CDevData& added = list.back();
    QVERIFY(added.m_mapLoaded);
    QCOMPARE(added.m_mapFile, u"chosen.map"_s);
    QCOMPARE(QString::fromLocal8Bit(added.m_map.GetFileName()), added.m_folder + u"/chosen.map"_s);
    QCOMPARE(cfgmap::countVariables(added.m_map.root()), 2);
    QCOMPARE(added.m_map.errorLog(), kMapLog);
}

void TestCfgAccount::failedCopyEmptiesTheMap()
{
    std::vector<CDevData> list;
    CDevData record;
    record.m_serial = 12;
    record.m_type = 2;
    record.m_map.openBytes(kMap);
    record.m_map.ParseSection(record.m_map.root(), record.m_map.root());
    record.m_map.close();
    record.m_mapFile = m_dir.filePath(u"gone.map"_s);
    QCOMPARE(accounts::addAccount(list, record, m_dir.path()), S_OK);
    const CDevData& added = list.back();
    QVERIFY(!added.m_mapLoaded);
    QVERIFY(added.m_mapFile.isEmpty());
    QCOMPARE(cfgmap::countVariables(added.m_map.root()), 0);
}

QTEST_GUILESS_MAIN(TestCfgAccount)
#include "TestCfgAccount.moc"
