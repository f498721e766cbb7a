#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "JanuaryHours.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/Commands.h"
#include "archive/ArchiveFile.h"
#include "ui/ReportsAllDlg.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// 48 hours of one contour, from 5 January 2015 01:00 to 7 January 00:00, as the account's own
// archive file.
bool writeJanuary(uitest::FrameFixture& f, int serial)
{
    const std::vector<int> found = f.document.findBySerial(serial);
    if (found.size() != 1)
        return false;
    const CDevData& acc = f.document.accounts()[std::size_t(found.front())];
    ArchiveParams params;
    params.NumSys = 1;
    params.Formula = { 1, 0, 0 };
    const ArchiveRecordList records = testsupport::januaryHours();
    return testsupport::writeFile(acc.archiveFilePath(),
                                  archive::archiveFileBytes(params, records, std::uint16_t(serial)));
}

} // namespace

class TestReportsAllDlg : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        uitest::cancelModalScripts();
        FileDialog::clearNextFileNames();
    }
    void enableRule_data();
    void enableRule();
    void defaultPeriods_data();
    void defaultPeriods();
    void kindSwitchesTheProposedPeriod();
    void writesTheReportsOfEveryAccount();
    void refusals_data();
    void refusals();
};

void TestReportsAllDlg::enableRule_data()
{
    QTest::addColumn<bool>("withAccounts");
    QTest::addColumn<bool>("allDeleted");
    QTest::addColumn<ViewKind>("view");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("accounts on the device list") << true << false << ViewKind::DeviceList << true;
    QTest::newRow("no accounts") << false << false << ViewKind::DeviceList << false;
    QTest::newRow("deleted accounts only") << true << true << ViewKind::DeviceList << false;
    QTest::newRow("archive view") << true << false << ViewKind::ArchiveList << false;
}

void TestReportsAllDlg::enableRule()
{
    QFETCH(bool, withAccounts);
    QFETCH(bool, allDeleted);
    QFETCH(ViewKind, view);
    QFETCH(bool, enabled);
    uitest::FrameFixture f(withAccounts ? std::vector<uitest::FrameFixture::Account>{ { 1111, 1, u"Школа"_s } }
                                        : std::vector<uitest::FrameFixture::Account>{});
    if (allDeleted)
        f.document.accounts()[0].m_deleted = true;
    testsupport::MessageRecorder messages; // the archive view of an account without an archive
    f.frame->switchView(view, 0);
    QCOMPARE(f.frame->activeView(), view);
    QCOMPARE(f.frame->isCommandEnabled(cmd::ReportsAll), enabled);
    f.frame->refreshCommandStates();
    QCOMPARE(f.frame->commandAction(cmd::ReportsAll)->isEnabled(), enabled);
}

void TestReportsAllDlg::defaultPeriods_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::newRow("mid-month") << QDate(2015, 3, 15) << QDate(2015, 3, 14) << QDate(2015, 2, 1) << QDate(2015, 2, 28);
    QTest::newRow("new year's day") << QDate(2016, 1, 1) << QDate(2015, 12, 31) << QDate(2015, 12, 1)
                                    << QDate(2015, 12, 31);
    QTest::newRow("first of March, leap year")
        << QDate(2016, 3, 1) << QDate(2016, 2, 29) << QDate(2016, 2, 1) << QDate(2016, 2, 29);
    QTest::newRow("last of a long month")
        << QDate(2015, 7, 31) << QDate(2015, 7, 30) << QDate(2015, 6, 1) << QDate(2015, 6, 30);
}

void TestReportsAllDlg::defaultPeriods()
{
    QFETCH(QDate, today);
    QFETCH(QDate, day);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QCOMPARE(ReportsAllDlg::defaultHourlyDay(today), day);
    QCOMPARE(ReportsAllDlg::defaultDailyPeriod(today), std::make_pair(first, last));
}

void TestReportsAllDlg::kindSwitchesTheProposedPeriod()
{
    uitest::FrameFixture f({ { 1111, 1, u"Школа"_s } });
    ReportsAllDlg dialog(f.document, { 0 }, QPageLayout());
    const QDate today = QDate::currentDate();
    const auto month = ReportsAllDlg::defaultDailyPeriod(today);
    QVERIFY(dialog.dailyButton()->isChecked());
    QCOMPARE(dialog.fromEdit()->date(), month.first);
    QCOMPARE(dialog.toEdit()->date(), month.second);
    QCOMPARE(dialog.folderEdit()->text(), f.dir.filePath(u"Reports"_s));
    uitest::keepScreenshot(dialog.grab().toImage(), u"reports-all.png"_s);
    dialog.hourlyButton()->setChecked(true);
    QCOMPARE(dialog.fromEdit()->date(), ReportsAllDlg::defaultHourlyDay(today));
    QVERIFY(!dialog.toEdit()->isEnabled());
    dialog.dailyButton()->setChecked(true);
    QCOMPARE(dialog.fromEdit()->date(), month.first);
    QVERIFY(dialog.toEdit()->isEnabled());
}

