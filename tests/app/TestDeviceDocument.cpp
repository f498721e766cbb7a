#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedShell.h"
#include "TestSupport.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "app/OperationPace.h"
#include "app/ProfileStore.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(MbAnswer)
Q_DECLARE_METATYPE(ViewKind)

namespace {

sctArcZap hourRecord(int day, int hour)
{
    sctArcZap r;
    r.year = 24;
    r.month = 3;
    r.day = std::uint8_t(day);
    r.hour = std::uint8_t(hour);
    r.Event = archive::kEventHourly;
    r.Q[0] = float(day * 24 + hour);
    return r;
}

// The device operations are played by the test: each call runs `operation` on the account.
class DeviceShell : public ScriptedShell
{
public:
    bool editConnection(CDevData& account) override
    {
        ++connectionDialogs;
        if (!connectionAnswer)
            return false;
        account.m_connection.port = *connectionAnswer;
        return true;
    }
    bool setClock(CDevData* account, const ClockSetter& run) override
    {
        clockAccount = account;
        return run(clockTime);
    }
    bool runDeviceOperation(CDevData& account, const DeviceOperationRequest& request) override
    {
        requests.push_back(request);
        reportSettingsSeen = account.m_report;
        return operation && operation(account);
    }

    std::optional<int> connectionAnswer;
    int connectionDialogs = 0;
    CDevData* clockAccount = nullptr;
    QDateTime clockTime{QDate(2024, 3, 5), QTime(10, 11, 12)};
    std::vector<DeviceOperationRequest> requests;
    archive::ReportState reportSettingsSeen;
    std::function<bool(CDevData&)> operation;
};

struct Fixture
{
    Fixture()
        : store(dir.filePath(u"lorn2.ini"_s))
        , doc(store, dir.path())
    {
        testsupport::writeFile(dir.filePath(u"esc.ini"_s), QByteArray());
        doc.setShell(&shell);
        doc.OnNewDocument();
        doc.fillDeviceList();
        shell.accountEdits.push_back([](CDevData& r) {
            r.m_serial = 4321;
            r.m_type = 1;
            return true;
        });
        doc.OnAddAccount();
    }

    CDevData& acc() { return doc.accounts().front(); }
    // The account as the next start would load it.
    CDevData reloaded()
    {
        CDevData r;
        r.m_folder = acc().m_folder;
        r.Load(dir.path());
        return r;
    }

    testsupport::MessageRecorder messages;
    QTemporaryDir dir;
    ProfileStore store;
    DeviceShell shell;
    CLorn2Doc doc;
};

} // namespace

class TestDeviceDocument : public QObject
{
    Q_OBJECT

private slots:
    void preamble_data();
    void preamble();
    void readArchive_data();
    void readArchive();
    void readConfig_data();
    void readConfig();
    void readReport();
    void readReportCancelled();
    void editConnection_data();
    void editConnection();
    void setClock();
    void commandsNeedTheirViews();
    void pace_data();
    void pace();
    void paceFollowsPhases();
};

void TestDeviceDocument::preamble_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<std::optional<int>>("dialogAnswer");
    QTest::addColumn<bool>("dialogShown");
    QTest::addColumn<bool>("operationRun");
    QTest::addColumn<int>("savedPort");

    QTest::newRow("port set: no dialog") << 3 << std::optional<int>() << false << true << 3;
    QTest::newRow("no port, cancelled") << 0 << std::optional<int>() << true << false << 0;
    QTest::newRow("no port, chosen and saved") << -1 << std::optional<int>(7) << true << true << 7;
}

void TestDeviceDocument::preamble()
{
    QFETCH(int, port);
    QFETCH(std::optional<int>, dialogAnswer);
    QFETCH(bool, dialogShown);
    QFETCH(bool, operationRun);
    QFETCH(int, savedPort);

    Fixture f;
    f.acc().m_connection.port = port;
    QCOMPARE(f.acc().Save(), S_OK);
    f.shell.connectionAnswer = dialogAnswer;
    f.shell.operation = [](CDevData&) { return false; };
    QVERIFY(!f.doc.OnReadArchive());
    QCOMPARE(f.shell.connectionDialogs, dialogShown ? 1 : 0);
    QCOMPARE(f.shell.requests.size(), std::size_t(operationRun ? 1 : 0));
    QCOMPARE(f.reloaded().m_connection.port, savedPort);
    QCOMPARE(f.shell.view, ViewKind::DeviceList);
}

