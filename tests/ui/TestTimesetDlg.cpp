#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "storage/CDevData.h"
#include "ui/CTimesetDlg.h"

using namespace Qt::Literals::StringLiterals;

namespace {

CDevData sampleAccount(const QString& folder, int port)
{
    CDevData r;
    r.m_serial = 305;
    r.m_type = 3;
    r.m_netAddress = 0x0B;
    r.m_folder = folder;
    r.m_connection.port = port;
    return r;
}

// Records the clock setter's calls and answers them with a scripted result.
struct ClockScript
{
    bool result = true;
    QList<QDateTime> calls;
    bool timerRanDuringCall = false;
    CTimesetDlg* dialog = nullptr;

    Shell::ClockSetter setter()
    {
        return [this](const QDateTime& when) {
            calls << when;
            if (dialog != nullptr && dialog->followsSystemClock())
                timerRanDuringCall = true;
            return result;
        };
    }
};

} // namespace

class TestTimesetDlg : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }

    void startState_data();
    void startState();
    void radioButtons();
    void followsClock();
    void setSendsChosenValue_data();
    void setSendsChosenValue();
    void portFirst_data();
    void portFirst();
    void screenshot();
};

void TestTimesetDlg::startState_data()
{
    QTest::addColumn<bool>("withAccount");
    QTest::newRow("account") << true;
    QTest::newRow("none") << false;
}

void TestTimesetDlg::startState()
{
    QFETCH(bool, withAccount);
    CDevData account = sampleAccount(QString(), 1);
    ClockScript script;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    CTimesetDlg dialog(withAccount ? &account : nullptr, script.setter(), {});
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QCOMPARE(dialog.windowTitle(), u"Установка времени ТС"_s);
    QVERIFY(dialog.userTimeButton()->isChecked());
    QVERIFY(!dialog.systemTimeButton()->isChecked());
    QCOMPARE(dialog.userTimeButton()->text(), u"Задать время"_s);
    QCOMPARE(dialog.systemTimeButton()->text(), u"Системное время"_s);
    QVERIFY(dialog.timeEdit()->isEnabled());
    QVERIFY(dialog.dateEdit()->isEnabled());
    QVERIFY(!dialog.followsSystemClock());
    QVERIFY(dialog.chosenDateTime() >= before.addMSecs(-before.time().msec()));
    QVERIFY(dialog.chosenDateTime() <= after);
    QCOMPARE(dialog.setButton()->text(), u"Установить"_s);
    QCOMPARE(dialog.closeButton()->text(), u"Закрыть"_s);
    QCOMPARE(dialog.setButton()->isEnabled(), withAccount);
    QCOMPARE(dialog.modelLabel()->text(), withAccount ? u"Дарна-3"_s : QString());
    QCOMPARE(dialog.serialLabel()->text(), withAccount ? u"305"_s : QString());
    QCOMPARE(dialog.netAddressLabel()->text(), withAccount ? u"0B"_s : QString());
    dialog.accept();
    QCOMPARE(script.calls.size(), withAccount ? 1 : 0);
}

void TestTimesetDlg::radioButtons()
{
    CDevData account = sampleAccount(QString(), 1);
    ClockScript script;
    CTimesetDlg dialog(&account, script.setter(), {});
    dialog.show();
    dialog.dateEdit()->setDate(QDate(2001, 2, 3));
    dialog.systemTimeButton()->click();
    QVERIFY(dialog.followsSystemClock());
    QVERIFY(!dialog.timeEdit()->isEnabled());
    QVERIFY(!dialog.dateEdit()->isEnabled());
    QCOMPARE(dialog.dateEdit()->date(), QDate::currentDate());

    dialog.userTimeButton()->click();
    QVERIFY(!dialog.followsSystemClock());
    QVERIFY(dialog.timeEdit()->isEnabled());
    QVERIFY(dialog.dateEdit()->isEnabled());
    // Clicking "Системное время" while the clock is followed keeps it followed.
    dialog.systemTimeButton()->click();
    dialog.systemTimeButton()->click();
    QVERIFY(dialog.followsSystemClock());
    QVERIFY(!dialog.dateEdit()->isEnabled());
}

void TestTimesetDlg::followsClock()
{
    CDevData account = sampleAccount(QString(), 1);
    ClockScript script;
    CTimesetDlg dialog(&account, script.setter(), {});
    dialog.show();
    dialog.systemTimeButton()->click();
    // Left behind on purpose; the next tick brings it back to today.
    dialog.dateEdit()->setDate(QDate(2001, 2, 3));
    QTRY_COMPARE_WITH_TIMEOUT(dialog.dateEdit()->date(), QDate::currentDate(), 3000);
}

