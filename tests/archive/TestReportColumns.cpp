#include <algorithm>

#include <QtTest>

#include "archive/ReportColumns.h"
#include "TestSupport.h"

using namespace Qt::Literals::StringLiterals;
using namespace archive;

namespace {

using Kinds = QList<int>;

// Written out per set, without pressure and with masses, so a slip in the builder's sharing of
// steps between sets shows up here.
const Kinds kHourlyMain{ 0, 2, 3, 4, 5, 8, 9, 12, 13, 14, 15, 16, 17 };
const Kinds kHourly45{ 0, 2, 3, 4, 5, 8, 9, 12, 13 };
const Kinds kHourlyVolume{ 0, 2, 3, 6, 7, 10, 11, 12, 13 };
const Kinds kHourly8{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17 };
const Kinds kHourly9{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 20, 14, 15, 16, 17 };
const Kinds kDailyMain{ 1, 2, 3, 4, 5, 8, 9, 12, 13 };
const Kinds kDailyVolume{ 1, 2, 3, 6, 7, 10, 11, 12, 13 };
const Kinds kDaily9{ 1, 2, 3, 6, 7, 10, 11, 12, 13, 20 };
const Kinds kDaily10{ 1, 2, 3, 4, 5, 8, 9, 12, 13, 14, 15, 16, 17 };

QString fixedUnitName(int id, const QString& fallback)
{
    Q_UNUSED(id);
    return u"<"_s + fallback + u">"_s;
}

Kinds kindsOf(const QList<_columnRep>& columns)
{
    Kinds kinds;
    for (const _columnRep& c : columns)
        kinds.append(c.kind);
    return kinds;
}

void verifyIndexes(const QList<_columnRep>& columns)
{
    for (qsizetype i = 0; i < columns.size(); ++i)
        QCOMPARE(columns[i].index, int(i));
}

ArchiveParams paramsFor(int formula, int archiveVersion, int contour = 0, bool pressure = false)
{
    ArchiveParams params;
    params.Formula.fill(0);
    params.Formula[std::size_t(contour)] = std::uint8_t(formula);
    params.ArchiveVersion = std::uint16_t(archiveVersion);
    params.Pressure[std::size_t(contour)] = pressure ? 1 : 0;
    return params;
}

} // namespace

class TestReportColumns : public QObject
{
    Q_OBJECT

private slots:
    void setByFormula_data();
    void setByFormula();
    void pressureAndVolumes_data();
    void pressureAndVolumes();
    void headings_data();
    void headings();
    void headingsFillTheirWidth();
    void energyUnitsLine_data();
    void energyUnitsLine();
    void refusesUnknownSystem_data();
    void refusesUnknownSystem();
    void readsTheReportedContour();
};

void TestReportColumns::setByFormula_data()
{
    QTest::addColumn<int>("formula");
    QTest::addColumn<bool>("hourly");
    QTest::addColumn<int>("archiveVersion");
    QTest::addColumn<Kinds>("expected");

    struct Row
    {
        int formula;
        Kinds hourlyV1, dailyV1, hourlyV3, dailyV3;
    };
    const Row rows[] = {
        { 0, kHourlyMain, kDailyMain, kHourlyMain, kDailyMain },
        { 1, kHourlyMain, kDailyMain, kHourlyMain, kDailyMain },
        { 2, kHourlyMain, kDailyMain, kHourlyMain, kDailyMain },
        { 3, kHourlyVolume, kDailyVolume, kHourlyVolume, kDailyVolume },
        { 4, kHourly45, kDailyMain, kHourly45, kDailyMain },
        { 5, kHourly45, kDailyMain, kHourly45, kDailyMain },
        { 6, {}, {}, {}, {} },
        { 7, {}, {}, {}, {} },
        { 8, kHourly8, kDailyVolume, kHourly8, kDailyVolume },
        { 9, kHourlyMain, kDailyMain, kHourly9, kDaily9 },
        { 10, kHourlyMain, kDaily10, kHourlyVolume, kDailyVolume },
    };
    for (const Row& r : rows) {
        QTest::addRow("F%d hourly AV1", r.formula) << r.formula << true << 1 << r.hourlyV1;
        QTest::addRow("F%d daily AV1", r.formula) << r.formula << false << 1 << r.dailyV1;
        QTest::addRow("F%d hourly AV3", r.formula) << r.formula << true << 3 << r.hourlyV3;
        QTest::addRow("F%d daily AV3", r.formula) << r.formula << false << 3 << r.dailyV3;
    }
}

