#include <cmath>
#include <functional>
#include <limits>

#include <QtTest>

#include "archive/ReportBuilder.h"
#include "archive/ReportPairing.h"
#include "base/CodePage.h"
#include "TestSupport.h"

using namespace Qt::Literals::StringLiterals;
using namespace archive;

namespace {

// Expected reports are kept as UTF-8 text: line breaks of the file are for reading only, the
// bytes are written as \r \n \t \e (ESC) \xHH, and the text goes to IBM866 like the report's own,
// where the box-drawing characters land on the bytes the report uses.
QByteArray expectedReport(const QString& name)
{
    const QByteArray file
        = testsupport::readFile(QStringLiteral(LORN2_TEST_DATA_DIR) + u"/../archive/data/reports/"_s + name);
    if (file.isEmpty())
        qFatal("missing expected report %s", qPrintable(name));
    QString text = QString::fromUtf8(file);
    text.remove(u'\n');
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const QChar c = text[++i];
        if (c == u'r')
            out += u'\r';
        else if (c == u'n')
            out += u'\n';
        else if (c == u't')
            out += u'\t';
        else if (c == u'e')
            out += QChar(0x1b);
        else if (c == u'x') {
            out += QChar(text.mid(i + 1, 2).toUShort(nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return codepage::toOem(out);
}

// Where two reports part, shown as text around the place, so a failure is readable.
QString firstDifference(const QByteArray& actual, const QByteArray& expected)
{
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    if (i == actual.size() && i == expected.size())
        return {};
    const qsizetype from = std::max<qsizetype>(0, i - 60);
    return u"at byte %1\nactual:   %2\nexpected: %3"_s.arg(i).arg(codepage::fromOem(actual.mid(from, 120)),
                                                                  codepage::fromOem(expected.mid(from, 120)));
}

sctArcZap record(int year, int month, int day, int hour, int minute, std::uint8_t event = kEventHourly)
{
    sctArcZap r;
    r.year = std::uint8_t(year - 2000);
    r.month = std::uint8_t(month);
    r.day = std::uint8_t(day);
    r.hour = std::uint8_t(hour);
    r.minute = std::uint8_t(minute);
    r.Event = event;
    return r;
}

// Readings growing by the hour: k hours after the first record.
sctArcZap hourRecord(const QDateTime& t, int k, int contour = 0)
{
    sctArcZap r = record(t.date().year(), t.date().month(), t.date().day(), t.time().hour(), t.time().minute());
    const std::size_t c = std::size_t(contour);
    r.Q[c] = 100.0f + 0.5f * float(k);
    r.M[2 * c] = 1000.0f + 10.0f * float(k);
    r.M[2 * c + 1] = 900.0f + 9.0f * float(k);
    r.t[2 * c] = 70.0f;
    r.t[2 * c + 1] = 50.0f;
    r.T[c] = 6000u + 60u * unsigned(k);
    return r;
}

ArchiveRecordList listOf(const std::vector<sctArcZap>& records)
{
    ArchiveRecordList list;
    for (const sctArcZap& r : records)
        list.add(r, true);
    list.sort();
    return list;
}

// Every hour of 10/03/2015 and the 00:00 record of the next day.
std::vector<sctArcZap> fullDay()
{
    std::vector<sctArcZap> records;
    const QDateTime t0(QDate(2015, 3, 10), QTime(0, 0));
    for (int k = 0; k <= 24; ++k)
        records.push_back(hourRecord(t0.addSecs(3600 * k), k));
    return records;
}

ReportAccount account()
{
    ReportAccount a;
    a.deviceType = 1;
    ArchiveParams& p = a.params;
    p.SerialNumber = 1234;
    p.ArchiveVersion = 2;
    p.NumSys = 1;
    p.SoftVersion = 0x0210;
    p.BuildVersion = 5;
    p.IspVersion = 0x1A;
    p.SoftCRC = 0xBEEF;
    p.t_coldChannel = ArchiveParams::kConstantTCold;
    p.t_cold = 5.0f;
    p.EnergyUnits = kEnergyGcal;
    p.Custom = u"ООО Тепло"_s;
    p.Telephone = u"123-45-67"_s;
    p.Abonent = u"77"_s;
    p.Address = u"ул. Ленина, 1"_s;
    p.ResponsePerson = u"Иванов"_s;
    p.FlowRange = u"0.6-6"_s;
    p.Diametr = u"50"_s;
    a.header = ReportHeaderTexts{ u"Потребитель"_s, u"555"_s, u"12"_s, u"пр. Мира, 2"_s, u"Петров"_s };
    return a;
}

struct Case
{
    ArchiveRecordList records;
    ReportInput input;

    Case(const std::vector<sctArcZap>& recs, ReportKind kind, const QDate& first, const QDate& last, int contour = 0)
        : records(listOf(recs))
    {
        input.records = &records;
        input.account = account();
        input.request = makeReportRequest(kind, contour, first, last);
        input.footer = ReportFooter{ u"Lorn2"_s, u"1.2.3"_s, QDate(2026, 12, 8) };
    }
    ReportResult build() const { return buildReport(input); }
};

// The lines of a report between CR LF TAB separators, as text.
QStringList linesOf(const QByteArray& text)
{
    return codepage::fromOem(text).split(u"\r\n\t"_s);
}

// The row lines of the table: from the line after the heading's middle border to the next border.
QStringList tableRows(const QByteArray& text)
{
    const QStringList lines = linesOf(text);
    QStringList rows;
    int borders = 0;
    for (const QString& line : lines) {
        const bool border = !line.isEmpty() && line.front() == u'─';
        if (border) {
            if (++borders == 3)
                break;
            continue;
        }
        if (borders == 2)
            rows.append(line);
    }
    return rows;
}

DayMonRow dayRow(const QDate& date, int version, const sctArcZap& values)
{
    sctArcZap r = values;
    r.year = std::uint8_t(date.year() - 2000);
    r.month = std::uint8_t(date.month());
    r.day = std::uint8_t(date.day());
    r.hour = 0;
    r.minute = 0;
    r.Event = kEventDaily;
    DayMonRow row = makeDayMonRow(1, 1234, toDayMon(r));
    row.blob.bytes[u_data_daymon_full::kTail] = std::uint8_t(version);
    return row;
}

// Four daily rows of format version 5 on contour 2, whose T1..T3 hold each day's minutes.
std::vector<DayMonRow> olderDailyRows()
{
    struct Day
    {
        QDate date;
        float q, mSupply, mReturn, tSupply, tReturn;
        std::uint32_t minutes;
    };
    const Day days[] = {
        { QDate(2015, 2, 28), 500, 20000, 19000, 65, 45, 1440 },
        { QDate(2015, 3, 1), 510, 20240, 19220, 70, 50, 1380 },
        { QDate(2015, 3, 2), 522, 20480, 19440, 80, 55, 1440 },
        { QDate(2015, 3, 3), 530, 20700, 19640, 60, 45, 1200 },
    };
    std::vector<DayMonRow> rows;
    for (const Day& d : days) {
        sctArcZap r;
        r.Q[1] = d.q;
        r.M[2] = d.mSupply;
        r.M[3] = d.mReturn;
        r.t[2] = d.tSupply;
        r.t[3] = d.tReturn;
        r.T[1] = d.minutes;
        rows.push_back(dayRow(d.date, 5, r));
    }
    return rows;
}

ReportResult dailyFromDatabase()
{
    Case c({}, ReportKind::Daily, QDate(2015, 3, 1), QDate(2015, 3, 3), 1);
    ReportAccount& a = c.input.account;
    a.deviceType = 3;
    a.useAccountForHeader = true;
    a.params.Formula = { 3, 0, 0 };
    a.params.t_coldChannel = 2;
    c.input.dailyRows = olderDailyRows();
    return c.build();
}

// One hourly row, 10/03 00:00 to 01:00, on contour 1 with the given Formula.
struct OneRow
{
    int formula = 0;
    int archiveVersion = 2;
    bool pressure = false;
    bool printVolumes = false;
    std::function<void(sctArcZap& e, sctArcZap& l)> edit;
};

ReportResult buildOneRow(const OneRow& o)
{
    sctArcZap e = record(2015, 3, 10, 0, 0);
    sctArcZap l = record(2015, 3, 10, 1, 0);
    e.Q[0] = 100.0f;
    l.Q[0] = 100.5f;
    e.M[0] = 1000.0f;
    e.M[1] = 900.0f;
    l.M[0] = 1010.0f;
    l.M[1] = 909.0f;
    e.V[0] = 50.0f;
    e.V[1] = 40.0f;
    l.V[0] = 55.0f;
    l.V[1] = 44.0f;
    e.T[0] = 6000;
    l.T[0] = 6060;
    l.t[0] = 71.0f;
    l.t[1] = 51.0f;
    l.p[0] = 4.5f;
    l.p[1] = 3.25f;
    l.t_cold = 6.5f;
    if (o.edit)
        o.edit(e, l);
    Case c({ e, l }, ReportKind::Hourly, QDate(2015, 3, 10), QDate(2015, 3, 10));
    c.input.account.params.Formula[0] = std::uint8_t(o.formula);
    c.input.account.params.ArchiveVersion = std::uint16_t(o.archiveVersion);
    c.input.account.params.Pressure[0] = o.pressure ? 1 : 0;
    c.input.account.printVolumes[0] = o.printVolumes;
    return c.build();
}

} // namespace

using Builder = std::function<ReportResult()>;
Q_DECLARE_METATYPE(Builder)
Q_DECLARE_METATYPE(OneRow)
Q_DECLARE_METATYPE(std::vector<sctArcZap>)

class TestReportBuilder : public QObject
{
    Q_OBJECT

private slots:
    void goldenReports_data();
    void goldenReports();
    void dialogDefaultsAndRange();
    void failures_data();
    void failures();
    void hourlyPairing_data();
    void hourlyPairing();
    void dailyFromRecordsEndsAtNextDay();
    void databaseOperatingTimes_data();
    void databaseOperatingTimes();
    void cellRules_data();
    void cellRules();
    void summaryLines_data();
    void summaryLines();
    void headerLines_data();
    void headerLines();
    void meansAndWeights_data();
    void meansAndWeights();
    void negativeTerrIsReported();
    void oddRecordsStayInBounds();
    void unsortedListGivesSameReport();
};

void TestReportBuilder::goldenReports_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Builder>("build");

    QTest::newRow("hourly, full day") << u"hourly_full_day.txt"_s << Builder([] {
        return Case(fullDay(), ReportKind::Hourly, QDate(2015, 3, 10), QDate(2015, 3, 10)).build();
    });
    QTest::newRow("daily, database rows of an older meter") << u"daily_database.txt"_s << Builder(dailyFromDatabase);
}

void TestReportBuilder::goldenReports()
{
    QFETCH(QString, file);
    QFETCH(Builder, build);
    testsupport::MessageRecorder messages;
    const ReportResult result = build();
    QCOMPARE(int(result.outcome), int(ReportOutcome::Built));
    const QByteArray expected = expectedReport(file);
    const QString diff = firstDifference(result.state.text, expected);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY(messages->texts().isEmpty());
}

void TestReportBuilder::dialogDefaultsAndRange()
{
    const QDate today(2026, 12, 8);
    const ReportDialogDefaults none = reportDialogDefaults(ArchiveRecordList(), today);
    QCOMPARE(none.start, QDate(2000, 1, 1));
    QCOMPARE(none.end, today);

    const ArchiveRecordList list
        = listOf({ record(2015, 3, 10, 5, 0), record(2014, 12, 31, 23, 30), record(2016, 1, 2, 0, 0) });
    const ReportDialogDefaults d = reportDialogDefaults(list, today);
    QCOMPARE(d.start, QDate(2014, 12, 31));
    QCOMPARE(d.end, QDate(2016, 1, 2));

    const ReportRequest hourly = makeReportRequest(ReportKind::Hourly, 1, QDate(2015, 3, 10), QDate(2015, 3, 20));
    QCOMPARE(hourly.start, QDateTime(QDate(2015, 3, 10), QTime(0, 0)));
    QCOMPARE(hourly.end, QDateTime(QDate(2015, 3, 11), QTime(0, 0)));
    const ReportRequest daily = makeReportRequest(ReportKind::Daily, 2, QDate(2015, 2, 27), QDate(2015, 2, 28));
    QCOMPARE(daily.end, QDateTime(QDate(2015, 3, 1), QTime(0, 0)));
    QCOMPARE(daily.contour, 2);
}

void TestReportBuilder::failures_data()
{
    QTest::addColumn<Builder>("build");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");

    const QString noRows = u"В указанном интервале времени\nотсутствуют учетные данные"_s;
    QTest::newRow("hourly without records")
        << Builder([] { return Case({}, ReportKind::Hourly, QDate(2015, 3, 10), QDate(2015, 3, 10)).build(); })
        << int(ReportOutcome::NoData) << u"Нет архивных данных"_s << QString();
    QTest::newRow("daily without records or database rows")
        << Builder([] { return Case({}, ReportKind::Daily, QDate(2015, 3, 1), QDate(2015, 3, 5)).build(); })
        << int(ReportOutcome::NoData) << u"Нет архивных данных"_s << QString();
    QTest::newRow("Formula above 10") << Builder([] {
        Case c(fullDay(), ReportKind::Hourly, QDate(2015, 3, 10), QDate(2015, 3, 10));
        c.input.account.params.Formula[0] = 11;
        return c.build();
    }) << int(ReportOutcome::UnknownFormula)
                                      << u"Тип системы не идентифицирован"_s << u"Ошибка"_s;
    QTest::newRow("contour out of range")
        << Builder([] { return Case(fullDay(), ReportKind::Daily, QDate(2015, 3, 10), QDate(2015, 3, 10), 3).build(); })
        << int(ReportOutcome::UnknownFormula) << u"Тип системы не идентифицирован"_s << u"Ошибка"_s;
    QTest::newRow("daily range without records")
        << Builder([] { return Case(fullDay(), ReportKind::Daily, QDate(2015, 4, 1), QDate(2015, 4, 30)).build(); })
        << int(ReportOutcome::EmptyInterval) << noRows << u"Ошибка"_s;
    QTest::newRow("one database row and no records") << Builder([] {
        Case c({}, ReportKind::Daily, QDate(2015, 3, 1), QDate(2015, 3, 3));
        c.input.dailyRows = olderDailyRows();
        c.input.dailyRows.resize(1);
        return c.build();
    }) << int(ReportOutcome::EmptyInterval) << noRows << u"Ошибка"_s;
    // The closing-row search would otherwise take the first record of the whole archive.
    QTest::newRow("hourly, day without records")
        << Builder([] { return Case(fullDay(), ReportKind::Hourly, QDate(2015, 3, 5), QDate(2015, 3, 5)).build(); })
        << int(ReportOutcome::EmptyInterval) << noRows << u"Ошибка"_s;
}

void TestReportBuilder::failures()
{
    QFETCH(Builder, build);
    QFETCH(int, outcome);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    testsupport::MessageRecorder messages;
    const ReportResult result = build();
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.state.rows.size(), std::size_t(0));
    const auto shown = messages->shown();
    QCOMPARE(shown.size(), std::size_t(1));
    QCOMPARE(shown[0].text, message);
    QCOMPARE(shown[0].caption, caption);
    QCOMPARE(int(shown[0].icon), int(MbIcon::Error));
    if (outcome == int(ReportOutcome::EmptyInterval)) {
        // The header alone: it ends with the firmware line and holds no table.
        QVERIFY(result.state.text.endsWith("\r\n\t\x1b"
                                           "0"));
        QVERIFY(!result.state.text.contains('\xc4'));
    } else {
        QVERIFY(result.state.text.isEmpty());
    }
}

namespace {

QString stampText(const sctArcZap& r)
{
    return QString::asprintf("%02d.%02d %02d:%02d", r.day, r.month, r.hour, r.minute);
}

} // namespace

void TestReportBuilder::hourlyPairing_data()
{
    QTest::addColumn<std::vector<sctArcZap>>("records");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QStringList>("pairs"); // "earlier > later"

    std::vector<sctArcZap> gaps = {
        record(2015, 3, 10, 0, 0),       record(2015, 3, 10, 1, 0),
        record(2015, 3, 10, 2, 0),       record(2015, 3, 10, 4, 30, 0x50), // part hour, never opens the 05:00 row
        record(2015, 3, 10, 5, 0),       record(2015, 3, 10, 5, 30, kEventSkipped),
        record(2015, 3, 12, 3, 0, 0x50), record(2015, 3, 12, 4, 0),
    };
    QTest::newRow("gaps, closing row from a later day")
        << gaps << QDate(2015, 3, 10)
        << QStringList{ u"10.03 00:00 > 10.03 01:00"_s, u"10.03 01:00 > 10.03 02:00"_s, u"10.03 02:00 > 10.03 05:00"_s,
                        u"10.03 05:00 > 12.03 03:00"_s };

    std::vector<sctArcZap> monthEnd = { record(2015, 3, 31, 22, 0), record(2015, 3, 31, 23, 0),
                                        record(2015, 4, 1, 0, 0), record(2015, 4, 1, 1, 0) };
    QTest::newRow("last day of the month closes with 1st 00:00")
        << monthEnd << QDate(2015, 3, 31)
        << QStringList{ u"00.00 00:00 > 31.03 22:00"_s, u"31.03 22:00 > 31.03 23:00"_s,
                        u"31.03 23:00 > 01.04 00:00"_s };

    std::vector<sctArcZap> withMidnight = { record(2015, 3, 10, 23, 0), record(2015, 3, 11, 0, 0),
                                            record(2015, 3, 11, 0, 0, kEventDaily), record(2015, 3, 11, 1, 0) };
    QTest::newRow("24:00 row ends the day")
        << withMidnight << QDate(2015, 3, 10)
        << QStringList{ u"00.00 00:00 > 10.03 23:00"_s, u"10.03 23:00 > 11.03 00:00"_s };

    std::vector<sctArcZap> midnightOnly
        = { record(2015, 3, 10, 0, 0), record(2015, 3, 10, 0, 30), record(2015, 3, 11, 5, 0) };
    QTest::newRow("hour 0 records of the day are no rows") << midnightOnly << QDate(2015, 3, 10) << QStringList{};
}

void TestReportBuilder::hourlyPairing()
{
    QFETCH(std::vector<sctArcZap>, records);
    QFETCH(QDate, day);
    QFETCH(QStringList, pairs);
    const ArchiveRecordList list = listOf(records);
    pairing::ContourMeans means(0);
    QStringList got;
    for (const TwoZap& row : pairing::hourlyRows(list.records(), day, means))
        got << stampText(row.earlier) + u" > "_s + stampText(row.later);
    QCOMPARE(got, pairs);

    const auto full = pairing::hourlyRows(listOf(fullDay()).records(), QDate(2015, 3, 10), means);
    QCOMPARE(full.size(), std::size_t(24));
    QCOMPARE(stampText(full.back().later), u"11.03 00:00"_s);
}

void TestReportBuilder::dailyFromRecordsEndsAtNextDay()
{
    // Two days of hourly records; the day loop runs to the stored end, 12/03, which has no
    // later day to close it and so gives no row.
    std::vector<sctArcZap> records;
    const QDateTime t0(QDate(2015, 3, 10), QTime(0, 0));
    for (int k = 0; k <= 48; ++k) {
        sctArcZap r = hourRecord(t0.addSecs(3600 * k), k);
        r.T[0] = 6000u + 50u * unsigned(k);
        r.Tfmn[0] = 1;
        r.Tdtm[1] = 2;
        records.push_back(r);
    }
    Case c(records, ReportKind::Daily, QDate(2015, 3, 10), QDate(2015, 3, 11));
    testsupport::MessageRecorder messages;
    const ReportResult result = c.build();
    QCOMPARE(int(result.outcome), int(ReportOutcome::Built));
    QCOMPARE(result.state.rows.size(), std::size_t(2));
    QCOMPARE(result.state.rows[0].Tfmn[0], 24u);
    QCOMPARE(result.state.rows[0].Tdtm[1], 48u);
    QCOMPARE(result.state.Tmin, 48u);
    QCOMPARE(result.state.Tdt, 0u); // other contours do not count

    const QStringList rows = tableRows(result.state.text);
    QCOMPARE(rows,
             (QStringList{
                 u"10/03│     12.000│  20.00 │    240.000│    216.000│     24.000│      0.000│  70.0│  50.0"_s,
                 u"11/03│     12.000│  20.00 │    240.000│    216.000│     24.000│      0.000│  70.0│  50.0"_s,
             }));
    const QString text = codepage::fromOem(result.state.text);
    QVERIFY(text.contains(u"с 10/03/2015 по 12/03/2015"_s));
    QVERIFY(text.contains(u"\t\t\t\t\t\t\t        48.00      40.00       7.20       0.80       0.00       0.00"_s));
    QVERIFY(!text.contains(u"Коды ошибок"_s));
    QVERIFY(messages->texts().isEmpty());
}

void TestReportBuilder::databaseOperatingTimes_data()
{
    QTest::addColumn<QList<int>>("versions");
    QTest::addColumn<QList<int>>("stored");
    QTest::addColumn<QList<int>>("totals"); // T of each row's later record

    QTest::newRow("older meter: running total")
        << QList<int>{ 5, 5, 5 } << QList<int>{ 100, 200, 300 } << QList<int>{ 200, 500 };
    QTest::newRow("newer meter: kept") << QList<int>{ 6, 6, 6 } << QList<int>{ 100, 200, 300 }
                                       << QList<int>{ 200, 300 };
    // The first record counts from 0 when it is older; a record after a newer one is kept.
    QTest::newRow("mixed") << QList<int>{ 5, 6, 5, 5 } << QList<int>{ 100, 1000, 30, 40 } << QList<int>{ 1000, 30, 70 };
}

void TestReportBuilder::databaseOperatingTimes()
{
    QFETCH(QList<int>, versions);
    QFETCH(QList<int>, stored);
    QFETCH(QList<int>, totals);
    std::vector<DayMonRow> rows;
    for (qsizetype i = 0; i < versions.size(); ++i) {
        sctArcZap r;
        r.T = { std::uint32_t(stored[i]), 7, 7 };
        rows.push_back(dayRow(QDate(2015, 1, 30).addDays(i), versions[i], r));
    }
    pairing::ContourMeans means(0);
    const std::vector<TwoZap> out = pairing::dailyRowsFromDatabase(rows, means);
    QCOMPARE(out.size(), std::size_t(versions.size() - 1));
    QList<int> got;
    for (const TwoZap& row : out)
        got << int(row.later.T[0]);
    QCOMPARE(got, totals);
    // Each record is stamped at the close of its day.
    QCOMPARE(stampText(out.front().earlier), u"31.01 00:00"_s);
    QCOMPARE(stampText(out.front().later), u"01.02 00:00"_s);
    QCOMPARE(int(out.front().later.Event), int(kEventDaily));
}

void TestReportBuilder::cellRules_data()
{
    QTest::addColumn<OneRow>("row");
    QTest::addColumn<QString>("line");

    QTest::newRow("Formula 0")
        << OneRow{}
        << u"01:00│      0.500│   1.00 │     10.000│      9.000│      1.000│      0.000│  71.0│  51.0│ │   │   │   "_s;
    QTest::newRow("Formula 0, volumes, pressure") << OneRow{
        0, 2, true, true, {}
    } << u"01:00│      0.500│   1.00 │      5.000│      4.000│      1.000│      0.000│  71.0│  51.0│  4.50│  3.25│ │   │   │   "_s;
    QTest::newRow("Formula 3: volumes from masses")
        << OneRow{ 3, 2, false, false, {} }
        << u"01:00│     --    │   1.00 │     10.000│      9.000│      1.000│      0.000│  --  │  --  "_s;
    QTest::newRow("Formula 5") << OneRow{
        5, 2, false, false, {}
    } << u"01:00│      0.500│   1.00 │     10.000│     --    │     --    │     --    │  71.0│  --  "_s;
    QTest::newRow("Formula 8") << OneRow{
        8, 2, false, false, {}
    } << u"01:00│     --    │   1.00 │     10.000│      9.000│      1.000│      0.000│  71.0│  51.0│ │   │   │   "_s;
    QTest::newRow("Formula 9, Archive Version 1")
        << OneRow{ 9, 1, false, false, {} }
        << u"01:00│      0.500│   1.00 │     10.000│      9.000│      1.000│      0.000│  71.0│  51.0│ │   │   │   "_s;
    QTest::newRow("Formula 9, Archive Version 2") << OneRow{
        9, 2, false, false, {}
    } << u"01:00│      0.500│   1.00 │      5.000│      4.000│      1.000│      0.000│  71.0│  51.0│   6.5│ │   │   │   "_s;
    QTest::newRow("Formula 6: no columns") << OneRow{ 6, 2, false, false, {} } << QString();
    QTest::newRow("Nstart 5 and error codes")
        << OneRow{ 0, 2, false, false,
                   [](sctArcZap&, sctArcZap& l) {
                       l.Nstart = 5;
                       l.Err[0] = 0x30A10C02u;
                   } }
        << u"01:00│      0.500│   1.00 │     10.000│      9.000│      1.000│      0.000│  71.0│  51.0│3│C 2│ A1│5"_s;
    QTest::newRow("wrapped integrators") << OneRow{
        0, 2, false, false,
        [](sctArcZap& e, sctArcZap& l) {
            e.Q[0] = 9999999.0f;
            l.Q[0] = 2.0f;
            e.M[0] = 9999995.0f;
            l.M[0] = 5.0f;
        }
    } << u"01:00│-9999997.000│   1.00 │-9999990.000│      9.000│      0.000│9999999.000│  71.0│  51.0│ │   │   │   "_s;
    QTest::newRow("operating time counts on when it wraps")
        << OneRow{ 0, 2, false, false,
                   [](sctArcZap& e, sctArcZap& l) {
                       e.T[0] = 0xFFFFFFC4u; // 60 minutes before the counter wraps
                       l.T[0] = 60;
                   } }
        << u"01:00│      0.500│   2.00 │     10.000│      9.000│      1.000│      0.000│  71.0│  51.0│ │   │   │   "_s;
}

void TestReportBuilder::cellRules()
{
    QFETCH(OneRow, row);
    QFETCH(QString, line);
    testsupport::MessageRecorder messages;
    const ReportResult result = buildOneRow(row);
    QCOMPARE(int(result.outcome), int(ReportOutcome::Built));
    if (line.isNull()) {
        // Without columns every table line, borders included, is an empty line.
        const QByteArray table = "\x1b"
                                 "0"
            + QByteArray("\r\n\t").repeated(9) + "\t";
        QVERIFY(result.state.text.contains(table));
        return;
    }
    QCOMPARE(tableRows(result.state.text), QStringList{ line });
}

void TestReportBuilder::summaryLines_data()
{
    QTest::addColumn<OneRow>("row");
    QTest::addColumn<QStringList>("lines"); // totals, start, end, difference

    QTest::newRow("Formula 3")
        << OneRow{ 3, 2, false, false, {} }
        << QStringList{
               u"Итого│     --    │   1.00 │     10.000│      9.000│      1.000│      0.000│  --  │  --  "_s,
               u"10/03│     --    │  100.00│     1000.0│      900.0│           │           │      │      "_s,
               u"10/03│     --    │  101.00│     1010.0│      909.0│           │           │      │      "_s,
               u"Итого│     --    │    1.00│     10.000│      9.000│      1.000│      0.000│  --  │  --  "_s,
           };
    QTest::newRow("Formula 5")
        << OneRow{ 5, 2, false, false, {} }
        << QStringList{
               u"Итого│      0.500│   1.00 │     10.000│     --    │     --    │     --    │  71.0│  --  "_s,
               u"10/03│    100.000│  100.00│     1000.0│     --    │           │           │      │      "_s,
               u"10/03│    100.500│  101.00│     1010.0│     --    │           │           │      │      "_s,
               u"Итого│      0.500│    1.00│     10.000│     --    │     --    │     --    │  71.0│  --  "_s,
           };
    QTest::newRow("Formula 9, cold water")
        << OneRow{ 9, 2, false, false, {} }
        << QStringList{
               u"Итого│      0.500│   1.00 │      5.000│      4.000│      1.000│      0.000│  71.0│  51.0│   6.5│ │   │   │   "_s,
               u"10/03│    100.000│  100.00│       50.0│       40.0│           │           │      │      │      │ │   │   │   "_s,
               u"10/03│    100.500│  101.00│       55.0│       44.0│           │           │      │      │      │ │   │   │   "_s,
               u"Итого│      0.500│    1.00│      5.000│      4.000│      1.000│      0.000│  71.0│  51.0│   6.5│ │   │   │   "_s,
           };
    QTest::newRow("pressure means")
        << OneRow{ 1, 2, true, false, {} }
        << QStringList{
               u"Итого│      0.500│   1.00 │     10.000│      9.000│      1.000│      0.000│  71.0│  51.0│  4.50│  3.25│ │   │   │   "_s,
               u"10/03│    100.000│  100.00│     1000.0│      900.0│           │           │      │      │      │      │ │   │   │   "_s,
               u"10/03│    100.500│  101.00│     1010.0│      909.0│           │           │      │      │      │      │ │   │   │   "_s,
               u"Итого│      0.500│    1.00│     10.000│      9.000│      1.000│      0.000│  71.0│  51.0│  4.50│  3.25│ │   │   │   "_s,
           };
}

void TestReportBuilder::summaryLines()
{
    QFETCH(OneRow, row);
    QFETCH(QStringList, lines);
    testsupport::MessageRecorder messages;
    const QStringList text = linesOf(buildOneRow(row).state.text);
    qsizetype at = 0;
    while (at < text.size() && !text[at].contains(u"Показания интеграторов"_s))
        ++at;
    QVERIFY(at >= 2 && at + 6 < text.size());
    QCOMPARE((QStringList{ text[at - 2], text[at + 2], text[at + 4], text[at + 6] }), lines);
}

void TestReportBuilder::headerLines_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<int>("formula");
    QTest::addColumn<int>("archiveVersion");
    QTest::addColumn<int>("softVersion");
    QTest::addColumn<float>("tCold");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("contour");
    QTest::addColumn<QString>("device");

