#include <chrono>

#include <fcntl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "PtyPeer.h"
#include "Ser2net.h"
#include "TestSupport.h"
#include "link/CComPort.h"
#include "link/Rfc2217.h"
#include "link/SerialSpeed.h"

using namespace Qt::Literals::StringLiterals;

namespace {

qint64 msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

void sendAll(int socket, const QByteArray& bytes)
{
    ::send(socket, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL);
}

// An RFC 2217 server that takes the greeting and the settings and then answers as told.
QByteArray answer(std::uint8_t code, const QByteArray& value)
{
    return comm::rfc2217::command(std::uint8_t(code + comm::rfc2217::kServerOffset), value);
}

QByteArray bytes(std::initializer_list<std::uint8_t> values)
{
    QByteArray out;
    for (const std::uint8_t v : values)
        out.append(char(v));
    return out;
}

QByteArray answersFor(std::uint32_t baud)
{
    const char b[4] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    using namespace comm::rfc2217;
    return answer(kSetBaudRate, QByteArray(b, 4)) + answer(kSetDataSize, "\x08"_ba) + answer(kSetParity, "\x01"_ba)
        + answer(kSetStopSize, "\x01"_ba) + answer(kSetControl, "\x01"_ba);
}

// A block as an account of 9600 8N1 gives it.
DeviceControlBlock lineBlock(std::uint32_t baud = 9600, std::uint8_t stop = 0)
{
    DeviceControlBlock dcb = defaultDeviceControlBlock();
    dcb.BaudRate = baud;
    dcb.StopBits = stop;
    return dcb;
}

} // namespace

Q_DECLARE_METATYPE(DeviceControlBlock)

class TestNetworkLine : public QObject
{
    Q_OBJECT

private slots:
    void bytesPassUnchangedThroughSer2net_data();
    void bytesPassUnchangedThroughSer2net();
    void settingsReachTheServersDevice_data();
    void settingsReachTheServersDevice();
    void failuresEndInTime_data();
    void failuresEndInTime();
    void droppedConnectionIsReopened();
    void telnetLayer_data();
    void telnetLayer();
    void babblingServerIsBounded();
};

void TestNetworkLine::bytesPassUnchangedThroughSer2net_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("raw TCP") << false;
    QTest::newRow("RFC 2217") << true;
}

// Every byte value both ways, 0xFF included, which telnet escapes.
void TestNetworkLine::bytesPassUnchangedThroughSer2net()
{
    QFETCH(bool, rfc2217);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    testsupport::Ser2net server(peer.slavePath());
    QVERIFY2(server.isRunning(), qPrintable(server.error()));

    testsupport::MessageRecorder messages;
    CComPort port;
    port.SetState(lineBlock());
    QVERIFY(port.OpenDevice(rfc2217 ? server.rfc2217Target() : server.rawTarget()));
    port.SetTimeouts(exchangeTimeouts(2000));
    const QByteArray bytes = allByteValues() + allByteValues();
    QCOMPARE(port.Write(bytes), int(bytes.size()));
    QCOMPARE(peer.receive(int(bytes.size())), bytes);
    peer.send(bytes);
    QCOMPARE(port.Read(int(bytes.size())), bytes);
    QVERIFY2(messages->texts().isEmpty(), qPrintable(messages->texts().join(u'\n')));
}

void TestNetworkLine::settingsReachTheServersDevice_data()
{
    QTest::addColumn<DeviceControlBlock>("dcb");
    QTest::addColumn<std::uint32_t>("speed");
    QTest::addColumn<bool>("twoStops");
    QTest::addColumn<bool>("hardwareFlow");

    DeviceControlBlock rtsCts = lineBlock(2400);
    setDcbFlag(rtsCts, DcbFlag::fOutxCtsFlow, 1);
    QTest::newRow("19200 one stop") << lineBlock(19200) << 19200u << false << false;
    QTest::newRow("115200 two stops") << lineBlock(115200, 2) << 115200u << true << false;
    QTest::newRow("2400 RTS/CTS") << rtsCts << 2400u << false << true;
}