void TestReportColumns::setByFormula()
{
    QFETCH(int, formula);
    QFETCH(bool, hourly);
    QFETCH(int, archiveVersion);
    QFETCH(Kinds, expected);

    testsupport::MessageRecorder box;
    QList<_columnRep> columns{ makeColumn(0, 1, QString()) }; // left from an earlier build
    QVERIFY(buildReportColumns(columns, paramsFor(formula, archiveVersion), 0,
                               hourly ? ReportKind::Hourly : ReportKind::Daily, false));
    QCOMPARE(kindsOf(columns), expected);
    verifyIndexes(columns);
    QVERIFY(box->texts().isEmpty());
}

void TestReportColumns::pressureAndVolumes_data()
{
    QTest::addColumn<ColumnSet>("set");
    QTest::addColumn<bool>("pressure");
    QTest::addColumn<bool>("printVolumes");
    QTest::addColumn<Kinds>("expected");

    QTest::newRow("hourly main, pressure")
        << ColumnSet::HourlyMain << true << false << Kinds{ 0, 2, 3, 4, 5, 8, 9, 12, 13, 18, 19, 14, 15, 16, 17 };
    QTest::newRow("hourly main, volumes")
        << ColumnSet::HourlyMain << false << true << Kinds{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17 };
    QTest::newRow("hourly 4/5, pressure, volumes")
        << ColumnSet::Hourly45 << true << true << Kinds{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 18, 19 };
    QTest::newRow("hourly volume, pressure, volumes")
        << ColumnSet::HourlyVolume << true << true << Kinds{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 18, 19 };
    QTest::newRow("hourly 8, pressure")
        << ColumnSet::Hourly8 << true << false << Kinds{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 18, 19, 14, 15, 16, 17 };
    QTest::newRow("hourly 9, pressure") << ColumnSet::Hourly9 << true << false
                                        << Kinds{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 20, 18, 19, 14, 15, 16, 17 };
    QTest::newRow("daily main, pressure, volumes")
        << ColumnSet::DailyMain << true << true << Kinds{ 1, 2, 3, 6, 7, 10, 11, 12, 13, 18, 19 };
    QTest::newRow("daily volume, pressure")
        << ColumnSet::DailyVolume << true << false << Kinds{ 1, 2, 3, 6, 7, 10, 11, 12, 13, 18, 19 };
    QTest::newRow("daily 9, pressure")
        << ColumnSet::Daily9 << true << false << Kinds{ 1, 2, 3, 6, 7, 10, 11, 12, 13, 20, 18, 19 };
    QTest::newRow("daily 10, pressure, volumes")
        << ColumnSet::Daily10 << true << true << Kinds{ 1, 2, 3, 6, 7, 10, 11, 12, 13, 18, 19, 14, 15, 16, 17 };
    QTest::newRow("empty, pressure, volumes") << ColumnSet::Empty << true << true << Kinds{};
}

void TestReportColumns::pressureAndVolumes()
{
    QFETCH(ColumnSet, set);
    QFETCH(bool, pressure);
    QFETCH(bool, printVolumes);
    QFETCH(Kinds, expected);

    QList<_columnRep> columns;
    appendColumnSet(columns, set, ColumnOptions{ u"Гкал"_s, pressure, printVolumes });
    QCOMPARE(kindsOf(columns), expected);
    verifyIndexes(columns);
}

void TestReportColumns::headings_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("units");
    QTest::addColumn<int>("width");

    QTest::newRow("time") << 0 << u"Время"_s << u"чч:мм"_s << 5;
    QTest::newRow("date") << 1 << u"Дата "_s << u"дд/мм"_s << 5;
    QTest::newRow("operating time") << 3 << u"  T раб "_s << u"  час.  "_s << 8;
    QTest::newRow("supply mass") << 4 << u"   M под   "_s << u"   тонн    "_s << 11;
    QTest::newRow("negative mass difference") << 9 << u"  -(Mп-Mо) "_s << u"  тонн     "_s << 11;
    QTest::newRow("return temperature") << 13 << u" tобр "_s << u"  °C  "_s << 6;
    QTest::newRow("dt error") << 14 << u"d"_s << u"t"_s << 1;
    QTest::newRow("start counter") << 17 << u"Nст"_s << u"   "_s << 3;
    QTest::newRow("supply pressure") << 18 << u" p под"_s << u"      "_s << 6;
    QTest::newRow("cold water") << 20 << u"  tхв "_s << u"      "_s << 6;
    QTest::newRow("above range") << 21 << u" "_s << u" "_s << 1;
}

