#include <algorithm>

#include <QCoreApplication>
#include <QTest>

#include "OperationRig.h"
#include "archive/DayMonRecord.h"
#include "base/StringTable.h"
#include "link/MeterFrame.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime kClock(QDate(2024, 3, 10), QTime(12, 0));

// The rig's meter clock.
QStringList withClock(QStringList args)
{
    return args;
}

// The record numbers of sub-command `sub` in the order the meter was asked for them.
QList<int> asked(const OperationRig& rig, int sub)
{
    QList<int> out;
    const QString prefix = u"archive sub-command %1, index "_s.arg(sub);
    for (const QString& n : rig.notesStartingWith(prefix))
        out << n.mid(prefix.size()).toInt();
    return out;
}

QDate dateOf(const sctArcZap& r)
{
    return QDate(2000 + r.year, r.month, r.day);
}

} // namespace

class TestOperations : public QObject
{
    Q_OBJECT

private slots:
    void foreignSerialEndsBeforeReading();
    void startRecord_data();
    void startRecord();
    void endDateStoresFirstOlderRecord();
    void emptyBlockLeadsToHeadRequest();
    void stopKeepsRecordsRead();
    void dailyAndMonthly_data();
    void dailyAndMonthly();
    void energyUnitsConvertOnce_data();
    void energyUnitsConvertOnce();
    void perContourDropsMismatchedRecord();
    void badLine_data();
    void badLine();
    void modemDialsAndHangsUp();
    void failureHangsUpBeforeTheMessage_data();
    void failureHangsUpBeforeTheMessage();
    void timeLeftCountsRecordsThatCanCome_data();
    void timeLeftCountsRecordsThatCanCome();
    void configurationPaceInBytes();
    void configurationArchive_data();
    void configurationArchive();
    void olderMeterReadsFixedConfiguration();
    void configTakesOverSerialAndAddress();
    void reportFromHourThreeUntilStopped();
    void reportFailures_data();
    void reportFailures();
    void clockYearByte_data();
    void clockYearByte();
    void noAccountGivesResultOne();
};

void TestOperations::foreignSerialEndsBeforeReading()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--serial"_s, u"999"_s })));
    QCOMPARE(comm::runGetArchive(rig.params), 140);
    QCOMPARE(rig.host.finishedWith, std::optional<int>(140));
    QVERIFY(rig.params.records.empty());
    QCOMPARE(rig.host.askedRanges, 0);
    // Only the serial number was asked for.
    QCOMPARE(rig.log(u"<"_s).size(), 1);
    QCOMPARE(rig.messages->texts(), QStringList{ LoadResString(140) });
    QCOMPARE(rig.host.stop.load(), 0);
}

void TestOperations::startRecord_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<bool>("searched");
    QTest::addColumn<bool>("found");
    QTest::newRow("today, no search") << QDate::currentDate() << false << false;
    QTest::newRow("a day in the archive") << QDate(2024, 3, 9) << true << true;
    QTest::newRow("not in the archive: 0xFFFF") << QDate(2019, 5, 1) << true << false;
}

void TestOperations::startRecord()
{
    QFETCH(QDate, start);
    QFETCH(bool, searched);
    QFETCH(bool, found);
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--archive-size"_s, u"40"_s, u"--hours"_s, u"40"_s })));
    // The end stops the read after the first record older than the start day.
    rig.host.range = OperationHost::DateRange{ start, start };
    QCOMPARE(comm::runGetArchive(rig.params), 0);
    const QStringList searches = rig.notesStartingWith(u"search "_s);
    QCOMPARE(searches.size(), searched ? 1 : 0);
    const QList<int> records = asked(rig, 0);
    QVERIFY(!records.isEmpty());
    if (!found) {
        QCOMPARE(records.first(), 1);
        if (searched)
            QVERIFY(searches.first().endsWith(u"record 65535"_s));
    } else {
        const int number = searches.first().section(u' ', -1).toInt();
        QVERIFY(number > 1 && number < 40);
        QCOMPARE(records.first(), number);
        QCOMPARE(dateOf(rig.params.records.front()), start);
    }
}

