#include <atomic>
#include <chrono>
#include <thread>

#include <QCheckBox>
#include <QDateEdit>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "storage/CDevData.h"
#include "ui/CCommDlg.h"
#include "ui/CDevAccountDlg.h"
#include "ui/CSelectArcDateDlg.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kDiscard = u"Считаные архивные записи не сохранены. Всё равно закрыть?"_s;

sctArcZap hourRecord(int hour)
{
    sctArcZap r;
    r.year = 24;
    r.month = 3;
    r.day = 5;
    r.hour = std::uint8_t(hour);
    r.Event = archive::kEventHourly;
    return r;
}

CDevData meterAccount()
{
    CDevData a;
    a.m_serial = 123;
    a.m_type = 2;
    a.m_netAddress = 0x1A;
    a.m_connection.port = 1;
    return a;
}

// A worker that reads `records` hourly records, then ends with `result`.
CCommDlg::Work readsThenEnds(int records, int result, bool reportsEnd = true)
{
    return [=](CommThreadParams& p) {
        p.host->setCaption(u"Получение Архива"_s);
        for (int i = 1; i <= records; ++i) {
            p.records.push_back(hourRecord(i));
            p.host->setStatus(u"Считано записей: %1"_s.arg(i));
            p.host->setProgress(i * 10);
        }
        p.started = QDateTime(QDate(2024, 3, 5), QTime(12, 0));
        if (reportsEnd)
            p.host->finished(result);
        return result;
    };
}

} // namespace

class TestCommDlg : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void showsTheAccount();
    void endStates_data();
    void endStates();
    void cancelAfterRecords_data();
    void cancelAfterRecords();
    void stopThenSave();
    void dateRangeFromWorker_data();
    void dateRangeFromWorker();
    void destroyedWhileRunning();
    void readsTheSimulatedMeter();
    void accountFieldsFromMeter_data();
    void accountFieldsFromMeter();
};

void TestCommDlg::showsTheAccount()
{
    CDevData account = meterAccount();
    CCommDlg dialog(account, DeviceOperationRequest{});
    QCOMPARE(dialog.windowTitle(), u"Соединение с ТС"_s);
    QCOMPARE(dialog.modelLabel()->text(), account.typeName());
    QCOMPARE(dialog.serialLabel()->text(), u"123"_s);
    QCOMPARE(dialog.netAddressLabel()->text(), u"1A"_s);
    QCOMPARE(dialog.progressBar()->maximum(), 100);
    // Nothing may be pressed but "Остановить" until the worker has ended.
    QVERIFY(!dialog.saveButton()->isEnabled());
    QVERIFY(!dialog.cancelButton()->isEnabled());
    QCOMPARE(dialog.params().account, &account);
}

void TestCommDlg::endStates_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("reportsEnd");
    QTest::addColumn<bool>("closesItself");
    QTest::addColumn<bool>("saveEnabled");

    QTest::newRow("completed") << 3 << 0 << true << true << true;
    QTest::newRow("completed, nothing read") << 0 << 0 << true << true << true;
    QTest::newRow("completed, end not reported") << 2 << 0 << false << true << true;
    QTest::newRow("failed after records") << 3 << 139 << true << false << true;
    QTest::newRow("failed at once") << 0 << 137 << true << false << false;
    QTest::newRow("date range cancelled") << 0 << 2 << true << false << false;
}

