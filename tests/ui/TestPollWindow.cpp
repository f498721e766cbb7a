#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/Commands.h"
#include "storage/ArchiveDatabase.h"
#include "ui/CLorn2View.h"
#include "ui/PollWindow.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Simulated meters on pseudo-terminals of the fixture's folder, COM1, COM2, ... in order, one
// account on each.
class Lines
{
public:
    // The configuration archive read on the way goes to the database, as in the program.
    explicit Lines(uitest::FrameFixture& f)
        : m_f(f)
    {
        m_database.open(f.dir.filePath(u"lorn2.sqlite"_s));
        m_database.ensureTables();
        f.document.setDatabase(&m_database);
    }
    ~Lines()
    {
        for (auto& p : m_meters) {
            p->terminate();
            p->waitForFinished(3000);
        }
    }

    bool add(int accountIndex, const QStringList& options)
    {
        const int port = int(m_meters.size()) + 1;
        CDevData& acc = m_f.document.accounts()[std::size_t(accountIndex)];
        const QString link = m_f.dir.filePath(u"line%1"_s.arg(port));
        auto meter = std::make_unique<QProcess>();
        meter->start(testsupport::binary(u"lorn2-metersim"_s),
                     QStringList{u"--link"_s, link, u"--serial"_s, QString::number(acc.m_serial)} + options);
        if (!meter->waitForStarted(5000) || testsupport::readLines(*meter, 1).size() != 1)
            return false;
        m_meters.push_back(std::move(meter));
        QSettings(m_f.dir.filePath(u"lorn2.ini"_s), QSettings::IniFormat).setValue(u"SerialComm/COM%1"_s.arg(port), link);
        acc.m_connection.port = port;
        acc.m_connection.dcb = defaultDeviceControlBlock();
        acc.m_answerTimeout = 300;
        acc.m_retries = 2;
        return SUCCEEDED(acc.Save());
    }

private:
    uitest::FrameFixture& m_f;
    ArchiveDatabase m_database;
    std::vector<std::unique_ptr<QProcess>> m_meters;
};

QString cell(PollWindow& w, int row, int column)
{
    return w.table()->item(row, column)->text();
}

} // namespace

class TestPollWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void pollsEveryAccountBesideTheWindow();
    void stopKeepsWhatCame();
    void showsAPollOfTheCommandLine();
};

// "Опросить все ТС..." reads both lines while the main window stays usable; the accounts being
// read cannot be touched meanwhile, and the list shows each result at the end.
void TestPollWindow::pollsEveryAccountBesideTheWindow()
{
    uitest::FrameFixture f({{6001, 1, u"Школа"_s}, {6002, 1, u"Больница"_s}});
    testsupport::MessageRecorder messages;
    Lines lines(f);
    QVERIFY(lines.add(0, {u"--hours"_s, u"12"_s, u"--archive-size"_s, u"16"_s, u"--baud"_s, u"38400"_s}));
    QVERIFY(lines.add(1, {u"--hours"_s, u"12"_s, u"--archive-size"_s, u"16"_s, u"--baud"_s, u"38400"_s}));
    f.frame->show();
    f.frame->deviceList()->selectRow(0);
    QVERIFY(f.document.isCommandEnabled(cmd::PollAll));
    QVERIFY(f.document.onCommand(cmd::PollAll));
    PollWindow* window = f.frame->pollWindow();
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QCOMPARE(window->table()->rowCount(), 2);
    // The polled account's own commands wait; the rest of the program does not.
    QVERIFY(!f.document.isCommandEnabled(cmd::DeleteAccount));
    QVERIFY(!f.document.isCommandEnabled(cmd::ReadArchive));
    QVERIFY(!f.document.isCommandEnabled(cmd::PollAll));
    QVERIFY(f.document.isCommandEnabled(cmd::PrintDeviceList));

    QTRY_VERIFY_WITH_TIMEOUT(!window->summary()->text().isEmpty(), 60000);
    QVERIFY2(messages->texts().isEmpty(), qPrintable(messages->texts().join(u'\n')));
    QVERIFY2(window->summary()->text() == u"Опрошено ТС: 2 из 2. Новых записей: 24."_s,
             qPrintable(cell(*window, 0, PollWindow::ColResult) + u" | "_s + cell(*window, 1, PollWindow::ColResult)));
    QCOMPARE(window->progress()->value(), 2);
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(cell(*window, row, PollWindow::ColState), u"Успешно"_s);
        QCOMPARE(cell(*window, row, PollWindow::ColRecords), u"12"_s);
        QCOMPARE(cell(*window, row, PollWindow::ColResult), u"OK"_s);
        // The new records were checked: the column says so either way, the tooltip lists them.
        QVERIFY2(cell(*window, row, PollWindow::ColQuality).startsWith(u"замечани"_s),
                 qPrintable(cell(*window, row, PollWindow::ColQuality)));
        QVERIFY(window->table()->item(row, PollWindow::ColQuality)->toolTip().startsWith(u"Период с "_s));
        QCOMPARE(f.document.accounts()[std::size_t(row)].m_records.size(), std::size_t(12));
        QVERIFY(f.document.accounts()[std::size_t(row)].m_lastConnect.isValid());
        // The row keeps its ten columns; the result is an icon and a tooltip on its number.
        const QTableWidgetItem* number = f.frame->deviceList()->item(row, 0);
        QVERIFY(!number->icon().isNull());
        QVERIFY2(number->toolTip().startsWith(u"Опрос: успешно, новых записей: 12"_s), qPrintable(number->toolTip()));
    }
    QCOMPARE(f.frame->deviceList()->columnCount(), CLorn2View::kColumnCount);
    QVERIFY(f.document.isCommandEnabled(cmd::DeleteAccount));
    QVERIFY(QDir(f.dir.filePath(u"Logs"_s)).entryList({u"poll-*.csv"_s}, QDir::Files).size() == 1);
    QVERIFY(!window->stopButton()->isEnabled());
}

