#include <chrono>

#include <termios.h>

#include <QProcess>
#include <QTest>

#include "SerialTestSupport.h"
#include "TestSupport.h"
#include "link/ComPortMap.h"
#include "link/LineSettings.h"
#include "link/SerialSpeed.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(DeviceControlBlock)

namespace {

qint64 msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

DeviceControlBlock dcbWith(std::uint32_t baud, std::uint8_t bits, std::uint8_t parity, std::uint8_t stop)
{
    DeviceControlBlock dcb = defaultDeviceControlBlock();
    dcb.BaudRate = baud;
    dcb.ByteSize = bits;
    dcb.Parity = parity;
    dcb.StopBits = stop;
    return dcb;
}

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void portsOutsideRangeFailSilently_data();
    void portsOutsideRangeFailSilently();
    void opensByMapNumberAndReopens();
    void unmappedPortIsReported();
    void lineSettings_data();
    void lineSettings();
    void flowControl();
    void badSettingsAreShownButPortStaysOpen();
    void readTimeouts_data();
    void readTimeouts();
    void intervalTimeoutEndsARead();
    void readLine_data();
    void readLine();
    void writeLineAndPurge();
    void closedPortIsQuiet();

    void comPortNumber_data();
    void comPortNumber();
    void sortByNumber();
    void newDevicesTakeLowestFreeNumber();
    void enumListsOnlyPortNames();
    void cliPortsPrintsTheMap();
};

void TestSerialPort::portsOutsideRangeFailSilently_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("0") << 0;
    QTest::newRow("256") << 256;
    QTest::newRow("-1") << -1;
}

void TestSerialPort::portsOutsideRangeFailSilently()
{
    QFETCH(int, number);
    testsupport::MessageRecorder messages;
    CComPort port;
    port.setPort(number);
    QVERIFY(!port.Open());
    QVERIFY(!port.isOpen());
    QVERIFY(messages->texts().isEmpty());
}

void TestSerialPort::opensByMapNumberAndReopens()
{
    testsupport::MessageRecorder messages;
    PtyLine line;
    QVERIFY(line.peer.isValid());
    QVERIFY(line.port.isOpen());
    QCOMPARE(line.port.Write("ping"), 4);
    QCOMPARE(line.peer.receive(4), "ping"_ba);

    // An open port is closed and opened again, and works afterwards.
    QVERIFY(line.port.Open());
    line.port.SetTimeouts(exchangeTimeouts(100));
    line.peer.send("pong");
    QCOMPARE(line.port.Read(4), "pong"_ba);
    QVERIFY(messages->texts().isEmpty());
}

void TestSerialPort::unmappedPortIsReported()
{
    testsupport::MessageRecorder messages;
    QTemporaryDir dir;
    CComPort port;
    port.setMapFile(dir.filePath(u"lorn2.ini"_s));
    port.setPort(255);
    QVERIFY(!port.Open());
    const std::vector<MessageRequest> shown = messages->shown();
    QCOMPARE(shown.size(), std::size_t(1));
    QVERIFY2(shown[0].text.startsWith(u"COM port error 2: "_s), qPrintable(shown[0].text));
    QCOMPARE(shown[0].caption, u"Error"_s);
    QCOMPARE(port.lastError(), 2u);
}

