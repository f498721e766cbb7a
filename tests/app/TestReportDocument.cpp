#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "JanuaryHours.h"
#include "ScriptedShell.h"
#include "TestSupport.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "app/ProfileStore.h"
#include "archive/ArchiveFile.h"
#include "archive/DayMonRecord.h"
#include "base/DateUtil.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(MbAnswer)
Q_DECLARE_METATYPE(ViewKind)

namespace {

const QString kNotSaved = u"Отчёт не сохранён. Сохранить?"_s;
const QString kNoReport = u"Отчёт не создан или не загружен.\nСоздайте или загрузите отчёт."_s;

// Hourly records of 5 and 6 January 2015 (the 24:00 record of the 5th included), two contours.
QByteArray twoDayArchive(int serial)
{
    ArchiveParams params;
    params.NumSys = 2;
    params.Formula = { 1, 1, 0 };
    params.Custom = u"Школа"_s;
    const ArchiveRecordList records = testsupport::januaryHours();
    return archive::archiveFileBytes(params, records, std::uint16_t(serial));
}

struct Fixture
{
    Fixture()
        : store(dir.filePath(u"lorn2.ini"_s))
        , doc(store, dir.path())
    {
        testsupport::writeFile(dir.filePath(u"esc.ini"_s), "Bold.On=<ESC>E\r\n");
        doc.setShell(&shell);
        doc.OnNewDocument();
        doc.fillDeviceList();
    }

    // An account of type 1 whose archive file holds twoDayArchive, selected in the device list.
    void addAccount(int serial, bool withArchive = true)
    {
        shell.accountEdits.push_back([=](CDevData& r) {
            r.m_serial = serial;
            r.m_type = 1;
            return true;
        });
        QVERIFY(doc.OnAddAccount());
        if (withArchive)
            QVERIFY(testsupport::writeFile(doc.accounts().back().archiveFilePath(), twoDayArchive(serial)));
    }

    // The dialog answers with these choices.
    void answerReport(archive::ReportKind kind, int contour, QDate first, QDate last)
    {
        shell.reportAnswer = [=](ReportSettingsRequest& r) {
            r.kind = kind;
            r.contour = contour;
            r.first = first;
            r.last = last;
            const archive::ReportRequest p = archive::makeReportRequest(kind, contour, first, last);
            r.start = p.start;
            r.end = p.end;
            return true;
        };
    }

    bool createHourly()
    {
        answerReport(archive::ReportKind::Hourly, 0, QDate(2015, 1, 5), QDate(2015, 1, 5));
        return doc.OnCreateReport();
    }

    QByteArray reportText(int account = 0) { return doc.accounts()[std::size_t(account)].m_reportText.toByteArray(); }

    testsupport::MessageRecorder quiet;
    QTemporaryDir dir;
    ProfileStore store;
    CLorn2Doc doc;
    ScriptedShell shell;
};

} // namespace

class TestReportDocument : public QObject
{
    Q_OBJECT

private slots:
    void createReportFillsTheDialogAndNamesTheDocument();
    void createReportKeepsTheLastChoices();
    void createReportReadsTheParameterBlock();
    void dailyReportTakesTheDatabaseRows();
    void createReportRefused_data();
    void createReportRefused();
    void saveAndLoadAreByteForByte_data();
    void saveAndLoadAreByteForByte();
    void oversizedFileIsRefused();
    void saveFailures_data();
    void saveFailures();
    void leavingAnUnsavedReport_data();
    void leavingAnUnsavedReport();
    void loadAndCreateAskFirst();
    void printNeedsAReport();
    void reportFileNamedAtStart_data();
    void reportFileNamedAtStart();
    void enableRules_data();
    void enableRules();
};