void TestPollWindow::stopKeepsWhatCame()
{
    uitest::FrameFixture f({{6101, 1, u"Школа"_s}});
    testsupport::MessageRecorder messages;
    Lines lines(f);
    QVERIFY(lines.add(0, {u"--hours"_s, u"200"_s, u"--archive-size"_s, u"300"_s, u"--baud"_s, u"9600"_s}));
    f.frame->show();
    f.frame->deviceList()->selectRow(0);
    QVERIFY(f.document.onCommand(cmd::PollSelected));
    PollWindow* window = f.frame->pollWindow();
    QVERIFY(window != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(cell(*window, 0, PollWindow::ColRecords).toInt() >= 3, 30000);
    QTest::mouseClick(window->stopButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->summary()->text().isEmpty(), 20000);
    QCOMPARE(cell(*window, 0, PollWindow::ColState), u"Остановлен"_s);
    const std::size_t kept = f.document.accounts()[0].m_records.size();
    QVERIFY2(kept >= 3 && kept < 200, qPrintable(QString::number(kept)));
    QVERIFY(QFile::exists(f.document.accounts()[0].archiveFilePath()));
}

// lorn2-cli poll in the same working folder: the window reads the changed account again.
void TestPollWindow::showsAPollOfTheCommandLine()
{
    uitest::FrameFixture f({{6201, 1, u"Школа"_s}});
    Lines lines(f);
    QVERIFY(lines.add(0, {u"--hours"_s, u"6"_s, u"--archive-size"_s, u"10"_s}));
    f.frame->watchAccountFiles();
    f.frame->show();
    f.frame->deviceList()->selectRow(0);
    QVERIFY(!f.document.accounts()[0].m_lastConnect.isValid());
    const testsupport::ProgramRun poll
        = testsupport::runProgram(u"lorn2-cli"_s, {u"-C"_s, f.dir.path(), u"--quiet"_s, u"poll"_s, u"--all"_s});
    QVERIFY2(poll.exitCode == 0, qPrintable(poll.err));
    QTRY_VERIFY_WITH_TIMEOUT(f.document.accounts()[0].m_lastConnect.isValid(), 10000);
    QCOMPARE(f.frame->deviceList()->selectedRow(), std::optional<int>(0));
    QVERIFY(!f.frame->deviceList()->item(0, 3)->text().isEmpty());
    // Its result comes from the poll log, as a night's poll from cron would leave it.
    QTRY_VERIFY_WITH_TIMEOUT(!f.frame->deviceList()->item(0, 0)->icon().isNull(), 10000);
    QVERIFY2(f.frame->deviceList()->item(0, 0)->toolTip().startsWith(u"Опрос: успешно, новых записей: 6"_s),
             qPrintable(f.frame->deviceList()->item(0, 0)->toolTip()));
    // A program started afterwards shows it too.
    CLorn2Doc later(f.profile, f.dir.path());
    later.OnNewDocument();
    QVERIFY(later.lastPoll(0) != nullptr);
    QCOMPARE(later.lastPoll(0)->state, PollResult::State::Ok);
}

int runPollWindowTests(int argc, char** argv)
{
    TestPollWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestPollWindow.moc"