    QTest::newRow("Darna-3 R version") << 3 << 0 << 2 << 0x218 << 5.0f << u"ТЕПЛОВОЙ ЭНЕРГИИ ВОДЫ"_s
                                       << u"тип контура 'открыт.'\t\ttхв = 5.0"_s
                                       << u"Тепловыч. Дарна-3      исп.1A\tзав.N1234\t\tВерс.ПО R2.18.05"_s;
    QTest::newRow("Darna-3 after R versions")
        << 3 << 1 << 2 << 0x219 << 5.0f << u"ТЕПЛОВОЙ ЭНЕРГИИ ВОДЫ"_s << u"тип контура 'закрыт.'\r\n"_s
        << u"Тепловыч. Дарна-3      исп.1A\tзав.N1234\t\tВерс.ПО 02.19.05"_s;
    QTest::newRow("Darna-3c, Formula 9 of version 1")
        << 3 << 9 << 1 << 0x210 << 5.0f << u"ТЕПЛОВОЙ ЭНЕРГИИ ВОДЫ"_s << u"тип контура 'закр. с подп.'\t\ttхв = 5.0"_s
        << u"Тепловыч. Дарна-3c      исп.1A\tзав.N1234\t\tВерс.ПО 02.10.05"_s;
    QTest::newRow("Formula 9 of version 2")
        << 2 << 9 << 2 << 0x210 << 5.0f << u"ТЕПЛОВОЙ ЭНЕРГИИ ВОДЫ"_s << u"тип контура 'откр VQ'\t\ttхв = 5.0"_s
        << u"Тепловыч. Велос-2      исп.1A"_s;
    QTest::newRow("Formula 10, negative t_cold")
        << 0 << 10 << 2 << 0x210 << -1.0f << u"ТЕПЛОВОЙ ЭНЕРГИИ ВОДЫ"_s << u"тип контура 'тупик. V'\r\n"_s
        << u"Тепловыч. Велос-2      исп.1A"_s;
    QTest::newRow("Formula 10 of version 1")
        << 1 << 10 << 1 << 0x210 << 5.0f << u"ТЕПЛОВОЙ ЭНЕРГИИ ВОДЫ"_s
        << u"тип контура 'закр.обр. с подп.'\t\ttхв = 5.0"_s << u"Тепловыч. Карна-1      исп.1A"_s;
    QTest::newRow("Formula 3") << 1 << 3 << 2 << 0x210 << 5.0f << u"ОБЪЕМА ВОДЫ"_s << u"тип контура 'счетчик V\r\n"_s
                               << u"Тепловыч. Карна-1"_s;
    QTest::newRow("Formula 4") << 1 << 4 << 2 << 0x210 << 5.0f << u"МАССЫ ВОДЫ"_s << u"тип контура 'счетчик M'\r\n"_s
                               << u"Тепловыч. Карна-1"_s;
    QTest::newRow("Formula 8") << 1 << 8 << 2 << 0x210 << 5.0f << u"ОБЪЕМА ВОДЫ"_s << u"тип контура 'счетчик Vt'\r\n"_s
                               << u"Тепловыч. Карна-1"_s;
}