void TestDeviceDocument::readArchive_data()
{
    QTest::addColumn<bool>("archiveWritable");
    QTest::addColumn<MbAnswer>("showAnyway");
    QTest::addColumn<bool>("shown");

    QTest::newRow("written") << true << MbAnswer::No << true;
    QTest::newRow("not written, shown anyway") << false << MbAnswer::Yes << true;
    QTest::newRow("not written, not shown") << false << MbAnswer::No << false;
}

void TestDeviceDocument::readArchive()
{
    QFETCH(bool, archiveWritable);
    QFETCH(MbAnswer, showAnyway);
    QFETCH(bool, shown);

    Fixture f;
    f.acc().m_connection.port = 2;
    const QString archivePath = f.acc().archiveFilePath();
    if (!archiveWritable)
        QVERIFY(QDir().mkpath(archivePath)); // a folder where the file should go
    f.shell.operation = [](CDevData& a) {
        a.m_records.add(hourRecord(5, 1), false);
        a.m_records.add(hourRecord(5, 2), false);
        a.m_config = QByteArray(1024, 'c');
        a.m_modified = 1;
        return true;
    };
    if (!archiveWritable)
        f.messages->setNextAnswer(MbAnswer::Ok); // the archive writer's own message comes first
    f.messages->setNextAnswer(showAnyway);

    QCOMPARE(f.doc.OnReadArchive(), shown);
    QCOMPARE(f.shell.requests.size(), std::size_t(1));
    QCOMPARE(f.shell.requests[0].kind, DeviceOperation::GetArchive);
    // The configuration read on the way is kept in the account file in every case.
    QCOMPARE(f.reloaded().m_config, QByteArray(1024, 'c'));
    QCOMPARE(f.messages->texts().contains(u"Не удалось сохранить архив.\nВсё равно показать?"_s), !archiveWritable);
    if (archiveWritable) {
        CDevData r = f.reloaded();
        QCOMPARE(r.LoadArchive(), S_OK);
        QCOMPARE(r.m_records.size(), std::size_t(2));
    }
    QCOMPARE(f.shell.view, shown ? ViewKind::ArchiveList : ViewKind::DeviceList);
    if (shown) {
        QCOMPARE(f.shell.shownAccount, 0);
        QCOMPARE(f.doc.m_currentAccount, 0);
    }
}

void TestDeviceDocument::readConfig_data()
{
    QTest::addColumn<bool>("completed");
    QTest::addColumn<MbAnswer>("showIt");
    QTest::addColumn<ViewKind>("view");

    QTest::newRow("shown") << true << MbAnswer::Yes << ViewKind::ConfigReport;
    QTest::newRow("not shown") << true << MbAnswer::No << ViewKind::DeviceList;
    QTest::newRow("failed: no question") << false << MbAnswer::Yes << ViewKind::DeviceList;
}

void TestDeviceDocument::readConfig()
{
    QFETCH(bool, completed);
    QFETCH(MbAnswer, showIt);
    QFETCH(ViewKind, view);

    Fixture f;
    f.acc().m_connection.port = 2;
    f.shell.operation = [completed](CDevData& a) {
        a.m_config = QByteArray(1024, 'k');
        a.m_modified = 1;
        return completed;
    };
    f.messages->setNextAnswer(showIt);
    QCOMPARE(f.doc.OnReadConfig(), completed);
    QCOMPARE(f.shell.requests.at(0).kind, DeviceOperation::GetConfig);
    QCOMPARE(f.messages->texts().contains(u"Конфигурация загружена. Показать отчёт о конфигурации?"_s), completed);
    QCOMPARE(f.shell.view, view);
    if (completed)
        QCOMPARE(f.reloaded().m_config, QByteArray(1024, 'k'));
}