void TestOperations::endDateStoresFirstOlderRecord()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--archive-size"_s, u"200"_s, u"--hours"_s, u"200"_s })));
    const QDate end(2024, 3, 8);
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), end };
    QCOMPARE(comm::runGetArchive(rig.params), 0);
    const auto& records = rig.params.records;
    QVERIFY(records.size() > 48);
    QVERIFY(records.size() < 100);
    for (std::size_t i = 0; i + 1 < records.size(); ++i)
        QVERIFY(dateOf(records[i]) >= end);
    QVERIFY(dateOf(records.back()) < end);
    QCOMPARE(asked(rig, 0).size(), int(records.size()));
    // The hourly loop's last position; the daily loop after it counts from 0 again.
    QCOMPARE(*std::max_element(rig.host.positions.begin(), rig.host.positions.end()),
             int((records.size() * 100 + 100) / 200));
    // The pace display gets the hourly count with a total it does not overrun.
    const auto last = std::find_if(rig.host.counts.begin(), rig.host.counts.end(),
                                   [&](const auto& c) { return c.first == qint64(records.size()); });
    QVERIFY(last != rig.host.counts.end());
    QVERIFY(last->second >= last->first);
    QVERIFY(rig.host.statuses.contains(u"Считано записей: %1"_s.arg(records.size())));
}

void TestOperations::emptyBlockLeadsToHeadRequest()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--archive-size"_s, u"8"_s, u"--hours"_s, u"8"_s, u"--empty-hours"_s, u"3-4"_s })));
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
    QCOMPARE(comm::runGetArchive(rig.params), 0);
    // Record 3 comes empty; the head of 4 is empty too, so 4 is not read; the head of 5 has data.
    QCOMPARE(asked(rig, 2), (QList<int>{ 4, 5 }));
    QCOMPARE(asked(rig, 0), (QList<int>{ 1, 2, 3, 5, 6, 7, 8 }));
    QCOMPARE(rig.params.records.size(), std::size_t(6));
    // Extension blocks (Prot Version 10 and more: sub-command 6) for each stored record.
    QCOMPARE(asked(rig, 6).size(), 6);
    QVERIFY(rig.params.records.front().pre_M[0] != 0.0f);
}

void TestOperations::stopKeepsRecordsRead()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--archive-size"_s, u"100"_s })));
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
    rig.host.stopWhen = [](const QString& s) { return s == u"Считано записей: 5"_s; };
    QCOMPARE(comm::runGetArchive(rig.params), 141);
    QCOMPARE(rig.params.records.size(), std::size_t(5));
    QCOMPARE(rig.host.stop.load(), 0);
    QCOMPARE(rig.messages->texts(), QStringList{ LoadResString(141) });
    QVERIFY(!rig.process.waitForFinished(10)); // the port was closed, the meter still runs

    // "Сохранить": the records go into the account's archive.
    QCOMPARE(comm::mergeRecords(rig.params), 0);
    QCOMPARE(rig.account.m_records.size(), std::size_t(5));
    QVERIFY(rig.account.m_records.isSorted());
    QCOMPARE(rig.account.m_lastConnect, rig.params.started);
}

void TestOperations::dailyAndMonthly_data()
{
    QTest::addColumn<QString>("prot");
    QTest::addColumn<QString>("archiveVersion");
    QTest::addColumn<int>("daily");
    QTest::addColumn<int>("monthly");
    QTest::newRow("Prot Version 11") << u"11"_s << u"6"_s << 0 << 0;
    QTest::newRow("Archive Version 5") << u"12"_s << u"5"_s << 0 << 0;
    // Days: records 0 .. ArcDayRecs - 2; months: 0 .. ArcMonRecs - 1.
    QTest::newRow("Prot Version 12, Archive Version 6") << u"12"_s << u"6"_s << 4 << 3;
}

void TestOperations::dailyAndMonthly()
{
    QFETCH(QString, prot);
    QFETCH(QString, archiveVersion);
    QFETCH(int, daily);
    QFETCH(int, monthly);
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--prot"_s, prot, u"--archive-version"_s, archiveVersion, u"--archive-size"_s,
                                  u"3"_s, u"--days"_s, u"5"_s, u"--months"_s, u"3"_s })));
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
    QCOMPARE(comm::runGetArchive(rig.params), 0);
    QCOMPARE(asked(rig, 7).size(), daily);
    QCOMPARE(asked(rig, 11).size(), monthly);
    QCOMPARE(asked(rig, 8).size(), daily ? 1 : 0);
    QCOMPARE(rig.params.dayRecordsStored, daily);
    QCOMPARE(rig.params.monthRecordsStored, monthly);
    int rows = -1;
    QCOMPARE(rig.db.countDailyRows(1, 12345, rows), S_OK);
    QCOMPARE(rows, daily);
}