void TestReportColumns::headings()
{
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, units);
    QFETCH(int, width);

    const _columnRep c = makeColumn(7, kind, u"ГДж"_s);
    QCOMPARE(c.index, 7);
    QCOMPARE(c.kind, kind);
    QCOMPARE(c.title, title);
    QCOMPARE(c.units, units);
    QCOMPARE(c.width, width);
}

void TestReportColumns::headingsFillTheirWidth()
{
    // The report lines the headings up by width; a lost blank would shift every column after it.
    for (int kind = 0; kind < kColumnKinds; ++kind) {
        const _columnRep c = makeColumn(0, kind, u"Гкал"_s);
        QVERIFY2(c.title.size() == c.width && c.units.size() == c.width, qPrintable(QString::number(kind)));
    }
}

void TestReportColumns::energyUnitsLine_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("units");

    QTest::newRow("kW*h") << 0 << u"   <kW*h>  "_s;
    QTest::newRow("GJ") << 1 << u"   <GJ>    "_s;
    QTest::newRow("Gcal") << 2 << u"   <Gcal>  "_s;
    QTest::newRow("other code is Gcal") << 200 << u"   <Gcal>  "_s;
}

void TestReportColumns::energyUnitsLine()
{
    QFETCH(int, code);
    QFETCH(QString, units);

    ArchiveParams params = paramsFor(0, 3);
    params.EnergyUnits = std::uint8_t(code);
    QList<_columnRep> columns;
    QVERIFY(buildReportColumns(columns, params, 0, ReportKind::Daily, false, &fixedUnitName));
    QCOMPARE(columns.at(1).kind, 2);
    QCOMPARE(columns.at(1).title, u"   Q       "_s);
    QCOMPARE(columns.at(1).units, units);
    QCOMPARE(columns.at(1).width, 11);

    // A name longer than the field keeps all its letters, as printf would.
    QCOMPARE(makeColumn(0, 2, u"ABCDEFGHIJ"_s).units, u"   ABCDEFGHIJ"_s);
}

void TestReportColumns::refusesUnknownSystem_data()
{
    QTest::addColumn<int>("formula");
    QTest::addColumn<int>("contour");

    QTest::newRow("F11") << 11 << 0;
    QTest::newRow("F255") << 255 << 2;
    QTest::newRow("contour 3") << 0 << 3;
    QTest::newRow("contour -1") << 0 << -1;
}

void TestReportColumns::refusesUnknownSystem()
{
    QFETCH(int, formula);
    QFETCH(int, contour);

    const ArchiveParams params = paramsFor(formula, 3, std::clamp(contour, 0, 2), true);
    for (ReportKind kind : { ReportKind::Hourly, ReportKind::Daily }) {
        for (int av : { 1, 3 }) {
            ArchiveParams p = params;
            p.ArchiveVersion = std::uint16_t(av);
            testsupport::MessageRecorder box;
            QList<_columnRep> columns{ makeColumn(0, 0, QString()) };
            QVERIFY(!buildReportColumns(columns, p, contour, kind, true));
            QVERIFY(columns.isEmpty());
            const auto shown = box->shown();
            QCOMPARE(shown.size(), std::size_t(1));
            QCOMPARE(shown[0].text, u"Тип системы не идентифицирован"_s);
            QCOMPARE(shown[0].caption, u"Ошибка"_s);
            QCOMPARE(shown[0].icon, MbIcon::Error);
        }
    }
}

void TestReportColumns::readsTheReportedContour()
{
    // Formula, pressure and the volumes choice all come from the one contour asked for.
    ArchiveParams params;
    params.Formula = { 3, 255, 0 };
    params.Pressure = { 1, 0, 0 };
    params.ArchiveVersion = 3;

    QList<_columnRep> columns;
    QVERIFY(buildReportColumns(columns, params, 2, ReportKind::Hourly, false));
    QCOMPARE(kindsOf(columns), kHourlyMain);

    QVERIFY(buildReportColumns(columns, params, 0, ReportKind::Hourly, false));
    QCOMPARE(kindsOf(columns), (Kinds{ 0, 2, 3, 6, 7, 10, 11, 12, 13, 18, 19 }));
}

QTEST_GUILESS_MAIN(TestReportColumns)
#include "TestReportColumns.moc"