void TestSerialPort::lineSettings_data()
{
    QTest::addColumn<DeviceControlBlock>("dcb");
    QTest::addColumn<std::uint32_t>("speed");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("parityFlags");
    QTest::addColumn<bool>("twoStops");

    const int none = 0;
    QTest::newRow("9600 8N1") << dcbWith(9600, 8, 0, 0) << 9600u << int(CS8) << none << false;
    QTest::newRow("non-standard 12345") << dcbWith(12345, 8, 0, 0) << 12345u << int(CS8) << none << false;
    QTest::newRow("7 odd") << dcbWith(4800, 7, 1, 0) << 4800u << int(CS7) << int(PARENB | PARODD) << false;
    QTest::newRow("even") << dcbWith(19200, 8, 2, 0) << 19200u << int(CS8) << int(PARENB) << false;
    QTest::newRow("mark") << dcbWith(9600, 8, 3, 0) << 9600u << int(CS8) << int(PARENB | CMSPAR | PARODD) << false;
    QTest::newRow("space") << dcbWith(9600, 8, 4, 0) << 9600u << int(CS8) << int(PARENB | CMSPAR) << false;
    QTest::newRow("1.5 stops") << dcbWith(9600, 5, 0, 1) << 9600u << int(CS5) << none << true;
    QTest::newRow("2 stops") << dcbWith(115200, 6, 0, 2) << 115200u << int(CS6) << none << true;
}

void TestSerialPort::lineSettings()
{
    QFETCH(DeviceControlBlock, dcb);
    QFETCH(std::uint32_t, speed);
    QFETCH(int, size);
    QFETCH(int, parityFlags);
    QFETCH(bool, twoStops);

    // A pseudo-terminal keeps only some of the flags (always 8 bits, no parity), so the mapping
    // is checked on its own and the speed and stop bits on a real line.
    termios t {};
    t.c_lflag = ICANON | ECHO;
    bool custom = false;
    QCOMPARE(comm::termiosFromDcb(dcb, t, custom), 0);
    QCOMPARE(int(t.c_cflag & CSIZE), size);
    QCOMPARE(int(t.c_cflag & (PARENB | PARODD | CMSPAR)), parityFlags);
    QCOMPARE((t.c_cflag & CSTOPB) != 0, twoStops);
    QCOMPARE(int(t.c_lflag & (ICANON | ECHO)), 0);
    QCOMPARE(custom, speed == 12345u);

    testsupport::MessageRecorder messages;
    PtyLine line(100, dcb);
    QVERIFY(line.port.isOpen());
    QVERIFY(messages->texts().isEmpty());
    QCOMPARE(::tcgetattr(line.port.handle(), &t), 0);
    QCOMPARE((t.c_cflag & CSTOPB) != 0, twoStops);
    QCOMPARE(comm::serialspeed::currentSpeed(line.port.handle()).value_or(0), speed);
}

void TestSerialPort::flowControl()
{
    testsupport::MessageRecorder messages;
    DeviceControlBlock dcb = defaultDeviceControlBlock();
    setDcbFlag(dcb, DcbFlag::fOutxCtsFlow, 1);
    setDcbFlag(dcb, DcbFlag::fRtsControl, kRtsControlHandshake);
    setDcbFlag(dcb, DcbFlag::fOutX, 1);
    setDcbFlag(dcb, DcbFlag::fInX, 1);
    PtyLine line(100, dcb);
    QVERIFY(line.port.isOpen());

    termios t {};
    QCOMPARE(::tcgetattr(line.port.handle(), &t), 0);
    QVERIFY((t.c_cflag & CRTSCTS) != 0);
    QCOMPARE(int(t.c_iflag & (IXON | IXOFF)), int(IXON | IXOFF));
    // CTS is watched, but RTS is held on rather than handed to the handshake.
    QCOMPARE(dcbFlag(line.port.dcb(), DcbFlag::fOutxCtsFlow), 1u);
    QCOMPARE(dcbFlag(line.port.dcb(), DcbFlag::fRtsControl), kRtsControlEnable);
    // A pseudo-terminal has no RTS or DTR; that is no error.
    QVERIFY(messages->texts().isEmpty());
}

void TestSerialPort::badSettingsAreShownButPortStaysOpen()
{
    testsupport::MessageRecorder messages;
    PtyLine line(100, dcbWith(9600, 8, 0, 0));
    QVERIFY(line.port.isOpen());
    QVERIFY(!line.port.SetState(dcbWith(9600, 9, 0, 0)));
    QCOMPARE(messages->texts().size(), 1);
    QVERIFY(messages->texts().first().startsWith(u"COM port error 22: "_s));
    QCOMPARE(line.port.dcb().ByteSize, std::uint8_t(8));
    // The line still works after the refusal, and raw.
    line.peer.send("a\nb");
    QCOMPARE(line.port.Read(3), "a\nb"_ba);
}