void TestReportDocument::createReportFillsTheDialogAndNamesTheDocument()
{
    Fixture f;
    f.addAccount(1234);
    QVERIFY(f.createHourly());
    const ReportSettingsRequest& offered = f.shell.offeredReport;
    QCOMPARE(offered.serial, 1234);
    QCOMPARE(offered.typeName, u"Карна-1"_s);
    QCOMPARE(offered.numSys, 2);
    // The archive's parameter block was read with the file: the dialog knows both contours.
    QCOMPARE(offered.first, QDate(2015, 1, 5));
    QCOMPARE(offered.last, QDate(2015, 1, 7));
    QCOMPARE(offered.earliest, dateutil::calendarDateTime(QDate(2015, 1, 5), QTime(1, 0)));
    QCOMPARE(offered.latest, dateutil::calendarDateTime(QDate(2015, 1, 7), QTime(0, 0)));

    QVERIFY(f.reportText().startsWith("\x1b\x43\x64\x1b\x55\x31"));
    QCOMPARE(f.doc.accounts()[0].m_reportText.capacity() >= 524288, true);
    QVERIFY(f.doc.m_modified);
    QCOMPARE(f.doc.pathName(), f.dir.path() + u"/Reports/Karna1_01234.tsr"_s);
    QCOMPARE(f.doc.reportAccount(), 0);
    QCOMPARE(f.doc.m_currentAccount, 0);
    QCOMPARE(f.shell.view, ViewKind::Report);
    QCOMPARE(f.shell.shownAccount, 0);
    const archive::ReportState& state = f.doc.accounts()[0].m_report;
    QCOMPARE(state.start, QDateTime(QDate(2015, 1, 5), QTime(0, 0)));
    QCOMPARE(state.end, QDateTime(QDate(2015, 1, 6), QTime(0, 0)));
    QVERIFY(state.text.isEmpty()); // kept once, in the text block
}

void TestReportDocument::createReportKeepsTheLastChoices()
{
    Fixture f;
    f.addAccount(1234);
    f.answerReport(archive::ReportKind::Daily, 1, QDate(2015, 1, 5), QDate(2015, 1, 6));
    QVERIFY(f.doc.OnCreateReport());
    f.doc.m_modified = false;
    f.shell.view = ViewKind::Report;
    f.shell.reportAnswer = nullptr;
    QVERIFY(!f.doc.OnCreateReport());
    QCOMPARE(f.shell.offeredReport.kind, archive::ReportKind::Daily);
    QCOMPARE(f.shell.offeredReport.contour, 1);
}

void TestReportDocument::dailyReportTakesTheDatabaseRows()
{
    Fixture f;
    f.addAccount(1234);
    ArchiveDatabase db;
    QCOMPARE(db.open(f.dir.filePath(u"lorn2.sqlite"_s)), S_OK);
    QCOMPARE(db.ensureTables(), S_OK);
    // Three days closed by the meter with energy readings far from those of the hourly records.
    const float energy[] = { 100.0f, 150.0f, 225.0f };
    for (int d = 0; d < 3; ++d) {
        sctArcZap r;
        r.year = 15;
        r.month = 1;
        r.day = std::uint8_t(5 + d);
        r.Event = archive::kEventDaily;
        r.Q[0] = energy[d];
        u_data_daymon_full blob = archive::toDayMon(r);
        blob.bytes[u_data_daymon_full::kTail] = 6;
        QCOMPARE(db.storeDayMonRecord(1, 1234, blob), S_OK);
    }
    f.doc.setDatabase(&db);
    f.answerReport(archive::ReportKind::Daily, 0, QDate(2015, 1, 5), QDate(2015, 1, 7));
    QVERIFY(f.doc.OnCreateReport());
    const std::vector<TwoZap>& rows = f.doc.accounts()[0].m_report.rows;
    QCOMPARE(rows.size(), std::size_t(2));
    QCOMPARE(rows[0].later.Q[0] - rows[0].earlier.Q[0], 50.0f);
    QCOMPARE(rows[1].later.Q[0] - rows[1].earlier.Q[0], 75.0f);

    // Without a database the same report comes from the account's hourly records.
    f.doc.setDatabase(nullptr);
    f.doc.m_modified = false;
    QVERIFY(f.doc.OnCreateReport());
    QVERIFY(f.doc.accounts()[0].m_report.rows.size() >= 2);
    QVERIFY(f.doc.accounts()[0].m_report.rows[0].later.Q[0] < 10.0f);
}

