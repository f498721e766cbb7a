#include <chrono>

#include <QProcess>
#include <QTest>
#include <QThread>

#include "SerialTestSupport.h"
#include "TestSupport.h"
#include "base/StringTable.h"
#include "link/Exchange.h"
#include "link/Modem.h"
#include "link/OperationHost.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The serial-number reply of a meter at address 01: byte count 4, serial 12345 first.
QByteArray serialReply()
{
    return meter::MakeFrame(0x01, meter::kFnReadRegister, QByteArray("\x04\x30\x39\x00\x00", 5), false);
}

QByteArray garbled(QByteArray reply)
{
    reply[8] = reply[8] == '0' ? '1' : '0';
    return reply;
}

meter::Request serialRequest()
{
    MeterContext ctx;
    ctx.address = 1;
    return meter::MakeReadRegister(ctx, meter::kRegSerialNumber);
}

class RecordingHost : public OperationHost
{
public:
    void setStatus(const QString& text) override { statuses << text; }
    void setProgress(int position) override { Q_UNUSED(position); }
    std::atomic<int>& stopWord() override { return stop; }
    std::optional<DateRange> askDateRange(QDate start, std::optional<QDate> end) override
    {
        return DateRange{start, end};
    }
    void finished(int result) override { Q_UNUSED(result); }

    QStringList statuses;
    std::atomic<int> stop{0};
};

// Replies by the request's position: entry i answers the i-th request, past the end silence.
PtyPeer::Handler scripted(QByteArrayList replies)
{
    auto count = std::make_shared<int>(0);
    return [replies, count](const QByteArray&) {
        const int i = (*count)++;
        return i < replies.size() ? replies[i] : QByteArray();
    };
}

// A modem answering by command; commands not listed get no answer.
PtyPeer::Handler modem(QMap<QByteArray, QByteArray> answers)
{
    return [answers](const QByteArray& command) { return answers.value(command); };
}

const QByteArray kInit = ModemSettings().initString;
constexpr std::uint32_t kModemTimeout = 30;
const comm::EscapeGuard kShortGuard{10, 10};

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void retries_data();
    void retries();
    void stopComesBeforeEveryTry();
    void purgeDropsTheRestOfAGarbledReply();
    void tryExchangeGivesUpQuietly();
    void findByHourCollectsPieces();
    void findByHourEnds_data();
    void findByHourEnds();

    void modemResult_data();
    void modemResult();
    void dialCommand_data();
    void dialCommand();
    void connect_data();
    void connect();
    void disconnect_data();
    void disconnect();
    void simulatedModem_data();
    void simulatedModem();
};

void TestExchange::retries_data()
{
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<int>("message"); // 0: the last reply is returned
    QTest::addColumn<int>("tries");
    QTest::addColumn<int>("retries");

    const QByteArray good = serialReply();
    const QByteArray bad = garbled(good);
    QTest::newRow("first reply good") << QByteArrayList{good} << 0 << 1 << 3;
    QTest::newRow("garbled then good") << QByteArrayList{bad, good} << 0 << 2 << 3;
    QTest::newRow("silent then good") << QByteArrayList{{}, good} << 0 << 2 << 3;
    QTest::newRow("always garbled") << QByteArrayList{bad, bad, bad} << 138 << 3 << 3;
    QTest::newRow("silence") << QByteArrayList{} << 139 << 3 << 3;
    QTest::newRow("garbled, then silence") << QByteArrayList{bad} << 138 << 3 << 3;
    QTest::newRow("short reply") << QByteArrayList{good.left(10), good.left(10), good.left(10)} << 138 << 3 << 3;
    QTest::newRow("zero retries still ask once") << QByteArrayList{good} << 0 << 1 << 0;
    QTest::newRow("zero retries, silence") << QByteArrayList{} << 139 << 1 << 0;
}