void TestSerialPort::readTimeouts_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("answerTimeout");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    // 19 bytes asked for: the total timeout is answerTimeout + 95 ms.
    QTest::newRow("full reply returns at once") << QByteArray(19, 'x') << 3000 << 0 << 1000;
    QTest::newRow("more than asked") << QByteArray(25, 'x') << 3000 << 0 << 1000;
    QTest::newRow("short reply waits the total") << QByteArray(5, 'x') << 100 << 185 << 1500;
    QTest::newRow("silence waits the total") << QByteArray() << 100 << 185 << 1500;
}

void TestSerialPort::readTimeouts()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, answerTimeout);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    PtyLine line{std::uint32_t(answerTimeout)};
    QVERIFY(line.port.isOpen());
    line.peer.send(sent);
    const auto start = std::chrono::steady_clock::now();
    const QByteArray got = line.port.Read(19);
    const qint64 elapsed = msSince(start);
    QCOMPARE(got, sent.left(19));
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
}

void TestSerialPort::intervalTimeoutEndsARead()
{
    PtyLine line;
    CommTimeouts t = exchangeTimeouts(5000);
    t.ReadIntervalTimeout = 50;
    line.port.SetTimeouts(t);
    line.peer.send("abc");
    const auto start = std::chrono::steady_clock::now();
    QCOMPARE(line.port.Read(19), "abc"_ba);
    QVERIFY(msSince(start) < 2000);
}

void TestSerialPort::readLine_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("silent line") << QByteArray() << 1 << QByteArray();
    QTest::newRow("OK CR LF") << "OK\r\n"_ba << 0 << "OK"_ba;
    QTest::newRow("LF alone ignored") << "OK\n\r\n"_ba << 0 << "OK"_ba;
    QTest::newRow("bytes after CR dropped") << "OK\rXY\n"_ba << 0 << "OK"_ba;
    QTest::newRow("control and high bytes dropped") << "\x01O\x80K\tZ\r\n"_ba << 0 << "OKZ"_ba;
    QTest::newRow("empty line") << "\r\nOK\r\n"_ba << 0 << QByteArray();
    QTest::newRow("299 bytes are taken") << QByteArray(299, 'A') << 1 << QByteArray(299, 'A');
    QTest::newRow("300th byte ends") << QByteArray(300, 'A') << 2 << QByteArray(299, 'A');
    QTest::newRow("line end as 300th byte") << QByteArray(298, 'A') + "\r\n" << 2 << QByteArray(298, 'A');
}

void TestSerialPort::readLine()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, result);
    QFETCH(QByteArray, text);

    PtyLine line(20);
    QVERIFY(line.port.isOpen());
    line.peer.send(sent);
    QByteArray got;
    const auto start = std::chrono::steady_clock::now();
    QCOMPARE(line.port.ReadLine(5, got), result);
    QCOMPARE(got, text);
    // Running dry takes five empty reads of 25 ms each.
    if (result == CComPort::kLineDry)
        QVERIFY(msSince(start) >= 5 * 24);
}

void TestSerialPort::writeLineAndPurge()
{
    testsupport::MessageRecorder messages;
    PtyLine line(20);
    QCOMPARE(line.port.WriteLine("ATH"), 5);
    QCOMPARE(line.peer.receive(5), "ATH\r\n"_ba);

    line.peer.send("stale reply");
    QTest::qWait(50);
    QVERIFY(line.port.Purge());
    line.peer.send("fresh");
    QCOMPARE(line.port.Read(5), "fresh"_ba);
    QVERIFY(messages->texts().isEmpty());
}