void TestReportDocument::createReportReadsTheParameterBlock()
{
    Fixture f;
    f.addAccount(1234);
    // Records merged without the file's parameters, as an import merges a foreign file.
    CDevData& acc = f.doc.accounts()[0];
    QCOMPARE(archive::readArchiveFile(acc.archiveFilePath(), acc.m_arcParams, acc.m_records, true, 0), S_OK);
    QCOMPARE(acc.m_arcParams.NumSys, std::uint16_t(0));
    QVERIFY(f.createHourly());
    QCOMPARE(f.shell.offeredReport.numSys, 2);
    QCOMPARE(f.doc.accounts()[0].m_arcParams.Custom, u"Школа"_s);
}

void TestReportDocument::createReportRefused_data()
{
    QTest::addColumn<QByteArray>("archive"); // empty: no archive file
    QTest::addColumn<bool>("dialogAnswers");
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<QString>("message");
    QTest::newRow("no archive file") << QByteArray() << true << 0 << u"Нет архивных данных"_s;
    QTest::newRow("unreadable archive") << twoDayArchive(999) << true << 0 << u"Не удалось загрузить архив"_s;
    QTest::newRow("dialog cancelled") << twoDayArchive(1234) << false << 1 << QString();
}

void TestReportDocument::createReportRefused()
{
    QFETCH(QByteArray, archive);
    QFETCH(bool, dialogAnswers);
    QFETCH(int, dialogs);
    QFETCH(QString, message);
    Fixture f;
    f.addAccount(1234, false);
    if (!archive.isEmpty())
        QVERIFY(testsupport::writeFile(f.doc.accounts()[0].archiveFilePath(), archive));
    f.answerReport(archive::ReportKind::Hourly, 0, QDate(2015, 1, 5), QDate(2015, 1, 5));
    if (!dialogAnswers)
        f.shell.reportAnswer = nullptr;
    testsupport::MessageRecorder rec;
    QVERIFY(!f.doc.OnCreateReport());
    QCOMPARE(f.shell.reportDialogs, dialogs);
    if (!message.isEmpty()) {
        QVERIFY(!rec->texts().isEmpty());
        QVERIFY2(rec->texts().back().startsWith(message), qPrintable(rec->texts().join(u'|')));
    }
    QVERIFY(f.reportText().isEmpty());
    QVERIFY(!f.doc.m_modified);
    QCOMPARE(f.shell.view, ViewKind::DeviceList);
}

void TestReportDocument::saveAndLoadAreByteForByte_data()
{
    QTest::addColumn<QByteArray>("bytes"); // empty: a built report
    QTest::newRow("built report") << QByteArray();
    QTest::newRow("any bytes") << QByteArray("\x00\x1b\x40\xff\r\n\r\r\n\t\xc4\xb3\x0c", 13);
    QTest::newRow("single byte") << QByteArray("\x0c");
}