void TestCommDlg::endStates()
{
    QFETCH(int, records);
    QFETCH(int, result);
    QFETCH(bool, reportsEnd);
    QFETCH(bool, closesItself);
    QFETCH(bool, saveEnabled);

    testsupport::MessageRecorder messages;
    CDevData account = meterAccount();
    CCommDlg dialog(account, DeviceOperationRequest{});
    dialog.setWork(readsThenEnds(records, result, reportsEnd));
    dialog.show();
    QTRY_COMPARE(dialog.operationResult(), result);
    QCOMPARE(dialog.windowTitle(), u"Получение Архива"_s);
    if (records > 0) {
        QCOMPARE(dialog.statusLabel()->text(), u"Считано записей: %1"_s.arg(records));
        QCOMPARE(dialog.progressBar()->value(), records * 10);
    }
    QVERIFY(!dialog.stopButton()->isEnabled());
    if (closesItself) {
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        // "Сохранить" took the records and the moment of the connection.
        QCOMPARE(account.m_records.size(), std::size_t(records));
        if (records > 0)
            QCOMPARE(account.m_lastConnect, QDateTime(QDate(2024, 3, 5), QTime(12, 0)));
        return;
    }
    QTest::qWait(50);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.saveButton()->isEnabled(), saveEnabled);
    QVERIFY(dialog.cancelButton()->isEnabled());
    QVERIFY(account.m_records.isEmpty());
    if (saveEnabled) {
        dialog.saveButton()->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(account.m_records.size(), std::size_t(records));
    }
}

void TestCommDlg::cancelAfterRecords_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<MbAnswer>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("nothing read: no question") << 0 << MbAnswer::No << true;
    QTest::newRow("records: stay") << 2 << MbAnswer::No << false;
    QTest::newRow("records: discard") << 2 << MbAnswer::Yes << true;
}

void TestCommDlg::cancelAfterRecords()
{
    QFETCH(int, records);
    QFETCH(MbAnswer, answer);
    QFETCH(bool, closes);

    testsupport::MessageRecorder messages;
    CDevData account = meterAccount();
    CCommDlg dialog(account, DeviceOperationRequest{});
    dialog.setWork(readsThenEnds(records, 141));
    dialog.show();
    QTRY_VERIFY(dialog.cancelButton()->isEnabled());
    messages->clear();
    messages->setNextAnswer(answer);
    dialog.cancelButton()->click();
    QCOMPARE(messages->texts().contains(kDiscard), records > 0);
    QCOMPARE(dialog.isVisible(), !closes);
    if (closes)
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(account.m_records.isEmpty());
}

void TestCommDlg::stopThenSave()
{
    testsupport::MessageRecorder messages;
    CDevData account = meterAccount();
    CCommDlg dialog(account, DeviceOperationRequest{});
    std::atomic<bool> sawStop{false};
    dialog.setWork([&sawStop](CommThreadParams& p) {
        qint64 n = 0;
        while (!p.host->stopAsked()) {
            p.records.push_back(hourRecord(int(n % 24)));
            p.host->setCounts(++n, 1000);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        sawStop = true;
        p.host->stopWord().store(OperationHost::kRunning);
        p.host->finished(141);
        return 141;
    });
    dialog.show();
    QTRY_VERIFY(dialog.stopButton()->isEnabled());
    // Closing the window or Esc is refused while the worker runs.
    dialog.reject();
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.saveButton()->isEnabled());
    // The pace shows once the worker has run a while.
    QTRY_VERIFY(dialog.paceLabel()->text().contains(u"зап/с, осталось"_s));

    dialog.stopButton()->click();
    QVERIFY(!dialog.stopButton()->isEnabled());
    QTRY_VERIFY(sawStop.load());
    QTRY_COMPARE(dialog.operationResult(), 141);
    QVERIFY(dialog.paceLabel()->text().isEmpty());
    QVERIFY(dialog.saveButton()->isEnabled());
    const std::size_t read = dialog.params().records.size();
    QVERIFY(read > 0);
    dialog.saveButton()->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    // Records of the same hour are one record in the archive.
    QCOMPARE(account.m_records.size(), std::min<std::size_t>(read, 24));
}

void TestCommDlg::dateRangeFromWorker_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("toEnd");
    QTest::newRow("to the end") << true << true;
    QTest::newRow("down to a day") << true << false;
    QTest::newRow("cancelled") << false << false;
}