void TestExchange::retries()
{
    QFETCH(QByteArrayList, replies);
    QFETCH(int, message);
    QFETCH(int, tries);
    QFETCH(int, retries);

    PtyLine line(50);
    QVERIFY(line.port.isOpen());
    line.peer.respond(scripted(replies));
    std::atomic<int> stop{0};
    int thrown = 0;
    QByteArray reply;
    try {
        reply = comm::Exchange(line.port, serialRequest(), retries, stop);
    } catch (const comm::OperationError& e) {
        thrown = e.message;
    }
    line.peer.stopResponding();
    QCOMPARE(thrown, message);
    if (message == 0)
        QCOMPARE(reply, serialReply());
    QCOMPARE(line.peer.requests().size(), tries);
    QCOMPARE(line.peer.requests().first(), ":010400C800019F"_ba);
}

void TestExchange::stopComesBeforeEveryTry()
{
    PtyLine line(50);
    line.peer.respond(scripted({}));
    std::atomic<int> stop{comm::kStopAsked};
    int thrown = 0;
    try {
        comm::Exchange(line.port, serialRequest(), 3, stop);
    } catch (const comm::OperationError& e) {
        thrown = e.message;
    }
    line.peer.stopResponding();
    QCOMPARE(thrown, 141);
    QVERIFY(line.peer.requests().isEmpty());
}

void TestExchange::purgeDropsTheRestOfAGarbledReply()
{
    // A garbled reply longer than asked for: its tail must not prefix the next reply.
    PtyLine line(50);
    line.peer.respond(scripted({garbled(serialReply()) + ":0104DEADBEEF\r\n", serialReply()}));
    std::atomic<int> stop{0};
    const QByteArray reply = comm::Exchange(line.port, serialRequest(), 2, stop);
    line.peer.stopResponding();
    QCOMPARE(reply, serialReply());
}

void TestExchange::tryExchangeGivesUpQuietly()
{
    PtyLine line(30);
    line.peer.respond(scripted({}));
    std::atomic<int> stop{0};
    QVERIFY(!comm::TryExchange(line.port, serialRequest(), 2, stop).has_value());
    line.peer.stopResponding();
    QCOMPARE(line.peer.requests().size(), 2);
}

void TestExchange::findByHourCollectsPieces()
{
    // The reply comes in two pieces further apart than one read waits.
    PtyLine line(20);
    const MeterContext ctx;
    const meter::Request request = meter::MakeFindByDateHour(ctx, 5, QDate(2025, 3, 1));
    const QByteArray reply = meter::MakeFrame(0, meter::kFnFindByDate, QByteArray("\x00\x2A", 2), false);
    QCOMPARE(reply.size(), request.replyLength);
    line.peer.respond([&](const QByteArray&) {
        line.peer.send(reply.left(6));
        QThread::msleep(150);
        return reply.mid(6);
    });
    std::atomic<int> stop{0};
    const QByteArray got = comm::ExchangeFindByHour(line.port, request, stop, 3000);
    line.peer.stopResponding();
    QCOMPARE(got, reply);
    QCOMPARE(meter::ReplyWord(got).value_or(0), std::uint16_t(0x2A));
}

void TestExchange::findByHourEnds_data()
{
    QTest::addColumn<bool>("stopAsked");
    QTest::newRow("limit passes") << false;
    QTest::newRow("stop asked") << true;
}

void TestExchange::findByHourEnds()
{
    QFETCH(bool, stopAsked);
    PtyLine line(20);
    std::atomic<int> stop{stopAsked ? comm::kStopAsked : 0};
    const meter::Request request = meter::MakeFindByDateHour(MeterContext(), 5, QDate(2025, 3, 1));
    const auto start = std::chrono::steady_clock::now();
    int thrown = 0;
    QByteArray got = "x";
    try {
        got = comm::ExchangeFindByHour(line.port, request, stop, 300);
    } catch (const comm::OperationError& e) {
        thrown = e.message;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    QCOMPARE(thrown, stopAsked ? 141 : 0);
    if (!stopAsked) {
        QVERIFY(got.isEmpty());
        QVERIFY(ms.count() >= 290 && ms.count() < 2000);
    }
}

void TestExchange::modemResult_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("final");
    QTest::newRow("OK") << "OK"_ba << 0 << true;
    QTest::newRow("CONNECT 9600") << "CONNECT 9600"_ba << 50 << true;
    QTest::newRow("NO DIALTONE") << "NO DIALTONE"_ba << 51 << true;
    QTest::newRow("BUSY") << "BUSY"_ba << 52 << true;
    QTest::newRow("NO CARRIER") << "NO CARRIER"_ba << 53 << true;
    QTest::newRow("NO ANSWER") << "NO ANSWER"_ba << 54 << true;
    QTest::newRow("RING") << "RING"_ba << 59 << false;
    QTest::newRow("echo") << "ATDT143"_ba << 59 << false;
    QTest::newRow("empty") << QByteArray() << 59 << false;
}

