#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "link/MeterBlocks.h"
#include "link/MeterFrame.h"
#include "TestSupport.h"

namespace {

// The simulator as a user starts it, ready once it has printed its link.
class Simulator
{
public:
    bool start(const QString& link, QStringList args)
    {
        m_link = link;
        args.prepend(link);
        args.prepend(QStringLiteral("--link"));
        m_process.start(testsupport::binary(QStringLiteral("lorn2-metersim")), args);
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(5000))
                return false;
        }
        return m_process.readLine().trimmed() == QFile::encodeName(link);
    }

    // SIGTERM as a user's kill sends it, SIGINT as Ctrl-C does.
    int stop(int signal = SIGTERM)
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitCode();
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(5000))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_link;
};

int openLine(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fd;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

// Reads until `count` bytes are in, `until` has come, or the deadline passes.
QByteArray readSome(int fd, qsizetype count, int timeoutMs, QByteArrayView until = {})
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && (until.isEmpty() || !got.contains(until))) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        pollfd p{ fd, POLLIN, 0 };
        if (::poll(&p, 1, left) <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(fd, buf, std::size_t(std::min<qsizetype>(qsizetype(sizeof buf), count - got.size())));
        if (n > 0)
            got.append(buf, qsizetype(n));
    }
    return got;
}

// A TCP connection to "tcp://HOST:PORT" (IPv4), -1 when refused.
int connectTcp(const QByteArray& address)
{
    const QByteArray hostPort = address.mid(6);
    const qsizetype colon = hostPort.lastIndexOf(':');
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(quint16(hostPort.mid(colon + 1).toUInt()));
    inet_pton(AF_INET, hostPort.left(colon).constData(), &in.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    return ::write(fd, bytes.data(), std::size_t(bytes.size())) == ssize_t(bytes.size());
}

} // namespace

class TestMeterSimPty : public QObject
{
    Q_OBJECT

private slots:
    void answersOverTheTerminal_data();
    void answersOverTheTerminal();
    void survivesClientsComingAndGoing();
    void modemInFront();
    void modemDialFails();
    void pacedLine();
    void reportStream();
    void linkHandling();
    void answersOverTcp();
    void severalMetersOnOneLine_data();
    void severalMetersOnOneLine();
    void badOptions_data();
    void badOptions();
};

void TestMeterSimPty::answersOverTheTerminal_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("defaults") << QStringList() << QByteArray(":010400C800019F\r\n", 18)
                              << QByteArray(":0104043039000048\r\n");
    QTest::newRow("address 2A, serial 777")
        << QStringList{ QStringLiteral("--address"), QStringLiteral("2A"), QStringLiteral("--serial=777") }
        << QByteArray(":000400C80001A0\r\n", 18) << QByteArray(":2A04040309000039\r\n");
}

void TestMeterSimPty::answersOverTheTerminal()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    Simulator sim;
    QVERIFY(sim.start(dir.filePath(QStringLiteral("meter")), args + QStringList{ QStringLiteral("--log"), log }));
    const int fd = openLine(dir.filePath(QStringLiteral("meter")));
    QVERIFY(fd >= 0);
    QVERIFY(writeAll(fd, request));
    QCOMPARE(readSome(fd, reply.size(), 3000), reply);
    ::close(fd);
    QCOMPARE(sim.stop(), 0);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("meter"))));
    const QByteArray logged = testsupport::readFile(log);
    QVERIFY(logged.contains(QByteArray("< " + request.left(15) + "\\r\\n")));
    QVERIFY(logged.contains(QByteArray("> " + reply.left(reply.size() - 2) + "\\r\\n")));
}