void TestCommDlg::dateRangeFromWorker()
{
    QFETCH(bool, accept);
    QFETCH(bool, toEnd);

    CDevData account = meterAccount();
    CCommDlg dialog(account, DeviceOperationRequest{});
    const QDate today(2024, 3, 5);
    const QDate latest(2024, 2, 20);
    std::optional<OperationHost::DateRange> answer;
    dialog.setWork([&](CommThreadParams& p) {
        answer = p.host->askDateRange(today, latest);
        const int result = answer ? 0 : 2;
        p.host->finished(result);
        return result;
    });
    uitest::onNextModal<CSelectArcDateDlg>(&dialog, [=](CSelectArcDateDlg& dates) {
        QCOMPARE(dates.startEdit()->date(), today);
        QCOMPARE(dates.endEdit()->date(), latest);
        QVERIFY(!dates.toEndBox()->isChecked());
        dates.toEndBox()->setChecked(toEnd);
        if (accept)
            dates.accept();
        else
            dates.reject();
    });
    dialog.show();
    QTRY_VERIFY(dialog.operationResult() >= 0);
    QCOMPARE(answer.has_value(), accept);
    if (accept) {
        QCOMPARE(answer->start, today);
        QCOMPARE(answer->end.has_value(), !toEnd);
        if (!toEnd)
            QCOMPARE(*answer->end, latest);
    }
}

void TestCommDlg::destroyedWhileRunning()
{
    CDevData account = meterAccount();
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    auto asked = std::make_shared<std::atomic<int>>(-1);
    {
        CCommDlg dialog(account, DeviceOperationRequest{});
        dialog.setWork([stopped, asked](CommThreadParams& p) {
            while (!p.host->stopAsked())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            // The dialog is gone: its questions are answered "cancel" and reports go nowhere.
            asked->store(p.host->askDateRange(QDate(2024, 3, 5), std::nullopt).has_value() ? 1 : 0);
            p.host->setStatus(u"late"_s);
            p.host->finished(141);
            stopped->store(true);
            return 141;
        });
        dialog.show();
        QTRY_VERIFY(dialog.workerRunning());
    }
    QTRY_VERIFY(stopped->load());
    QCOMPARE(asked->load(), 0);
    QTest::qWait(20); // the late reports must not reach the destroyed dialog
}

void TestCommDlg::readsTheSimulatedMeter()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(u"meter"_s);
    QProcess meter;
    meter.start(testsupport::binary(u"lorn2-metersim"_s),
                {u"--link"_s, link, u"--hours"_s, u"12"_s, u"--archive-size"_s, u"16"_s, u"--prot"_s, u"11"_s});
    QVERIFY(meter.waitForStarted(5000) && meter.waitForReadyRead(5000));
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    QVERIFY(testsupport::writeFile(ini, "[SerialComm]\nCOM7=" + QFile::encodeName(link) + "\n"));

    testsupport::MessageRecorder messages;
    CDevData account;
    account.m_serial = 12345;
    account.m_type = 1;
    account.m_connection.port = 7;
    account.m_connection.dcb = defaultDeviceControlBlock();
    account.m_answerTimeout = 300;
    account.m_folder = dir.filePath(u"Devices/Karna1_12345"_s);
    QVERIFY(QDir().mkpath(account.m_folder));
    CCommDlg dialog(account, DeviceOperationRequest{});
    dialog.params().portMapFile = ini;
    uitest::onNextModal<CSelectArcDateDlg>(&dialog, [](CSelectArcDateDlg& dates) {
        dates.toEndBox()->setChecked(true);
        dates.accept();
    });
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 20000);
    QVERIFY2(dialog.operationResult() == 0, qPrintable(messages->texts().join(u'|')));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.windowTitle(), u"Получение Архива"_s);
    QCOMPARE(account.m_records.size(), std::size_t(12));
    QVERIFY(account.m_lastConnect.isValid());
    QCOMPARE(account.m_config.size(), 1024);
    meter.terminate();
    meter.waitForFinished(3000);
}