void TestReportBuilder::headerLines()
{
    QFETCH(int, deviceType);
    QFETCH(int, formula);
    QFETCH(int, archiveVersion);
    QFETCH(int, softVersion);
    QFETCH(float, tCold);
    QFETCH(QString, title);
    QFETCH(QString, contour);
    QFETCH(QString, device);
    testsupport::MessageRecorder messages;
    Case c(fullDay(), ReportKind::Hourly, QDate(2015, 3, 10), QDate(2015, 3, 10));
    ArchiveParams& p = c.input.account.params;
    c.input.account.deviceType = deviceType;
    p.Formula[0] = std::uint8_t(formula);
    p.ArchiveVersion = std::uint16_t(archiveVersion);
    p.SoftVersion = std::uint16_t(softVersion);
    p.t_cold = tCold;
    const QString text = codepage::fromOem(c.build().state.text);
    QVERIFY2(text.contains(u" ПРОТОКОЛ УЧЕТА "_s + title
                           + u"\x1b"
                             "0"_s),
             qPrintable(text.left(200)));
    QVERIFY2(text.contains(contour), qPrintable(contour));
    QVERIFY2(text.contains(u"\r\n\t"_s + device), qPrintable(device));
}

void TestReportBuilder::meansAndWeights_data()
{
    QTest::addColumn<QList<float>>("values");
    QTest::addColumn<QList<float>>("weights");
    QTest::addColumn<float>("mean");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("weighted") << QList<float>{ 70, 80, 60 } << QList<float>{ 240, 240, 220 } << 49200.0f / 700.0f;
    QTest::newRow("no weight halves towards the value") << QList<float>{ 70, 50 } << QList<float>{ 0, 0 } << 42.5f;
    QTest::newRow("NaN value counts as 0") << QList<float>{ 60, nan } << QList<float>{ 10, 10 } << 30.0f;
    QTest::newRow("NaN weight counts as 0") << QList<float>{ 60, 90 } << QList<float>{ 10, nan } << 60.0f;
}