void TestDeviceDocument::readReport()
{
    Fixture f;
    f.acc().m_connection.port = 2;
    f.shell.reportAnswer = [](ReportSettingsRequest& r) {
        r.kind = archive::ReportKind::Daily;
        r.contour = 1;
        r.first = QDate(2024, 3, 1);
        r.last = QDate(2024, 3, 4);
        return true;
    };
    f.shell.operation = [](CDevData& a) {
        a.m_reportText.setData(QByteArray("printed by the meter"));
        return true;
    };
    QVERIFY(f.doc.OnReadReport());
    // Before any archive was read the dialog offers all three contours.
    QCOMPARE(f.shell.offeredReport.numSys, 3);
    QCOMPARE(f.shell.offeredReport.first, QDate::currentDate());
    QCOMPARE(f.shell.offeredReport.last, QDate::currentDate());
    QCOMPARE(f.shell.requests.at(0).kind, DeviceOperation::GetReport);
    QCOMPARE(f.shell.reportSettingsSeen.kind, archive::ReportKind::Daily);
    QCOMPARE(f.shell.reportSettingsSeen.contour, 1);
    QCOMPARE(f.shell.reportSettingsSeen.start.date(), QDate(2024, 3, 1));
    QVERIFY(f.shell.reportSettingsSeen.end.date() >= QDate(2024, 3, 4));

    QCOMPARE(f.shell.view, ViewKind::Report);
    QVERIFY(f.doc.m_modified);
    QCOMPARE(f.doc.pathName(), f.doc.reportsFolder() + u"/Karna1_04321.tsr"_s);
    QCOMPARE(f.acc().m_reportText.toByteArray(), QByteArray("printed by the meter"));
    QVERIFY(!f.acc().m_report.start.isValid());
    QCOMPARE(f.acc().m_report.kind, archive::ReportKind::Daily);
}

void TestDeviceDocument::readReportCancelled()
{
    Fixture f;
    f.acc().m_connection.port = 2;
    f.acc().m_report.contour = 2;
    f.shell.reportAnswer = [](ReportSettingsRequest&) { return false; };
    QVERIFY(!f.doc.OnReadReport());
    QVERIFY(f.shell.requests.empty());

    // A failed operation leaves the report settings the account had.
    f.shell.reportAnswer = [](ReportSettingsRequest& r) {
        r.contour = 0;
        return true;
    };
    f.shell.operation = [](CDevData&) { return false; };
    QVERIFY(!f.doc.OnReadReport());
    QCOMPARE(f.acc().m_report.contour, 2);
    QCOMPARE(f.shell.view, ViewKind::DeviceList);
    QVERIFY(!f.doc.m_modified);
}

void TestDeviceDocument::editConnection_data()
{
    QTest::addColumn<std::optional<int>>("answer");
    QTest::newRow("OK") << std::optional<int>(9);
    QTest::newRow("cancel") << std::optional<int>();
}

void TestDeviceDocument::editConnection()
{
    QFETCH(std::optional<int>, answer);
    Fixture f;
    const int newAccountPort = f.doc.NewAccountConnection.port;
    const int savedPort = f.reloaded().m_connection.port;
    f.shell.connectionAnswer = answer;
    QCOMPARE(f.doc.onCommand(cmd::EditConnection), true);
    QCOMPARE(f.reloaded().m_connection.port, answer.value_or(savedPort));
    QCOMPARE(f.doc.NewAccountConnection.port, answer.value_or(newAccountPort));
    QVERIFY(f.shell.requests.empty());
}

void TestDeviceDocument::setClock()
{
    Fixture f;
    f.acc().m_connection.port = 2;
    f.shell.operation = [](CDevData&) { return true; };
    QVERIFY(f.doc.OnSetClock());
    QCOMPARE(f.shell.clockAccount, &f.acc());
    QCOMPARE(f.shell.requests.at(0).kind, DeviceOperation::SetDateTime);
    QCOMPARE(f.shell.requests.at(0).when, f.shell.clockTime);
}