void TestExchange::modemResult()
{
    QFETCH(QByteArray, line);
    QFETCH(int, code);
    QFETCH(bool, final);
    QCOMPARE(comm::ModemResult(line), code);
    QCOMPARE(comm::IsFinalResult(line), final);
}

void TestExchange::dialCommand_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("tone, the default account") << int(comm::DialMode::Tone) << "ATDT143"_ba;
    QTest::newRow("pulse") << int(comm::DialMode::Pulse) << "ATDP143"_ba;
    QTest::newRow("no dial mode") << int(comm::DialMode::None) << "ATD143"_ba;
}

void TestExchange::dialCommand()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, command);
    QCOMPARE(comm::DialCommand(ModemSettings(), comm::DialMode(mode)), command);
}

void TestExchange::connect_data()
{
    using Answers = QMap<QByteArray, QByteArray>;
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<int>("message");
    QTest::addColumn<QByteArrayList>("sent");

    const QByteArray ok = "\r\nOK\r\n";
    const QByteArray connect = "\r\nCONNECT 9600\r\n";
    const QByteArrayList direct{"AT", "ATDT143"};
    const QByteArrayList withInit{"AT", kInit, "ATDT143"};

    QTest::newRow("OK to AT skips the init string") << Answers{{"AT", ok}, {"ATDT143", connect}} << 0 << direct;
    QTest::newRow("init after a silent AT")
        << Answers{{kInit, ok}, {"ATDT143", connect}} << 0 << withInit;
    QTest::newRow("RING skipped") << Answers{{"AT", ok}, {"ATDT143", "\r\nRING\r\n" + connect}} << 0 << direct;
    QTest::newRow("echo skipped")
        << Answers{{"AT", "AT\r" + ok}, {"ATDT143", "ATDT143\r" + connect}} << 0 << direct;
    QTest::newRow("three lines without OK fail AT")
        << Answers{{"AT", "AT\r\r\nINFO\r\nINFO\r\n"}, {kInit, ok}, {"ATDT143", connect}} << 0 << withInit;
    QTest::newRow("modem silent") << Answers{} << 148 << QByteArrayList{"AT", kInit};
    QTest::newRow("BUSY") << Answers{{"AT", ok}, {"ATDT143", "\r\nBUSY\r\n"}} << 149 << direct;
    QTest::newRow("NO CARRIER") << Answers{{"AT", ok}, {"ATDT143", "\r\nNO CARRIER\r\n"}} << 149 << direct;
    QTest::newRow("OK to the dial") << Answers{{"AT", ok}, {"ATDT143", ok}} << 149 << direct;
    QTest::newRow("silence after dialling") << Answers{{"AT", ok}} << 149 << direct;
}

void TestExchange::connect()
{
    using Answers = QMap<QByteArray, QByteArray>;
    QFETCH(Answers, answers);
    QFETCH(int, message);
    QFETCH(QByteArrayList, sent);

    PtyLine line(kModemTimeout);
    QVERIFY(line.port.isOpen());
    line.peer.respond(modem(answers));
    RecordingHost host;
    int thrown = 0;
    try {
        comm::ModemConnect(line.port, ModemSettings(), host);
    } catch (const comm::OperationError& e) {
        thrown = e.message;
    }
    line.peer.stopResponding();
    QCOMPARE(thrown, message);
    QCOMPARE(line.peer.requests(), sent);
    QStringList statuses{LoadResString(150)};
    if (message == 0)
        statuses << LoadResString(151);
    QCOMPARE(host.statuses, statuses);
}