void TestReportDocument::saveAndLoadAreByteForByte()
{
    QFETCH(QByteArray, bytes);
    Fixture f;
    f.addAccount(1234);
    if (bytes.isEmpty()) {
        QVERIFY(f.createHourly());
        bytes = f.reportText();
        QVERIFY(bytes.endsWith('\x0c'));
    } else {
        const QString source = f.dir.filePath(u"in.tsr"_s);
        QVERIFY(testsupport::writeFile(source, bytes));
        QVERIFY(f.doc.loadReport(0, source));
        QCOMPARE(f.reportText(), bytes);
        QVERIFY(!f.doc.m_modified);
        QVERIFY(!f.doc.accounts()[0].m_report.start.isValid());
    }
    f.shell.view = ViewKind::Report;
    const QString saved = f.dir.filePath(u"out.tsr"_s);
    f.shell.fileName = saved;
    QVERIFY(f.doc.OnSaveReport());
    QCOMPARE(f.shell.lastDialog.defaultExtension, u"tsr"_s);
    QCOMPARE(f.shell.lastDialog.filter, u"Файлы отчётов Лорн (*.tsr)|*.tsr|Все файлы (*.*)|*.*||"_s);
    QCOMPARE(testsupport::readFile(saved), bytes);
    QVERIFY(!f.doc.m_modified);
    QCOMPARE(f.doc.pathName(), saved);

    // Loaded into another account through the command, from the device list.
    f.addAccount(2222, false);
    f.shell.view = ViewKind::DeviceList;
    f.shell.selected = 1;
    QVERIFY(f.doc.OnLoadReport());
    QCOMPARE(f.reportText(1), bytes);
    QCOMPARE(f.shell.view, ViewKind::Report);
    QCOMPARE(f.shell.shownAccount, 1);
    QCOMPARE(f.doc.m_currentAccount, 1);
}

void TestReportDocument::oversizedFileIsRefused()
{
    Fixture f;
    f.addAccount(1234);
    QVERIFY(f.createHourly());
    const QByteArray kept = f.reportText();
    // Sparse, so the test writes almost nothing.
    const QString path = f.dir.filePath(u"huge.tsr"_s);
    QFile huge(path);
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(65 * 1024 * 1024));
    huge.close();
    testsupport::MessageRecorder rec;
    QVERIFY(!f.doc.loadReport(0, path));
    QCOMPARE(rec->texts(), QStringList{ u"File too large"_s });
    QCOMPARE(f.reportText(), kept);
    QVERIFY(f.doc.m_modified);
}

void TestReportDocument::saveFailures_data()
{
    QTest::addColumn<bool>("built");
    QTest::addColumn<QString>("target"); // relative to the working folder
    QTest::addColumn<QString>("message"); // the target's full path is appended to a "\n" ending
    QTest::newRow("no report") << false << u"a.tsr"_s << kNoReport;
    QTest::newRow("missing folder") << true << u"none/a.tsr"_s << u"Не удалось сохранить отчёт в файл:\n"_s;
    QTest::newRow("target is a folder") << true << u"Devices"_s << u"Не удалось сохранить отчёт в файл:\n"_s;
}

void TestReportDocument::saveFailures()
{
    QFETCH(bool, built);
    QFETCH(QString, target);
    QFETCH(QString, message);
    Fixture f;
    f.addAccount(1234);
    if (built)
        QVERIFY(f.createHourly());
    f.shell.view = ViewKind::Report;
    f.doc.m_currentAccount = 0;
    const QString path = f.dir.filePath(target);
    f.shell.fileName = path;
    testsupport::MessageRecorder rec;
    QVERIFY(!f.doc.OnSaveReport());
    QCOMPARE(rec->texts(), QStringList{ message.endsWith(u'\n') ? message + path : message });
    QCOMPARE(rec->shown()[0].icon, MbIcon::Error);
    // A failed save leaves the report unsaved, so leaving it still asks.
    QCOMPARE(f.doc.m_modified, built);
    if (built)
        QCOMPARE(f.doc.pathName(), f.dir.path() + u"/Reports/Karna1_01234.tsr"_s);
}

void TestReportDocument::leavingAnUnsavedReport_data()
{
    QTest::addColumn<MbAnswer>("answer");
    QTest::addColumn<bool>("chooseFile");
    QTest::addColumn<bool>("leaves");
    QTest::addColumn<bool>("modifiedAfter");
    QTest::addColumn<bool>("written");
    QTest::newRow("yes saves") << MbAnswer::Yes << true << true << false << true;
    QTest::newRow("yes, save dialog cancelled") << MbAnswer::Yes << false << false << true << false;
    QTest::newRow("no discards") << MbAnswer::No << true << true << false << false;
    QTest::newRow("cancel stays") << MbAnswer::Cancel << true << false << true << false;
}