void TestDeviceDocument::commandsNeedTheirViews()
{
    Fixture f;
    f.acc().m_connection.port = 2;
    f.shell.operation = [](CDevData&) { return true; };
    for (const int command : {cmd::ReadArchive, cmd::ReadConfig, cmd::ReadReport, cmd::SetClock, cmd::EditConnection})
        QVERIFY2(f.doc.isCommandEnabled(command), qPrintable(QString::number(command)));

    // With the archive list showing only the current account can be read; configuration and
    // clock need the device list.
    f.shell.view = ViewKind::ArchiveList;
    f.doc.m_currentAccount = -1;
    QVERIFY(!f.doc.isCommandEnabled(cmd::ReadArchive));
    f.doc.m_currentAccount = 0;
    QVERIFY(f.doc.isCommandEnabled(cmd::ReadArchive));
    QVERIFY(f.doc.isCommandEnabled(cmd::ReadReport));
    QVERIFY(!f.doc.isCommandEnabled(cmd::ReadConfig));
    QVERIFY(!f.doc.isCommandEnabled(cmd::SetClock));
    QVERIFY(!f.doc.OnReadConfig());
    QVERIFY(f.shell.requests.empty());
}

void TestDeviceDocument::pace_data()
{
    QTest::addColumn<QList<qint64>>("samples"); // ms, done, total in turn
    QTest::addColumn<double>("perSecond");      // -1: none
    QTest::addColumn<qint64>("msLeft");         // -1: none
    QTest::addColumn<QString>("text");

    QTest::newRow("one sample") << QList<qint64>{0, 1, 100} << -1.0 << qint64(-1) << QString();
    QTest::newRow("too short to tell") << QList<qint64>{0, 1, 100, 150, 5, 100} << -1.0 << qint64(-1) << QString();
    QTest::newRow("steady") << QList<qint64>{0, 0, 100, 1000, 2, 100, 2000, 4, 100} << 2.0 << qint64(48000)
                            << u"2.0 зап/с, осталось 0:48"_s;
    QTest::newRow("unknown total") << QList<qint64>{0, 0, 0, 2000, 50, 0} << 25.0 << qint64(-1)
                                   << u"25 зап/с"_s;
    // Only the last ten seconds count: a slow start does not spoil the estimate.
    QTest::newRow("window") << QList<qint64>{0, 0, 1000, 20000, 10, 1000, 30000, 110, 1000} << 10.0
                            << qint64(89000) << u"10 зап/с, осталось 1:29"_s;
    // The daily archive after the hourly one counts from 0 again.
    QTest::newRow("new phase") << QList<qint64>{0, 0, 100, 5000, 90, 100, 6000, 1, 20, 7000, 3, 20} << 2.0
                               << qint64(8500) << u"2.0 зап/с, осталось 0:09"_s;
    QTest::newRow("hours") << QList<qint64>{0, 0, 10000, 1000, 1, 10000} << 1.0 << qint64(9999000)
                           << u"1.0 зап/с, осталось 2:46:39"_s;
}

void TestDeviceDocument::pace()
{
    QFETCH(QList<qint64>, samples);
    QFETCH(double, perSecond);
    QFETCH(qint64, msLeft);
    QFETCH(QString, text);

    OperationPace pace;
    for (qsizetype i = 0; i + 2 < samples.size(); i += 3)
        pace.sample(samples[i], samples[i + 1], samples[i + 2]);
    QCOMPARE(pace.perSecond().value_or(-1.0), perSecond);
    QCOMPARE(pace.msLeft().value_or(-1), msLeft);
    QCOMPARE(pace.text(), text);
}

void TestDeviceDocument::paceFollowsPhases()
{
    OperationPace pace;
    pace.status(u"Чтение конфигурации"_s);
    pace.sample(0, 0, 512, CountUnit::Bytes);
    pace.sample(1000, 256, 512, CountUnit::Bytes);
    QCOMPARE(pace.perSecond().value_or(-1), 256.0);
    QCOMPARE(pace.text(), u"256 байт/с, осталось 0:01"_s);
    // Records after bytes start afresh even without a status between them.
    pace.sample(1500, 300, 0, CountUnit::Records);
    QVERIFY(!pace.perSecond());
    // Only the numbers change: the same phase goes on.
    pace.status(u"Считано записей: 1"_s);
    pace.sample(2000, 1, 100);
    pace.status(u"Считано записей: 2"_s);
    pace.sample(3000, 3, 100);
    QCOMPARE(pace.perSecond().value_or(-1), 2.0);
    pace.status(u"Считано суточных записей: 1"_s);
    QVERIFY(!pace.perSecond());
    QVERIFY(pace.text().isEmpty());
}

QTEST_GUILESS_MAIN(TestDeviceDocument)
#include "TestDeviceDocument.moc"