// A GPRS modem in server mode: one caller at a time, the next once the first has gone; the
// terminal beside it answers all the while.
void TestMeterSimPty::answersOverTcp()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    QProcess sim;
    sim.start(testsupport::binary(QStringLiteral("lorn2-metersim")),
              {QStringLiteral("--link"), link, QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")});
    QVERIFY(sim.waitForStarted(5000));
    const QByteArrayList printed = testsupport::readLines(sim, 2);
    QCOMPARE(printed.size(), 2);
    QCOMPARE(printed[0], QFile::encodeName(link));
    QVERIFY2(printed[1].startsWith("tcp://127.0.0.1:"), printed[1].constData());

    const QByteArray request = ":010400C800019F\r\n";
    const QByteArray reply = ":0104043039000048\r\n";
    const int first = connectTcp(printed[1]);
    QVERIFY(first >= 0);
    QVERIFY(writeAll(first, request));
    QCOMPARE(readSome(first, reply.size(), 3000), reply);
    // A second caller is turned away while the first is on.
    const int second = connectTcp(printed[1]);
    QVERIFY(second >= 0);
    QCOMPARE(readSome(second, 1, 1000), QByteArray());
    ::close(second);
    const int terminal = openLine(link);
    QVERIFY(writeAll(terminal, request));
    QCOMPARE(readSome(terminal, reply.size(), 3000), reply);
    ::close(terminal);
    ::close(first);
    QTest::qWait(100);
    const int third = connectTcp(printed[1]);
    QVERIFY(third >= 0);
    QVERIFY(writeAll(third, request));
    QCOMPARE(readSome(third, reply.size(), 3000), reply);
    ::close(third);
    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
}

void TestMeterSimPty::survivesClientsComingAndGoing()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    Simulator sim;
    QVERIFY(sim.start(link, {}));
    MeterContext ctx;
    ctx.address = 1;
    const meter::Request serial = meter::MakeReadRegister(ctx, 200);
    for (int round = 0; round < 3; ++round) {
        const int fd = openLine(link);
        QVERIFY(fd >= 0);
        // A frame whose check fails gets no reply; the next good one does.
        QVERIFY(writeAll(fd, ":010400C800019E\r\n"));
        QVERIFY(readSome(fd, 1, 300).isEmpty());
        QVERIFY(writeAll(fd, serial.bytes));
        const QByteArray reply = readSome(fd, serial.replyLength, 3000);
        QCOMPARE(meter::CheckReply(reply), meter::kReplyOk);
        ::close(fd);
    }
    QCOMPARE(sim.stop(SIGINT), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestMeterSimPty::modemInFront()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    Simulator sim;
    QVERIFY(sim.start(link, { QStringLiteral("--modem") }));
    const int fd = openLine(link);
    QVERIFY(fd >= 0);
    // A meter frame before the connection is not for the modem and gets nothing.
    QVERIFY(writeAll(fd, ":010400C800019F\r\n"));
    QVERIFY(!readSome(fd, 64, 300).contains(":010404"));
    QVERIFY(writeAll(fd, "AT\r\n"));
    QVERIFY(readSome(fd, 64, 2000, "OK\r\n").contains("\r\nOK\r\n"));
    QVERIFY(writeAll(fd, "ATDT143\r\n"));
    QVERIFY(readSome(fd, 64, 3000, "9600\r\n").contains("\r\nCONNECT 9600\r\n"));

    MeterContext ctx;
    const meter::Request serial = meter::MakeReadRegister(ctx, 200);
    QVERIFY(writeAll(fd, serial.bytes));
    QCOMPARE(meter::CheckReply(readSome(fd, serial.replyLength, 3000)), meter::kReplyOk);

    QTest::qWait(1100);
    QVERIFY(writeAll(fd, "+++"));
    QVERIFY(readSome(fd, 64, 3000, "OK\r\n").contains("\r\nOK\r\n"));
    QVERIFY(writeAll(fd, "ATH\r\n"));
    QVERIFY(readSome(fd, 64, 2000, "OK\r\n").contains("\r\nOK\r\n"));
    // Hung up: the meter is out of reach again.
    QVERIFY(writeAll(fd, serial.bytes));
    QVERIFY(!readSome(fd, 64, 300).contains(":010404"));
    ::close(fd);
    QCOMPARE(sim.stop(), 0);
}

void TestMeterSimPty::modemDialFails()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    Simulator sim;
    QVERIFY(sim.start(link, { QStringLiteral("--modem-fail"), QStringLiteral("busy") }));
    const int fd = openLine(link);
    QVERIFY(fd >= 0);
    QVERIFY(writeAll(fd, "ATE0\r\n"));
    QVERIFY(readSome(fd, 64, 2000, "OK\r\n").contains("OK"));
    QVERIFY(writeAll(fd, "ATDT143\r\n"));
    QCOMPARE(readSome(fd, 64, 3000, "BUSY\r\n"), QByteArray("\r\nBUSY\r\n"));
    ::close(fd);
    QCOMPARE(sim.stop(), 0);
}