void TestReportBuilder::meansAndWeights()
{
    QFETCH(QList<float>, values);
    QFETCH(QList<float>, weights);
    QFETCH(float, mean);
    pairing::RunningMean m;
    for (qsizetype i = 0; i < values.size(); ++i)
        m.add(values[i], weights[i]);
    QCOMPARE(m.value(), mean);

    sctArcZap e, l;
    e.M = { 9999995.0f, 900.0f, 0, 0, 0, 0 };
    l.M = { 5.0f, 909.0f, 0, 0, 0, 0 };
    pairing::RowWeights w = pairing::rowWeights(e, l, 0);
    QCOMPARE(w.supply, 10.0f);
    QCOMPARE(w.returned, 9.0f);
    l.M[0] = 0.0f; // a supply counter that reads 0 borrows the return's weight
    w = pairing::rowWeights(e, l, 0);
    QCOMPARE(w.supply, 9.0f);
    l.M = { 1010.0f, 0.0f, 0, 0, 0, 0 };
    e.M[0] = 1000.0f;
    w = pairing::rowWeights(e, l, 0);
    QCOMPARE(w.returned, 10.0f);
}

void TestReportBuilder::negativeTerrIsReported()
{
    testsupport::MessageRecorder messages;
    const ReportResult result
        = buildOneRow(OneRow{ 0, 2, false, false, [](sctArcZap&, sctArcZap& l) { l.T[0] = 6000 + 150; } });
    QCOMPARE(int(result.outcome), int(ReportOutcome::Built));
    QCOMPARE(messages->texts(), QStringList{ u"-1.50000000"_s });
    QVERIFY(codepage::fromOem(result.state.text)
                .contains(u"\t\t\t\t\t\t\t         1.00       2.50      -1.50       0.00       0.00       0.00"_s));
    QVERIFY(result.state.text.endsWith("\r\n\x0c"));
}