void TestOperations::perContourDropsMismatchedRecord()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--archive-size"_s, u"4"_s, u"--wrong-contour"_s, u"2"_s })));
    rig.account.m_perContourRead = true;
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
    QCOMPARE(comm::runGetArchive(rig.params), 0);
    QCOMPARE(asked(rig, 0).size(), 0);
    QCOMPARE(asked(rig, 15), (QList<int>{ 1, 2, 3, 4 }));
    // Record 2 ends at its second contour.
    QCOMPARE(asked(rig, 17), (QList<int>{ 1, 3, 4 }));
    QCOMPARE(rig.params.records.size(), std::size_t(3));
    const sctArcZap& newest = rig.params.records.front();
    QCOMPARE(int(newest.hour), 12);
    QCOMPARE(dateOf(newest), kClock.date());
    QVERIFY(newest.M[2] != 0.0f); // contour 2's supply
    QVERIFY(newest.T[1] != 0);
}

void TestOperations::energyUnitsConvertOnce_data()
{
    QTest::addColumn<bool>("perContour");
    QTest::newRow("whole blocks") << false;
    QTest::newRow("per contour") << true;
}

// The meter sends Gcal; a kW*h meter's records hold 1163 times that, a GJ meter's 4.1868 times.
void TestOperations::energyUnitsConvertOnce()
{
    QFETCH(bool, perContour);
    std::vector<sctArcZap> read[3];
    const char* units[] = { "2", "0", "1" };
    for (int u = 0; u < 3; ++u) {
        OperationRig rig;
        QVERIFY(rig.start({ u"--archive-size"_s, u"2"_s, u"--energy-units"_s, QString::fromLatin1(units[u]) }));
        rig.account.m_perContourRead = perContour;
        rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
        QCOMPARE(comm::runGetArchive(rig.params), 0);
        QCOMPARE(rig.account.m_arcParams.EnergyUnits, std::uint8_t(QByteArray(units[u]).toInt()));
        read[u] = rig.params.records;
        QCOMPARE(read[u].size(), std::size_t(2));
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const sctArcZap& gcal = read[0][i];
        QVERIFY(gcal.Q[0] > 0.0f && gcal.pre_Q[0] > 0.0f);
        QCOMPARE(read[1][i].Q[0], gcal.Q[0] * 1163.0f);
        QCOMPARE(read[1][i].pre_Q[0], gcal.pre_Q[0] * 1163.0f);
        QCOMPARE(read[2][i].Q[1], float(double(gcal.Q[1]) * 4.1868));
        QCOMPARE(read[1][i].M[0], gcal.M[0]);
    }
}

void TestOperations::badLine_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");
    QTest::newRow("garbled") << u"garble:1"_s << 138;
    QTest::newRow("cut short") << u"truncate:1"_s << 138;
    QTest::newRow("silent") << u"drop:1"_s << 139;
}

void TestOperations::badLine()
{
    QFETCH(QString, fault);
    QFETCH(int, result);
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--fault"_s, fault })));
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
    QCOMPARE(comm::runGetArchive(rig.params), result);
    QCOMPARE(rig.log(u"<"_s).size(), rig.account.m_retries);
    QCOMPARE(rig.messages->texts(), QStringList{ LoadResString(result) });
    QCOMPARE(rig.host.caption, LoadResString(135));
}

void TestOperations::modemDialsAndHangsUp()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--modem"_s, u"--archive-size"_s, u"2"_s })));
    rig.account.m_useModem = true;
    rig.account.m_modem.useModem = true;
    rig.account.m_answerTimeout = 400;
    rig.params.escapeGuard = { 1100, 1100 };
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
    QCOMPARE(comm::runGetArchive(rig.params), 0);
    const QStringList modem = rig.log(u"modem <"_s);
    QVERIFY2(modem.filter(u"ATDT143"_s).size() == 1, qPrintable(modem.join(u'|')));
    QCOMPARE(modem.filter(u"ATH"_s).size(), 1);
    QCOMPARE(rig.params.records.size(), std::size_t(2));
    QVERIFY(rig.host.statuses.contains(LoadResString(151)));
    QCOMPARE(rig.host.statuses.last(), LoadResString(153));
}