void TestMeterSimPty::pacedLine()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    Simulator sim;
    QVERIFY(sim.start(link, { QStringLiteral("--baud"), QStringLiteral("1200") }));
    const int fd = openLine(link);
    QVERIFY(fd >= 0);
    MeterContext ctx;
    ctx.address = 1;
    const meter::Request serial = meter::MakeReadRegister(ctx, 200);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(writeAll(fd, serial.bytes));
    const QByteArray reply = readSome(fd, serial.replyLength, 3000);
    // 18 + 19 bytes of 10 bits at 1200 baud cannot cross the line in less than 308 ms.
    QVERIFY2(clock.elapsed() >= 290, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(meter::CheckReply(reply), meter::kReplyOk);
    ::close(fd);
    QCOMPARE(sim.stop(), 0);
}

void TestMeterSimPty::reportStream()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    Simulator sim;
    QVERIFY(sim.start(link, {}));
    const int fd = openLine(link);
    QVERIFY(fd >= 0);
    MeterContext ctx;
    ctx.address = 1;
    for (const auto& [sub, index] : { std::pair{ 4, 1 }, std::pair{ 3, 48 } }) {
        const meter::Request r
            = meter::MakeArcCommand(ctx, std::uint8_t(sub), std::uint16_t(index), meter::ArcUse::Report);
        QVERIFY(writeAll(fd, r.bytes));
        QCOMPARE(meter::CheckReply(readSome(fd, r.replyLength, 3000)), meter::kReplyOk);
    }
    const meter::Request start = meter::MakeArcCommand(ctx, 5, 0x100, meter::ArcUse::Report);
    QVERIFY(writeAll(fd, start.bytes));
    QCOMPARE(readSome(fd, 13, 3000).size(), 13);
    const QByteArray text = readSome(fd, 1 << 20, 5000, "\x0C");
    QVERIFY(text.startsWith("\x1B@"));
    QVERIFY(text.endsWith('\x0C'));
    QCOMPARE(text.count("\r\n"), 48 + 8);
    ::close(fd);
    QCOMPARE(sim.stop(), 0);
}

void TestMeterSimPty::linkHandling()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    // A stale link of an earlier run is replaced.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), link));
    {
        Simulator sim;
        QVERIFY(sim.start(link, {}));
        QVERIFY(QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/")));
        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
    // A file of the user's is never overwritten.
    QVERIFY(testsupport::writeFile(link, "keep me"));
    QProcess p;
    p.start(testsupport::binary(QStringLiteral("lorn2-metersim")), { QStringLiteral("--link"), link });
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(testsupport::readFile(link), QByteArray("keep me"));
}

// Two meters on one terminal, each from its own file, the options setting the first: each
// answers its own address with its own serial number and archive, nobody answers the others.
void TestMeterSimPty::severalMetersOnOneLine_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("serial"); // 0: no reply at all
    QTest::addColumn<bool>("hasRecord40");
    QTest::newRow("first meter, options over its file") << 0x01 << 1234 << false;
    QTest::newRow("second meter, its file alone") << 0x02 << 2222 << true;
    QTest::newRow("no meter at 03") << 0x03 << 0 << false;
    QTest::newRow("00 on a line of two") << 0x00 << 0 << false;
}