void TestExchange::disconnect_data()
{
    using Answers = QMap<QByteArray, QByteArray>;
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<bool>("hungUp");
    QTest::addColumn<QByteArrayList>("sent");

    const QByteArrayList both{"+++", "ATH"};
    QTest::newRow("OK and OK") << Answers{{"+++", "\r\nOK\r\n"}, {"ATH", "\r\nOK\r\n"}} << true << both;
    QTest::newRow("NO CARRIER to ATH")
        << Answers{{"+++", "\r\nOK\r\n"}, {"ATH", "\r\nNO CARRIER\r\n"}} << true << both;
    QTest::newRow("escape unanswered") << Answers{} << false << QByteArrayList{"+++"};
    QTest::newRow("ATH unanswered") << Answers{{"+++", "\r\nOK\r\n"}} << false << both;
}

void TestExchange::disconnect()
{
    using Answers = QMap<QByteArray, QByteArray>;
    QFETCH(Answers, answers);
    QFETCH(bool, hungUp);
    QFETCH(QByteArrayList, sent);

    testsupport::MessageRecorder messages;
    PtyLine line(kModemTimeout);
    line.peer.respond(modem(answers));
    RecordingHost host;
    QCOMPARE(comm::ModemDisconnect(line.port, host, u"Получение конфигурации"_s, kShortGuard), hungUp);
    line.peer.stopResponding();
    // "+++" goes out bare, never as a command line.
    QCOMPARE(line.peer.requests(), sent);
    const QString failed = LoadResString(154);
    QCOMPARE(host.statuses, (QStringList{LoadResString(152), hungUp ? LoadResString(153) : failed}));
    const std::vector<MessageRequest> shown = messages->shown();
    QCOMPARE(shown.size(), std::size_t(hungUp ? 0 : 1));
    if (!hungUp) {
        QCOMPARE(shown[0].text, failed);
        QCOMPARE(shown[0].caption, u"Получение конфигурации"_s);
        QCOMPARE(shown[0].icon, MbIcon::Error);
    }
}

void TestExchange::simulatedModem_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("message");
    QTest::newRow("connects") << QString() << 0;
    QTest::newRow("busy") << u"busy"_s << 149;
    QTest::newRow("no carrier") << u"no-carrier"_s << 149;
    QTest::newRow("silent") << u"silent"_s << 149;
}

void TestExchange::simulatedModem()
{
    QFETCH(QString, failure);
    QFETCH(int, message);

    QTemporaryDir dir;
    const QString link = dir.filePath(u"meter"_s);
    QStringList args{u"--link"_s, link, u"--modem"_s};
    if (!failure.isEmpty())
        args << u"--modem-fail"_s << failure;
    QProcess sim;
    sim.start(testsupport::binary(u"lorn2-metersim"_s), args);
    QVERIFY(sim.waitForReadyRead(10000));

    testsupport::MessageRecorder messages;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    QSettings(ini, QSettings::IniFormat).setValue(u"SerialComm/COM3"_s, link);
    CComPort port;
    port.setMapFile(ini);
    port.setPort(3);
    port.SetState(defaultDeviceControlBlock());
    QVERIFY(port.Open());
    port.SetTimeouts(exchangeTimeouts(kModemTimeout));
    RecordingHost host;
    int thrown = 0;
    try {
        comm::ModemConnect(port, ModemSettings(), host);
    } catch (const comm::OperationError& e) {
        thrown = e.message;
    }
    QCOMPARE(thrown, message);
    if (message == 0) {
        // The meter is behind the connection now.
        std::atomic<int> stop{0};
        const QByteArray reply = comm::Exchange(port, serialRequest(), 3, stop);
        QCOMPARE(reply, ":0104043039000048\r\n"_ba);
    }
    port.Close();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY(messages->texts().isEmpty());
}

QObject* makeTestExchange()
{
    return new TestExchange;
}

#include "TestExchange.moc"