// A message box waits for the user; a dial-up call must not stay up, and paid for, meanwhile.
class LineWatchingBox : public RecordingMessageBox
{
public:
    explicit LineWatchingBox(const OperationRig& rig)
        : m_rig(rig)
    {
    }
    MbAnswer show(const MessageRequest& request) override
    {
        hungUpBeforeShown << !m_rig.log(u"modem <"_s).filter(u"ATH"_s).isEmpty();
        return RecordingMessageBox::show(request);
    }
    QList<bool> hungUpBeforeShown;

private:
    const OperationRig& m_rig;
};

void TestOperations::failureHangsUpBeforeTheMessage_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");
    QTest::newRow("silent meter") << u"drop:1"_s << 139;
    QTest::newRow("broken replies") << u"garble:1"_s << 138;
}

void TestOperations::failureHangsUpBeforeTheMessage()
{
    QFETCH(QString, fault);
    QFETCH(int, result);
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--modem"_s, u"--fault"_s, fault })));
    rig.account.m_useModem = true;
    rig.account.m_modem.useModem = true;
    rig.params.escapeGuard = { 1100, 1100 };
    auto box = std::make_shared<LineWatchingBox>(rig);
    ScopedMessageBoxBackend scope(box);
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), std::nullopt };
    QCOMPARE(comm::runGetArchive(rig.params), result);
    QCOMPARE(box->texts(), QStringList{ LoadResString(result) });
    QCOMPARE(box->hungUpBeforeShown, QList<bool>{ true });
    QCOMPARE(rig.host.finishedWith, std::optional<int>(result));
}

void TestOperations::timeLeftCountsRecordsThatCanCome_data()
{
    QTest::addColumn<QDate>("end");
    QTest::addColumn<int>("hourly"); // records the read takes: the end day's hours and one older
    // The meter's clock stands at 12:00: its day has 13 hourly records so far.
    QTest::newRow("the meter's day") << kClock.date() << 14;
    QTest::newRow("two days back") << kClock.date().addDays(-2) << 13 + 48 + 1;
}

// The total of each count is exact from the first record on: the hourly records still to come
// (never the hours of the day not yet over), then the daily and monthly records after them.
void TestOperations::timeLeftCountsRecordsThatCanCome()
{
    QFETCH(QDate, end);
    QFETCH(int, hourly);
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--archive-size"_s, u"200"_s, u"--hours"_s, u"200"_s })));
    rig.host.range = OperationHost::DateRange{ QDate::currentDate(), end };
    QCOMPARE(comm::runGetArchive(rig.params), 0);
    QCOMPARE(int(rig.params.records.size()), hourly);

    // The record counts after the configuration's byte counts.
    const auto& counts = rig.host.counts;
    const auto lastBytes = std::find(rig.host.units.rbegin(), rig.host.units.rend(), CountUnit::Bytes);
    QVERIFY(lastBytes != rig.host.units.rend());
    const auto records = counts.begin() + (rig.host.units.rend() - lastBytes);
    const auto hourlyBegins = std::find_if(records, counts.end(), [](const auto& c) { return c.first == 1; });
    QVERIFY(hourlyBegins != counts.end());
    const auto dailyBegins = std::find_if(hourlyBegins + 1, counts.end(), [](const auto& c) { return c.first == 1; });
    const qint64 later = dailyBegins == counts.end() ? 0 : dailyBegins->second;
    for (auto c = hourlyBegins; c != dailyBegins; ++c)
        QCOMPARE(c->second, hourly + later);
    QCOMPARE((dailyBegins - 1)->first, qint64(hourly));
    QVERIFY(later > 0); // the simulated meter keeps daily and monthly archives
}

void TestOperations::configurationPaceInBytes()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({})));
    QCOMPARE(comm::runGetConfig(rig.params), 0);
    QVERIFY(!rig.host.counts.empty());
    // The configuration memory and archive are counted in bytes, to their size.
    QVERIFY(std::all_of(rig.host.units.begin(), rig.host.units.end(),
                        [](CountUnit u) { return u == CountUnit::Bytes; }));
    const auto memory = std::find_if(rig.host.counts.begin(), rig.host.counts.end(),
                                     [](const auto& c) { return c.first == c.second; });
    QVERIFY(memory != rig.host.counts.end());
    QCOMPARE(memory->second, qint64(rig.params.config.size()));
}