// What the server's device is set to while the connection is open; a pseudo-terminal keeps the
// speed, the stop bits and the handshake of what it is given.
void TestNetworkLine::settingsReachTheServersDevice()
{
    QFETCH(DeviceControlBlock, dcb);
    QFETCH(std::uint32_t, speed);
    QFETCH(bool, twoStops);
    QFETCH(bool, hardwareFlow);

    PtyPeer peer;
    testsupport::Ser2net server(peer.slavePath(), u"1200n81"_s);
    QVERIFY2(server.isRunning(), qPrintable(server.error()));
    testsupport::MessageRecorder messages;
    CComPort port;
    port.SetState(dcb);
    QVERIFY2(port.OpenDevice(server.rfc2217Target()), qPrintable(messages->texts().join(u'\n')));
    QVERIFY2(messages->texts().isEmpty(), qPrintable(messages->texts().join(u'\n')));

    const int fd = ::open(QFile::encodeName(peer.slavePath()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        QSKIP("the server holds its device exclusively");
    termios t {};
    QCOMPARE(::tcgetattr(fd, &t), 0);
    const std::optional<std::uint32_t> current = comm::serialspeed::currentSpeed(fd);
    ::close(fd);
    QCOMPARE(current.value_or(0), speed);
    QCOMPARE((t.c_cflag & CSTOPB) != 0, twoStops);
    QCOMPARE((t.c_cflag & CRTSCTS) != 0, hardwareFlow);
}

void TestNetworkLine::failuresEndInTime_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<int>("behaviour"); // what the server does with a connection
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("limitMs");

    enum { Refuse, Silent, AnswerOtherSpeed, RefuseOption, CloseAtOnce };
    QTest::newRow("refused") << u"tcp"_s << int(Refuse) << false << u"COM port error 111: Connection refused"_s << 1000;
    QTest::newRow("unknown host") << u"tcp"_s << -1 << false << u"COM port error 6: No such device or address"_s
                                  << 3000;
    QTest::newRow("raw: silent server") << u"tcp"_s << int(Silent) << true << QString() << 1000;
    QTest::newRow("rfc2217: settings never answered")
        << u"rfc2217"_s << int(Silent) << false << u"COM port error 110: Connection timed out"_s
        << CComPort::kConnectTimeoutMs + 1000;
    QTest::newRow("rfc2217: another speed answered")
        << u"rfc2217"_s << int(AnswerOtherSpeed) << false << u"COM port error 71: Protocol error"_s << 1000;
    QTest::newRow("rfc2217: option refused") << u"rfc2217"_s << int(RefuseOption) << false
                                             << u"COM port error 93: Protocol not supported"_s << 1000;
    QTest::newRow("rfc2217: closed at once") << u"rfc2217"_s << int(CloseAtOnce) << false
                                             << u"COM port error 104: Connection reset by peer"_s << 1000;
}

// Each failure ends with the port's message and within its bound, never in a hang.
void TestNetworkLine::failuresEndInTime()
{
    QFETCH(QString, scheme);
    QFETCH(int, behaviour);
    QFETCH(bool, opens);
    QFETCH(QString, message);
    QFETCH(int, limitMs);

    enum { Refuse, Silent, AnswerOtherSpeed, RefuseOption, CloseAtOnce };
    testsupport::TcpPeer server([behaviour](int socket) {
        using namespace comm::rfc2217;
        switch (behaviour) {
        case Silent:
            testsupport::receiveFor(socket, 8000);
            break;
        case AnswerOtherSpeed:
            testsupport::receiveFor(socket, 200);
            sendAll(socket, answersFor(4800));
            testsupport::receiveFor(socket, 2000);
            break;
        case RefuseOption: {
            sendAll(socket, bytes({kIac, kDont, kOptComPort}));
            testsupport::receiveFor(socket, 2000);
            break;
        }
        default:
            break;
        }
    });
    QString target = u"%1://127.0.0.1:%2"_s.arg(scheme).arg(behaviour == Refuse ? testsupport::freeTcpPort() : server.port());
    if (behaviour < 0)
        target = u"tcp://no-such-host.invalid:4001"_s;

    testsupport::MessageRecorder messages;
    CComPort port;
    port.SetState(lineBlock());
    const auto start = std::chrono::steady_clock::now();
    QCOMPARE(port.OpenDevice(target), opens);
    if (opens) {
        // A silent line ends a read at its timeouts, as a silent meter would.
        port.SetTimeouts(exchangeTimeouts(300));
        QCOMPARE(port.Write("\x01\x02\x03"_ba), 3);
        QCOMPARE(port.Read(10), QByteArray());
        QVERIFY(port.isOpen());
    }
    QVERIFY2(msSince(start) < limitMs, qPrintable(QString::number(msSince(start))));
    QCOMPARE(messages->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QVERIFY(opens || !port.isOpen());
}

// A connection closed in the middle of a reply is shown once and given up; the next open makes
// a new connection.
void TestNetworkLine::droppedConnectionIsReopened()
{
    testsupport::TcpPeer server([](int socket) {
        testsupport::receiveFor(socket, 2000, 3);
        sendAll(socket, "\x10\x20\x30"_ba);
    });
    testsupport::MessageRecorder messages;
    CComPort port;
    QVERIFY(port.OpenDevice(u"tcp://127.0.0.1:%1"_s.arg(server.port())));
    port.SetTimeouts(exchangeTimeouts(2000));
    QCOMPARE(port.Write("abc"_ba), 3);
    const auto start = std::chrono::steady_clock::now();
    QCOMPARE(port.Read(10), QByteArray());
    QVERIFY(msSince(start) < 1500);
    QCOMPARE(messages->texts(), QStringList{u"COM port error 104: Connection reset by peer"_s});
    QVERIFY(!port.isOpen());
    // Nothing more is shown for a line already given up.
    QCOMPARE(port.Write("abc"_ba), 0);
    QCOMPARE(messages->texts().size(), 1);

    QVERIFY(port.OpenDevice(u"tcp://127.0.0.1:%1"_s.arg(server.port())));
    QCOMPARE(port.Write("abc"_ba), 3);
    QCOMPARE(port.Read(3), "\x10\x20\x30"_ba);
    QCOMPARE(server.connections(), 2);
}

void TestNetworkLine::telnetLayer_data()
{
    using namespace comm::rfc2217;
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("replies");

    const auto verb = [](std::uint8_t v, std::uint8_t opt) { return bytes({kIac, v, opt}); };
    const QByteArray iac(1, char(kIac));
    QTest::newRow("plain") << "ab\r\n"_ba << "ab\r\n"_ba << QByteArray();
    QTest::newRow("doubled IAC is data") << "a"_ba + iac + iac + "b"_ba << "a\xff"
                                                                              "b"_ba
                                         << QByteArray();
    // What the greeting asked for is acknowledged without a reply; others are refused once.
    QTest::newRow("acknowledgements") << verb(kDo, kOptComPort) + verb(kWill, kOptBinary) + verb(kDo, kOptBinary)
                                      << QByteArray() << QByteArray();
    QTest::newRow("echo refused") << verb(kWill, 1) + "x"_ba + verb(kDo, 24) << "x"_ba
                                  << verb(kDont, 1) + verb(kWont, 24);
    QTest::newRow("notices are not data")
        << "a"_ba + command(107, "\x30"_ba) + "b"_ba + command(106, "\x60"_ba) << "ab"_ba << QByteArray();
    QTest::newRow("IAC inside a notice") << command(107, "\xff"_ba) + "z"_ba << "z"_ba << QByteArray();
    QTest::newRow("NOP and GA skipped") << "a"_ba + iac + "\xf1"_ba + iac + "\xf9"_ba + "b"_ba << "ab"_ba
                                        << QByteArray();
    // A command inside a subnegotiation ends it and still counts.
    QTest::newRow("unterminated subnegotiation")
        << iac + "\xfa\x2c\x6b"_ba + verb(kWill, 5) + "q"_ba << "q"_ba << verb(kDont, 5);
}

// The receiving side, fed whole and byte by byte: a split anywhere changes nothing.
void TestNetworkLine::telnetLayer()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, replies);

    comm::rfc2217::Receiver whole;
    QByteArray got;
    whole.feed(received, got);
    QCOMPARE(got, data);
    QCOMPARE(whole.takeReplies(), replies);

    comm::rfc2217::Receiver bytewise;
    got.clear();
    for (const char c : received)
        bytewise.feed(QByteArrayView(&c, 1), got);
    QCOMPARE(got, data);
    QCOMPARE(bytewise.takeReplies(), replies);
}

// A server that sends endless subnegotiations and answers keeps only what the settings need.
void TestNetworkLine::babblingServerIsBounded()
{
    using namespace comm::rfc2217;
    Receiver r;
    QByteArray data;
    const QByteArray longSub = bytes({kIac, kSb, kOptComPort, 101})
        + QByteArray(100000, 'x') + bytes({kIac, kSe});
    r.feed(longSub, data);
    QVERIFY(data.isEmpty());
    QVERIFY(r.answers(kSetBaudRate).empty());
    for (int i = 0; i < 1000; ++i)
        r.feed(answersFor(9600), data);
    QVERIFY(r.answers(kSetBaudRate).size() <= 8);
    QCOMPARE(checkAnswers(r, *settingsFromDcb(lineBlock())), 0);
    QCOMPARE(checkAnswers(r, *settingsFromDcb(lineBlock(4800))), EPROTO);
}

QObject* makeTestNetworkLine()
{
    return new TestNetworkLine;
}

#include "TestNetworkLine.moc"