void TestCommDlg::accountFieldsFromMeter_data()
{
    QTest::addColumn<bool>("typeChosen");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("connectionAccepted");
    QTest::addColumn<bool>("readOk");
    QTest::addColumn<bool>("withConfig");
    QTest::addColumn<bool>("readerCalled");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("filled");

    QTest::newRow("no type") << false << 1 << true << true << true << false << u"Не выбран тип"_s << false;
    QTest::newRow("no port, cancelled") << true << 0 << false << true << true << false << QString() << false;
    QTest::newRow("no port, chosen") << true << 0 << true << true << true << true << QString() << true;
    QTest::newRow("read") << true << 2 << true << true << true << true << QString() << true;
    QTest::newRow("read, no configuration")
        << true << 2 << true << true << false << true << u"Конфигурация не загружена"_s << false;
    QTest::newRow("read failed") << true << 2 << true << false << true << true << QString() << false;
}

void TestCommDlg::accountFieldsFromMeter()
{
    QFETCH(bool, typeChosen);
    QFETCH(int, port);
    QFETCH(bool, connectionAccepted);
    QFETCH(bool, readOk);
    QFETCH(bool, withConfig);
    QFETCH(bool, readerCalled);
    QFETCH(QString, message);
    QFETCH(bool, filled);

    testsupport::MessageRecorder messages;
    CDevData record;
    record.m_connection.port = port;
    CDevAccountDlg dialog(record, true, QString(), QDir::tempPath());
    dialog.typeBox()->setCurrentIndex(typeChosen ? 1 : -1);
    dialog.serialEdit()->setText(u"777"_s);
    int readerCalls = 0;
    int typeSeen = 0;
    int serialSeen = 0;
    dialog.setConnectionEditor([&](CDevData& r) {
        if (connectionAccepted)
            r.m_connection.port = 3;
        return connectionAccepted;
    });
    int portSeen = 0;
    dialog.setDeviceReader([&](CDevData& r) {
        ++readerCalls;
        typeSeen = r.m_type;
        serialSeen = r.m_serial;
        portSeen = r.m_connection.port;
        r.m_netAddress = 0x2B;
        if (withConfig) {
            r.m_config = QByteArray(1024, '\0');
            const auto put = [&r](int at, const QByteArray& text) { r.m_config.replace(at, text.size(), text); };
            put(312, "School");
            put(362, "1234");
            put(372, "ID-000000001");
            put(384, "Nowhere St");
            put(439, "Ann");
        }
        return readOk;
    });
    QVERIFY(dialog.readButton()->isEnabled());
    dialog.readButton()->click();

    QCOMPARE(readerCalls, readerCalled ? 1 : 0);
    if (readerCalled) {
        QCOMPARE(typeSeen, 2);
        QCOMPARE(serialSeen, 777); // the meter is checked against the number typed in
        QCOMPARE(portSeen, port >= 1 ? port : 3);
    }
    QCOMPARE(messages->texts().isEmpty(), message.isEmpty());
    if (!message.isEmpty())
        QCOMPARE(messages->texts().value(0), message);
    QCOMPARE(dialog.consumerEdit()->text(), filled ? u"School"_s : QString());
    QCOMPARE(dialog.netAddressEdit()->text(), filled ? u"2B"_s : u"00"_s);
    if (filled) {
        QCOMPARE(dialog.phoneEdit()->text(), u"1234"_s);
        QCOMPARE(dialog.consumerIdEdit()->text(), u"ID-000000001"_s);
        QCOMPARE(dialog.addressEdit()->text(), u"Nowhere St"_s);
        QCOMPARE(dialog.contactEdit()->text(), u"Ann"_s);
    }
}

int runCommDlgTests(int argc, char** argv)
{
    TestCommDlg t;
    return QTest::qExec(&t, argc, argv);
}

#include "TestCommDlg.moc"