void TestOperations::configurationArchive_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("stored");
    QTest::newRow("5 records, no question") << QStringList{ u"--cfg-archive"_s, u"5"_s } << false << true << 5;
    QTest::newRow("6 records, yes") << QStringList{ u"--cfg-archive"_s, u"6"_s } << true << true << 6;
    QTest::newRow("6 records, no") << QStringList{ u"--cfg-archive"_s, u"6"_s } << true << false << 0;
    // Word 13 is not read at Prot Version 13, so the count is 0.
    QTest::newRow("Prot Version 13") << QStringList{ u"--prot"_s, u"13"_s, u"--cfg-archive"_s, u"4"_s } << false << true
                                     << 0;
}

void TestOperations::configurationArchive()
{
    QFETCH(QStringList, args);
    QFETCH(bool, asked);
    QFETCH(bool, yes);
    QFETCH(int, stored);
    OperationRig rig;
    QVERIFY(rig.start(withClock(args)));
    rig.messages->setNextAnswer(yes ? MbAnswer::Yes : MbAnswer::No);
    QCOMPARE(comm::runGetConfig(rig.params), 0);
    QCOMPARE(rig.messages->texts().size(), asked ? 1 : 0);
    if (asked)
        QVERIFY(rig.messages->texts().first().startsWith(u"Архив конфигураций содержит 6 записей"_s));
    QCOMPARE(rig.params.cfgArchiveStored, stored);
    QCOMPARE(rig.notesStartingWith(u"file 5 "_s).isEmpty(), stored == 0);
    if (stored)
        QVERIFY(rig.host.statuses.contains(u"Считано записей архива конфигураций: %1"_s.arg(stored)));
    std::vector<CfgArcRecord> kept;
    QCOMPARE(rig.db.readCfgArchive(1, 12345, kept), S_OK);
    QCOMPARE(kept.empty(), stored == 0);
    QCOMPARE(rig.params.config.size(), 1024);
    QCOMPARE(rig.account.m_config, rig.params.config);
    QCOMPARE(rig.account.m_consumerId, u"TS-0004-0001"_s);
}

void TestOperations::olderMeterReadsFixedConfiguration()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--prot"_s, u"8"_s })));
    QCOMPARE(comm::runGetConfig(rig.params), 0);
    const QStringList reads = rig.notesStartingWith(u"file 1 record "_s);
    QCOMPARE(reads.size(), 32);
    QCOMPARE(reads.filter(u", 16 registers"_s).size(), 32);
    QVERIFY(rig.notesStartingWith(u"file 4 "_s).isEmpty());
    QCOMPARE(rig.params.config.size(), 1024);
    QVERIFY(rig.params.config.startsWith("TSIM"));
}

void TestOperations::configTakesOverSerialAndAddress()
{
    OperationRig rig;
    QVERIFY(rig.start(withClock({ u"--address"_s, u"05"_s, u"--serial"_s, u"4321"_s })));
    rig.account.m_serial = 0;
    rig.account.m_netAddress = 0;
    QCOMPARE(comm::runGetConfig(rig.params), 0);
    QCOMPARE(rig.account.m_serial, 4321);
    QCOMPARE(rig.account.m_netAddress, 5);
    QCOMPARE(rig.account.m_arcParams.SerialNumber, std::uint16_t(4321));
    // Everything after the serial number went to the meter's own address.
    const QStringList requests = rig.log(u"<"_s);
    QVERIFY(requests.first().startsWith(u":00"_s));
    for (qsizetype i = 1; i < requests.size(); ++i)
        QVERIFY(requests[i].startsWith(u":05"_s));
}