void TestReportDocument::leavingAnUnsavedReport()
{
    QFETCH(MbAnswer, answer);
    QFETCH(bool, chooseFile);
    QFETCH(bool, leaves);
    QFETCH(bool, modifiedAfter);
    QFETCH(bool, written);
    Fixture f;
    f.addAccount(1234);
    QVERIFY(f.createHourly());
    const QString target = f.dir.filePath(u"kept.tsr"_s);
    f.shell.fileName = chooseFile ? target : QString();
    testsupport::MessageRecorder rec;
    rec->setNextAnswer(answer);
    QCOMPARE(f.doc.SaveModified(), leaves);
    QCOMPARE(rec->texts(), QStringList{ kNotSaved });
    QCOMPARE(rec->shown()[0].buttons, MbButtons::YesNoCancel);
    QCOMPARE(f.doc.m_modified, modifiedAfter);
    QCOMPARE(QFile::exists(target), written);
    if (written) {
        QCOMPARE(testsupport::readFile(target), f.reportText());
        // Saving proposed the report's own name in the reports folder, which it created.
        QCOMPARE(f.shell.lastDialog.defaultName, u"Karna1_01234.tsr"_s);
        QCOMPARE(f.shell.lastDialog.folder, f.dir.path() + u"/Reports"_s);
        QVERIFY(QFileInfo(f.dir.filePath(u"Reports"_s)).isDir());
    }
    // Once saved or discarded, nothing is asked again.
    rec->clear();
    if (!modifiedAfter) {
        QVERIFY(f.doc.SaveModified());
        QCOMPARE(rec->texts(), QStringList());
    }
}

void TestReportDocument::loadAndCreateAskFirst()
{
    Fixture f;
    f.addAccount(1234);
    f.addAccount(2222);
    f.shell.selected = 0;
    QVERIFY(f.createHourly());
    const QByteArray first = f.reportText();
    QVERIFY(!first.isEmpty());
    testsupport::MessageRecorder rec;

    // Cancel keeps the unsaved report: neither the settings dialog nor the file dialog opens.
    f.shell.view = ViewKind::DeviceList;
    f.shell.selected = 1;
    rec->setNextAnswer(MbAnswer::Cancel);
    QVERIFY(!f.doc.OnCreateReport());
    QCOMPARE(f.shell.reportDialogs, 1);
    rec->setNextAnswer(MbAnswer::Cancel);
    f.shell.fileName = f.dir.filePath(u"other.tsr"_s);
    QVERIFY(!f.doc.OnLoadReport());
    QCOMPARE(rec->texts(), (QStringList{ kNotSaved, kNotSaved }));
    QCOMPARE(f.reportText(), first);

    // Yes saves the first account's report, though the second is the one selected.
    rec->clear();
    rec->setNextAnswer(MbAnswer::Yes);
    f.shell.fileName = f.dir.filePath(u"first.tsr"_s);
    QVERIFY(f.doc.OnCreateReport());
    QCOMPARE(testsupport::readFile(f.dir.filePath(u"first.tsr"_s)), first);
    QCOMPARE(f.doc.reportAccount(), 1);
    QCOMPARE(f.doc.pathName(), f.dir.path() + u"/Reports/Karna1_02222.tsr"_s);
    QVERIFY(f.doc.m_modified);
}