void TestReportBuilder::oddRecordsStayInBounds()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<sctArcZap> records = fullDay();
    for (sctArcZap& r : records) {
        r.Q.fill(nan);
        r.M.fill(nan);
        r.t.fill(nan);
        r.Err.fill(0xFFFFFFFFu);
    }
    records.push_back(record(2015, 3, 10, 24, 0));
    records.push_back(record(2015, 13, 40, 25, 70));
    records.push_back(record(2000, 0, 0, 0, 0));
    testsupport::MessageRecorder messages;
    for (int contour : { -1, 0, 2, 5 }) {
        for (ReportKind kind : { ReportKind::Hourly, ReportKind::Daily }) {
            Case c(records, kind, QDate(2015, 3, 9), QDate(2015, 3, 12), contour);
            c.input.account.params.Formula = { 0, 0, 0 };
            const ReportResult r = c.build();
            if (contour == 0)
                QCOMPARE(int(r.outcome), int(ReportOutcome::Built));
        }
    }
    // Database rows with odd stamps still pair, and the means stay numbers.
    Case c({}, ReportKind::Daily, QDate(2015, 3, 1), QDate(2015, 3, 3));
    c.input.dailyRows = olderDailyRows();
    c.input.dailyRows[1].dateTime = QDateTime();
    c.input.dailyRows[2].blob.bytes[u_data_daymon_full::kT] = 0xFF; // part of a NaN
    const ReportResult r = c.build();
    QCOMPARE(int(r.outcome), int(ReportOutcome::Built));
    QVERIFY(!std::isnan(r.state.averages.tSupply));
}

void TestReportBuilder::unsortedListGivesSameReport()
{
    std::vector<sctArcZap> records = fullDay();
    ArchiveRecordList unsorted;
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        unsorted.add(*it, true);
    QVERIFY(!unsorted.isSorted());
    Case sorted(records, ReportKind::Hourly, QDate(2015, 3, 10), QDate(2015, 3, 10));
    ReportInput input = sorted.input;
    input.records = &unsorted;
    QCOMPARE(buildReport(input).state.text, sorted.build().state.text);
}

QTEST_GUILESS_MAIN(TestReportBuilder)
#include "TestReportBuilder.moc"