void TestTimesetDlg::setSendsChosenValue_data()
{
    QTest::addColumn<bool>("systemTime");
    QTest::addColumn<bool>("result");
    QTest::newRow("typed, set") << false << true;
    QTest::newRow("typed, failed") << false << false;
    QTest::newRow("system time, set") << true << true;
    QTest::newRow("system time, failed") << true << false;
}

void TestTimesetDlg::setSendsChosenValue()
{
    QFETCH(bool, systemTime);
    QFETCH(bool, result);
    CDevData account = sampleAccount(QString(), 1);
    ClockScript script;
    script.result = result;
    CTimesetDlg dialog(&account, script.setter(), {});
    script.dialog = &dialog;
    dialog.show();
    const QDateTime typed(QDate(1999, 12, 31), QTime(23, 59, 58));
    dialog.dateEdit()->setDate(typed.date());
    dialog.timeEdit()->setTime(typed.time());
    if (systemTime)
        dialog.systemTimeButton()->click();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QTest::mouseClick(dialog.setButton(), Qt::LeftButton);
    QCOMPARE(script.calls.size(), 1);
    if (systemTime) {
        QVERIFY(script.calls.front() >= before);
        QVERIFY(script.calls.front() <= QDateTime::currentDateTime());
    } else {
        QCOMPARE(script.calls.front(), typed);
    }
    QVERIFY(!script.timerRanDuringCall);
    QCOMPARE(dialog.result(), result ? int(QDialog::Accepted) : int(QDialog::Rejected));
    if (!result) {
        // Still open and as it was: following the clock again, or keeping the typed value.
        QCOMPARE(dialog.followsSystemClock(), systemTime);
        QCOMPARE(dialog.dateEdit()->isEnabled(), !systemTime);
        if (!systemTime)
            QCOMPARE(dialog.chosenDateTime(), typed);
    }
}

void TestTimesetDlg::portFirst_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("editorAnswer");
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<bool>("editorCalled");
    QTest::addColumn<bool>("clockSet");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("port known") << 3 << false << true << false << true << QStringList{};
    QTest::newRow("port chosen and saved") << 0 << true << true << true << true << QStringList{};
    QTest::newRow("connection cancelled") << 0 << false << true << true << false << QStringList{};
    QTest::newRow("save failed") << -1 << true << false << true << false
                                 << QStringList{u"Не удалось сохранить данные прибора"_s};
}

void TestTimesetDlg::portFirst()
{
    QFETCH(int, port);
    QFETCH(bool, editorAnswer);
    QFETCH(bool, folderWritable);
    QFETCH(bool, editorCalled);
    QFETCH(bool, clockSet);
    QFETCH(QStringList, messages);
    testsupport::MessageRecorder recorder;
    QTemporaryDir work;
    const QString folder = folderWritable ? work.path() : work.filePath(u"missing/Darna3_00305"_s);
    CDevData account = sampleAccount(folder, port);
    ClockScript script;
    bool called = false;
    const auto editor = [&called, editorAnswer](CDevData& edited) {
        called = true;
        if (editorAnswer)
            edited.m_connection.port = 4;
        return editorAnswer;
    };
    CTimesetDlg dialog(&account, script.setter(), editor);
    dialog.accept();
    QCOMPARE(called, editorCalled);
    QCOMPARE(script.calls.size(), clockSet ? 1 : 0);
    QCOMPARE(recorder->texts(), messages);
    if (!messages.isEmpty())
        QCOMPARE(int(recorder->shown().front().icon), int(MbIcon::Error));
    // The port chosen on the way is in the account file before the line is opened.
    const QString accountFile = QDir(folder).filePath(account.accountFileName());
    QCOMPARE(QFile::exists(accountFile), editorCalled && editorAnswer && folderWritable);
    if (QFile::exists(accountFile)) {
        CDevData reread;
        reread.m_folder = folder;
        QCOMPARE(reread.ReadXml(testsupport::readFile(accountFile)), S_OK);
        QCOMPARE(reread.m_connection.port, 4);
    }
}

void TestTimesetDlg::screenshot()
{
    CDevData account = sampleAccount(QString(), 1);
    ClockScript script;
    CTimesetDlg dialog(&account, script.setter(), {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.width() >= dialog.minimumSizeHint().width());
    uitest::keepScreenshot(dialog.grab().toImage(), u"clock-dialog.png"_s);
}

int runTimesetDlgTests(int argc, char** argv)
{
    TestTimesetDlg tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestTimesetDlg.moc"