void TestReportDocument::printNeedsAReport()
{
    Fixture f;
    f.addAccount(1234);
    f.shell.view = ViewKind::Report;
    f.doc.m_currentAccount = 0;
    testsupport::MessageRecorder rec;
    QVERIFY(f.doc.onCommand(cmd::PrintReport));
    QCOMPARE(rec->texts(), QStringList{ kNoReport });
    QVERIFY(f.shell.printedReports.empty());

    f.shell.view = ViewKind::DeviceList;
    f.shell.selected = 0;
    QVERIFY(f.createHourly());
    QVERIFY(f.doc.onCommand(cmd::PrintReport));
    QVERIFY(f.doc.onCommand(cmd::PreviewReport));
    QCOMPARE(f.shell.printedReports, (std::vector<std::pair<int, bool>>{ { 1234, false }, { 1234, true } }));
}

void TestReportDocument::reportFileNamedAtStart_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("account");
    QTest::newRow("named after the second account") << u"karna1_02222.tsr"_s << 1;
    QTest::newRow("any other name: the first account") << u"report.tsr"_s << 0;
}

void TestReportDocument::reportFileNamedAtStart()
{
    QFETCH(QString, fileName);
    QFETCH(int, account);
    QTemporaryDir dir;
    testsupport::MessageRecorder quiet;
    const QByteArray bytes("\x1b\x45 report\r\n\x0c");
    for (int serial : { 1234, 2222 }) {
        CDevData record;
        std::vector<CDevData> made;
        record.m_serial = serial;
        record.m_type = 1;
        record.m_folder = record.accountFolder(dir.path());
        QCOMPARE(accounts::addAccount(made, record, dir.path()), S_OK);
    }
    const QString path = dir.filePath(fileName);
    QVERIFY(testsupport::writeFile(path, bytes));
    ProfileStore store(dir.filePath(u"lorn2.ini"_s));
    CLorn2Doc doc(store, dir.path());
    ScriptedShell shell;
    doc.setShell(&shell);
    doc.OnNewDocument();
    doc.selectAccountForReportFile(path);
    doc.fillDeviceList();
    QCOMPARE(shell.selected.value_or(-1), account);
    QVERIFY(doc.OnOpenDocument(path));
    QCOMPARE(doc.accounts()[std::size_t(account)].m_reportText.toByteArray(), bytes);
    QCOMPARE(shell.view, ViewKind::Report);
    QCOMPARE(doc.pathName(), QFileInfo(path).absoluteFilePath());
    QVERIFY(!doc.m_modified);
}

void TestReportDocument::enableRules_data()
{
    QTest::addColumn<ViewKind>("view");
    QTest::addColumn<bool>("rowSelected");
    QTest::addColumn<bool>("current");
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("enabled");
    const ViewKind L = ViewKind::DeviceList, A = ViewKind::ArchiveList, R = ViewKind::Report;
    QTest::newRow("create on list row") << L << true << false << cmd::CreateReport << true;
    QTest::newRow("create on list without row") << L << false << true << cmd::CreateReport << false;
    QTest::newRow("create on archive with current") << A << false << true << cmd::CreateReport << true;
    QTest::newRow("load on report with current") << R << false << true << cmd::LoadReport << true;
    QTest::newRow("load on report without current") << R << false << false << cmd::LoadReport << false;
    QTest::newRow("save on report") << R << false << false << cmd::SaveReport << true;
    QTest::newRow("save on list") << L << true << true << cmd::SaveReport << false;
    QTest::newRow("print on archive") << A << false << true << cmd::PrintReport << false;
    QTest::newRow("preview on report") << R << false << false << cmd::PreviewReport << true;
}

void TestReportDocument::enableRules()
{
    QFETCH(ViewKind, view);
    QFETCH(bool, rowSelected);
    QFETCH(bool, current);
    QFETCH(int, command);
    QFETCH(bool, enabled);
    Fixture f;
    f.addAccount(1234, false);
    f.shell.view = view;
    f.shell.selected = rowSelected ? std::optional<int>(0) : std::nullopt;
    f.doc.m_currentAccount = current ? 0 : -1;
    QCOMPARE(f.doc.isCommandEnabled(command), enabled);
}

QTEST_GUILESS_MAIN(TestReportDocument)
#include "TestReportDocument.moc"