// The menu command on a folder of three accounts, one of which never read its meter: two
// reports with their PDFs, the third account named as skipped, and the document's own report,
// view and memory as they were.
void TestReportsAllDlg::writesTheReportsOfEveryAccount()
{
    uitest::FrameFixture f({ { 1111, 1, u"Школа"_s }, { 1234, 1, u"Больница"_s }, { 2222, 2, u"Баня"_s } });
    QVERIFY(writeJanuary(f, 1111));
    QVERIFY(writeJanuary(f, 2222));
    testsupport::MessageRecorder messages;
    f.frame->show();
    const QString out = f.dir.filePath(u"январь"_s);
    FileDialog::setNextFileName(out);
    bool scripted = false;
    uitest::onNextModal<ReportsAllDlg>(f.frame.get(), [&](ReportsAllDlg& d) {
        d.dailyButton()->setChecked(true);
        d.fromEdit()->setDate(QDate(2015, 1, 5));
        d.toEdit()->setDate(QDate(2015, 1, 6));
        QTest::mouseClick(d.browseButton(), Qt::LeftButton);
        d.pdfBox()->setChecked(true);
        scripted = d.folderEdit()->text() == out;
        QTest::mouseClick(uitest::buttonByText(d, u"ОК"_s), Qt::LeftButton);
    });
    f.frame->runCommand(cmd::ReportsAll);
    QVERIFY(scripted);
    // The folder chooser started where the dialog pointed: the reports folder.
    QCOMPARE(FileDialog::lastRequest()->folder, f.dir.filePath(u"Reports"_s));

    for (const QString& name : { u"Karna1_01111_2015-01-05_2015-01-06"_s, u"Velos2_02222_2015-01-05_2015-01-06"_s }) {
        const QByteArray report = testsupport::readFile(out + u'/' + name + u".tsr"_s);
        QVERIFY2(report.startsWith("\x1b\x43\x64"), qPrintable(name));
        QVERIFY(report.endsWith('\x0c'));
        QVERIFY(report.contains("05/01/2015"));
        QVERIFY(testsupport::readFile(out + u'/' + name + u".pdf"_s).startsWith("%PDF"));
    }
    QCOMPARE(QDir(out).entryList(QDir::Files).size(), 4);

    // One message, the summary: nothing the builder says of a single account reaches the screen.
    QCOMPARE(messages->shown().size(), std::size_t(1));
    const MessageRequest summary = messages->shown().front();
    QCOMPARE(summary.icon, MbIcon::Information);
    QVERIFY2(summary.text.startsWith(u"Записано отчётов: 2, в папку "_s + out + u"\n"_s), qPrintable(summary.text));
    QVERIFY(summary.text.contains(u"\n    Karna1_01111_2015-01-05_2015-01-06.tsr\n"_s));
    QVERIFY(summary.text.contains(u"\nПропущено ТС: 1\n    Karna1_01234: нет архивных данных"_s));

    QCOMPARE(f.frame->activeView(), ViewKind::DeviceList);
    QVERIFY(!f.document.m_modified);
    QVERIFY(f.document.pathName().isEmpty());
    for (const CDevData& acc : f.document.accounts()) {
        QVERIFY(acc.m_reportText.isEmpty());
        // Archives read only for the run are not kept.
        QVERIFY(acc.m_records.isEmpty());
    }
}

void TestReportsAllDlg::refusals_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("message");
    QTest::newRow("no folder") << u" "_s << QDate(2015, 1, 6) << u"Не указана папка для отчётов."_s;
    QTest::newRow("end before start") << u"out"_s << QDate(2015, 1, 4) << u"Конец интервала раньше его начала."_s;
    QTest::newRow("folder is a file") << u"esc.ini"_s << QDate(2015, 1, 6) << u"Не удалось создать папку: "_s;
}

// A refused choice keeps the dialog open and writes nothing.
void TestReportsAllDlg::refusals()
{
    QFETCH(QString, folder);
    QFETCH(QDate, to);
    QFETCH(QString, message);
    uitest::FrameFixture f({ { 1111, 1, u"Школа"_s } });
    QVERIFY(writeJanuary(f, 1111));
    testsupport::MessageRecorder messages;
    ReportsAllDlg dialog(f.document, { 0 }, QPageLayout());
    dialog.fromEdit()->setDate(QDate(2015, 1, 5));
    dialog.toEdit()->setDate(to);
    dialog.folderEdit()->setText(folder.trimmed().isEmpty() ? folder : f.dir.filePath(folder));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(messages->texts().size(), 1);
    QVERIFY2(messages->texts().front().startsWith(message), qPrintable(messages->texts().front()));
    QCOMPARE(QDir(f.dir.path()).entryList({ u"*.tsr"_s }, QDir::Files), QStringList());
    QVERIFY(!QFile::exists(f.dir.filePath(u"out"_s)));
}

int runReportsAllDlgTests(int argc, char** argv)
{
    TestReportsAllDlg tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestReportsAllDlg.moc"