void TestOperations::reportFromHourThreeUntilStopped()
{
    OperationRig rig;
    // The archive begins at 03:00 of the report day.
    rig.clock = u"2024-03-10 10:00:00"_s;
    QVERIFY(rig.start({ u"--hours"_s, u"8"_s }));
    rig.account.m_report.kind = archive::ReportKind::Hourly;
    rig.account.m_report.contour = 1;
    rig.account.m_report.start = QDateTime(QDate(2024, 3, 10), QTime(0, 0));
    rig.account.m_report.end = QDateTime(QDate(2024, 3, 10), QTime(23, 0));
    rig.host.stopWhen = [](const QString& s) { return s.startsWith(u"Принято байт"_s); };
    QCOMPARE(comm::runGetReport(rig.params), 0);
    QCOMPARE(rig.host.finishedWith, std::optional<int>(0));
    const QStringList searches = rig.notesStartingWith(u"search "_s);
    QVERIFY(searches.size() >= 5);
    for (int h = 0; h < 3; ++h)
        QVERIFY2(searches[h].endsWith(u"%1:00: record 65535"_s.arg(h, 2, 10, QChar(u'0'))), qPrintable(searches[h]));
    QVERIFY(searches[3].contains(u"03:00: record 8"_s));
    QVERIFY(rig.host.statuses.contains(u"Поиск начальной записи для распечатки (3)..."_s));
    // No record at 23:00: the end of the day is found by walking the heads.
    QVERIFY(searches[4].endsWith(u"23:00: record 65535"_s));
    QCOMPARE(asked(rig, 2).first(), 8);
    QCOMPARE(asked(rig, 4), QList<int>{ 0 });
    QCOMPARE(asked(rig, 3), QList<int>{ 8 });
    QCOMPARE(asked(rig, 5), QList<int>{ 0x101 });
    QVERIFY(!rig.params.reportBytes.isEmpty());
    QCOMPARE(rig.account.m_reportText.toByteArray(), rig.params.reportBytes);
    QVERIFY(rig.messages->texts().isEmpty());
}

void TestOperations::reportFailures_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<bool>("daily");
    QTest::addColumn<int>("message");
    QTest::newRow("no start record") << QDate(2024, 3, 12) << QDate(2024, 3, 12) << false << 163;
    QTest::newRow("daily, no end record") << QDate(2024, 3, 9) << QDate(2024, 3, 20) << true << 164;
    // The meter prints 5000 bytes into a buffer limited to 1000.
    QTest::newRow("report too long") << QDate(2024, 3, 9) << QDate(2024, 3, 10) << true << 102;
}

void TestOperations::reportFailures()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(bool, daily);
    QFETCH(int, message);
    OperationRig rig;
    const QString printed = rig.dir.filePath(u"printed.txt"_s);
    QVERIFY(testsupport::writeFile(printed, QByteArray(5000, 'x')));
    rig.meterLines = u"Report = "_s + printed + u'\n';
    QVERIFY(rig.start({ u"--archive-size"_s, u"100"_s }));
    rig.params.reportBufferLimit = 1000;
    rig.account.m_report.kind = daily ? archive::ReportKind::Daily : archive::ReportKind::Hourly;
    rig.account.m_report.start = start.startOfDay();
    rig.account.m_report.end = end.startOfDay();
    const int result = comm::runGetReport(rig.params);
    QCOMPARE(result, message == 102 ? 12 : message);
    QCOMPARE(rig.messages->texts(), QStringList{ LoadResString(message) });
    QCOMPARE(rig.params.reportBytes.size(), message == 102 ? 1000 : 0);
    QVERIFY(rig.account.m_reportText.isEmpty());
}

void TestOperations::clockYearByte_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<int>("yearByte");
    QTest::newRow("1999") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58)) << 99;
    QTest::newRow("2024") << QDateTime(QDate(2024, 2, 29), QTime(8, 5, 1)) << 24;
}

void TestOperations::clockYearByte()
{
    QFETCH(QDateTime, when);
    QFETCH(int, yearByte);
    OperationRig rig;
    QVERIFY(rig.start({}));
    rig.params.when = when;
    QCOMPARE(comm::runSetDateTime(rig.params), 0);
    const QStringList requests = rig.log(u"<"_s);
    QCOMPARE(requests.size(), 2);
    // ":01 67 01 ss mm hh DD MM YY" then the check.
    QCOMPARE(requests[1].mid(17, 2).toInt(nullptr, 16), yearByte);
    QCOMPARE(rig.notesStartingWith(u"clock set to "_s),
             QStringList{ u"clock set to "_s + when.toString(u"yyyy-MM-dd HH:mm:ss"_s) });
}

void TestOperations::noAccountGivesResultOne()
{
    ScriptedHost host;
    testsupport::MessageRecorder messages;
    CommThreadParams params;
    params.host = &host;
    host.stop = OperationHost::kStopAsked;
    QCOMPARE(comm::runGetReport(params), 1);
    QCOMPARE(host.finishedWith, std::optional<int>(1));
    QCOMPARE(host.stop.load(), 0);
    QCOMPARE(messages->texts(), QStringList{ LoadResString(134) });
}

QTEST_GUILESS_MAIN(TestOperations)
#include "TestOperations.moc"