void TestMeterSimPty::severalMetersOnOneLine()
{
    QFETCH(int, address);
    QFETCH(int, serial);
    QFETCH(bool, hasRecord40);
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.ini"));
    const QString second = dir.filePath(QStringLiteral("second.ini"));
    QVERIFY(testsupport::writeFile(first, "Serial = 1111\nAddress = 01\nHours = 30\n"));
    QVERIFY(testsupport::writeFile(second, "Serial = 2222\nAddress = 02\nHours = 50\n"));
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    const QString link = dir.filePath(QStringLiteral("meter"));
    Simulator sim;
    QVERIFY(sim.start(link,
                      { QStringLiteral("--meter"), first, QStringLiteral("--meter"), second,
                        QStringLiteral("--serial=1234"), QStringLiteral("--log"), log }));
    const int fd = openLine(link);
    QVERIFY(fd >= 0);
    MeterContext ctx;
    ctx.address = std::uint8_t(address);
    const meter::Request serialRequest = meter::MakeReadRegister(ctx, 200);
    const meter::Request record40 = meter::MakeArcCommand(ctx, 0, 40);
    QVERIFY(writeAll(fd, serialRequest.bytes));
    if (serial == 0) {
        QCOMPARE(readSome(fd, 1, 500), QByteArray());
        QVERIFY(writeAll(fd, record40.bytes));
        QCOMPARE(readSome(fd, 1, 500), QByteArray());
    } else {
        const QByteArray reply = readSome(fd, serialRequest.replyLength, 3000);
        QCOMPARE(meter::CheckReply(reply), meter::kReplyOk);
        QCOMPARE(meter::DataWord(meter::ReplyData(reply), 0).value(), std::uint16_t(serial));
        QCOMPARE(reply.mid(1, 2), ctx.addressText());
        QVERIFY(writeAll(fd, record40.bytes));
        sctArcZap r;
        QCOMPARE(meter::DecodeArchiveBlock(meter::ReplyData(readSome(fd, record40.replyLength, 3000)), r),
                 hasRecord40 ? meter::BlockStatus::Good : meter::BlockStatus::Empty);
    }
    ::close(fd);
    QCOMPARE(sim.stop(), 0);
    const QByteArray logged = testsupport::readFile(log);
    QVERIFY(logged.contains("# meter 01234 at address 01 on "));
    QVERIFY(logged.contains("# meter 02222 at address 02 on "));
    if (serial != 0) {
        const QByteArray name = QStringLiteral("# meter %1 at %2: register 200")
                                    .arg(serial, 5, 10, QLatin1Char('0'))
                                    .arg(QLatin1String(ctx.addressText()))
                                    .toLatin1();
        QVERIFY2(logged.contains(name), logged.constData());
    } else {
        QVERIFY(!logged.contains(" > :"));
    }
}

void TestMeterSimPty::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("says");
    const QByteArray any = "lorn2-metersim: ";
    QTest::newRow("no link") << QStringList() << any;
    QTest::newRow("unknown option") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--colour") } << any;
    QTest::newRow("missing value") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--serial") } << any;
    QTest::newRow("bad serial") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--serial=70000") } << any;
    QTest::newRow("bad fault") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--fault=drop:3") } << any;
    QTest::newRow("bad modem failure") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--modem-fail=late") }
                                       << any;
    QTest::newRow("bad formula") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--formula=4=1") } << any;
    QTest::newRow("no meter file") << QStringList{ QStringLiteral("--link=x"),
                                                   QStringLiteral("--meter=/nonexistent/m.ini") }
                                   << any;
    QTest::newRow("no second meter file") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--meter=one.ini"),
                                                          QStringLiteral("--meter=/nonexistent/m.ini") }
                                          << QByteArray("lorn2-metersim: /nonexistent/m.ini");
    QTest::newRow("one address twice") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--meter=one.ini"),
                                                       QStringLiteral("--meter=one.ini") }
                                       << QByteArray("the first meter (one.ini) and one.ini both have address 01");
    QTest::newRow("an option moves the first meter onto the second")
        << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--meter=one.ini"),
                        QStringLiteral("--meter=two.ini"), QStringLiteral("--address=02") }
        << QByteArray("both have address 02");
    QTest::newRow("00 on a line of two") << QStringList{ QStringLiteral("--link=x"), QStringLiteral("--meter=one.ini"),
                                                         QStringLiteral("--meter=zero.ini") }
                                         << QByteArray("zero.ini: address 00");
}

void TestMeterSimPty::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, says);
    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("one.ini")), "Address = 01\nSerial = 1\n"));
    QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("two.ini")), "Address = 02\nSerial = 2\n"));
    QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("zero.ini")), "Address = 00\nSerial = 3\n"));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(testsupport::binary(QStringLiteral("lorn2-metersim")), args);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.startsWith("lorn2-metersim: ") && err.contains(says), err.constData());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x"))));
}

QTEST_GUILESS_MAIN(TestMeterSimPty)
#include "TestMeterSimPty.moc"