void TestSerialPort::closedPortIsQuiet()
{
    testsupport::MessageRecorder messages;
    CComPort port;
    char c = 0;
    QCOMPARE(port.Read(1, &c), 0);
    QCOMPARE(port.Write("x"), 0);
    QCOMPARE(port.WriteLine("AT"), 0);
    QVERIFY(!port.Close());
    QVERIFY(!port.Purge());
    // Settings given to a closed port are kept for the next open.
    QVERIFY(port.SetState(dcbWith(2400, 7, 2, 0)));
    QCOMPARE(port.dcb().BaudRate, 2400u);
    QVERIFY(messages->texts().isEmpty());
}

void TestSerialPort::comPortNumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("COM1") << u"COM1"_s << 1;
    QTest::newRow("COM12") << u"COM12"_s << 12;
    QTest::newRow("digits end the number") << u"COM10x3"_s << 10;
    QTest::newRow("COMX") << u"COMX"_s << -1;
    QTest::newRow("COM") << u"COM"_s << -1;
    QTest::newRow("LPT1") << u"LPT1"_s << -1;
    QTest::newRow("lower case") << u"com3"_s << -1;
    QTest::newRow("huge") << u"COM99999999999999"_s << 0x7FFFFFFF;
}

void TestSerialPort::comPortNumber()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(comm::ComPortNumber(name), number);
}

void TestSerialPort::sortByNumber()
{
    QStringList names{u"COM10"_s, u"COM2"_s, u"COM1"_s};
    comm::SortComPorts(names);
    QCOMPARE(names, (QStringList{u"COM1"_s, u"COM2"_s, u"COM10"_s}));
}

void TestSerialPort::newDevicesTakeLowestFreeNumber()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    testsupport::writeFile(ini, "[Settings]\nKeep=1\n\n[SerialComm]\nCOM1=/dev/a\nCOM3=/dev/b\n");
    comm::ComPortMap map(ini);
    QCOMPARE(map.addDevices({u"/dev/d"_s, u"/dev/a"_s, u"/dev/c"_s}), 2);
    const std::map<int, QString> expected{
        {1, u"/dev/a"_s}, {2, u"/dev/c"_s}, {3, u"/dev/b"_s}, {4, u"/dev/d"_s}};
    QCOMPARE(map.entries(), expected);
    QCOMPARE(map.addDevices({u"/dev/c"_s, u"/dev/d"_s}), 0);
    QCOMPARE(map.devicePath(4), u"/dev/d"_s);
    QVERIFY(map.devicePath(5).isEmpty());
    QCOMPARE(testsupport::iniSection(ini, u"Settings"_s), QStringList{u"Keep=1"_s});
}

void TestSerialPort::enumListsOnlyPortNames()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    testsupport::writeFile(ini, "[SerialComm]\nCOM7=/tmp/meter\nCOMX=/dev/x\nLPT1=/dev/lp0\nCOM=/dev/y\n");
    comm::ComPortMap map(ini);
    const QStringList names = map.EnumComPorts();
    QVERIFY(names.contains(u"COM7"_s));
    for (const QString& name : names)
        QVERIFY2(comm::ComPortNumber(name) > 0, qPrintable(name));
}

void TestSerialPort::cliPortsPrintsTheMap()
{
    QTemporaryDir dir;
    testsupport::writeFile(dir.filePath(u"lorn2.ini"_s), "[SerialComm]\nCOM12=/tmp/meter12\nCOM7=/tmp/meter7\n");
    QProcess cli;
    cli.start(testsupport::binary(u"lorn2-cli"_s), {u"-C"_s, dir.path(), u"ports"_s});
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    const qsizetype at7 = lines.indexOf(u"COM7\t/tmp/meter7\tserial device"_s);
    const qsizetype at12 = lines.indexOf(u"COM12\t/tmp/meter12\tserial device"_s);
    QVERIFY2(at7 >= 0 && at12 > at7, qPrintable(lines.join(u'|')));
}

QObject* makeTestSerialPort()
{
    return new TestSerialPort;
}

#include "TestSerialPort.moc"
