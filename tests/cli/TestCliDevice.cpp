#include <csignal>

#include <sys/socket.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "Ser2net.h"
#include "TestSupport.h"
#include "base/CodePage.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

// How long opening a network port may take, its settings confirmed.
constexpr int kConnectBoundMs = 5000;

// The simulated meter on a pseudo-terminal, mapped to COM7 of the working folder.
class Meter
{
public:
    Meter(const QString& folder, QStringList args)
        : m_folder(folder)
    {
        const QString link = QDir(folder).filePath(u"meter"_s);
        m_log = QDir(folder).filePath(u"meter.log"_s);
        m_process.start(testsupport::binary(u"lorn2-metersim"_s),
                        QStringList{u"--link"_s, link, u"--log"_s, m_log} + args);
        m_ready = m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000)
                  && m_process.readLine().trimmed() == QFile::encodeName(link);
        // Without a printer table every account load would complain.
        testsupport::writeFile(QDir(folder).filePath(u"esc.ini"_s), QByteArray());
        QFile ini(QDir(folder).filePath(u"lorn2.ini"_s));
        m_ready = m_ready && ini.open(QIODevice::WriteOnly)
                  && ini.write("[SerialComm]\nCOM7=" + QFile::encodeName(link) + "\n") > 0;
    }
    ~Meter()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
    }
    bool ready() const { return m_ready; }
    QString log() const { return QString::fromUtf8(testsupport::readFile(m_log)); }

private:
    QString m_folder;
    QString m_log;
    QProcess m_process;
    bool m_ready = false;
};

Run cli(const QString& folder, const QStringList& args)
{
    return testsupport::runProgram(u"lorn2-cli"_s, QStringList{u"-C"_s, folder} + args, QString(), 60000);
}

// An account for the simulator's default serial number on COM7 (or on no port).
bool addAccount(const QString& folder, bool withPort = true)
{
    QStringList args{u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"12345"_s, u"--timeout"_s, u"300"_s,
                     u"--retries"_s, u"2"_s};
    if (withPort)
        args << u"--port"_s << u"7"_s;
    return cli(folder, args).exitCode == 0;
}

int archiveLines(const QString& folder)
{
    const Run r = cli(folder, {u"show-archive"_s, u"12345"_s});
    return r.exitCode == 0 ? int(r.out.count(u'\n')) - 1 : -1;
}

} // namespace

class TestCliDevice : public QObject
{
    Q_OBJECT

private slots:
    void readArchive_data();
    void readArchive();
    void readArchiveRefusals_data();
    void readArchiveRefusals();
    void readConfigQuestion_data();
    void readConfigQuestion();
    void readReport_data();
    void readReport();
    void readReportRowsOfTheDay_data();
    void readReportRowsOfTheDay();
    void setClock_data();
    void setClock();
    void progressLineOnTerminal();
    void portsMapEdits_data();
    void portsMapEdits();
    void sameFilesOverEveryLine();
    void modemBehindSerialServer();
    void networkFailures_data();
    void networkFailures();
    void progressOffTerminal_data();
    void progressOffTerminal();
    void interruptKeepsWhatCame();
};

void TestCliDevice::readArchive_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("records");

    QTest::newRow("to the end") << QStringList{u"--to-end"_s} << 30;
    // Reading goes back in time from today; 30 hours reach back into yesterday at most.
    QTest::newRow("down to today") << QStringList{u"--end"_s, QDate::currentDate().toString(u"yyyy-MM-dd"_s)}
                                   << -1;
}

void TestCliDevice::readArchive()
{
    QFETCH(QStringList, options);
    QFETCH(int, records);

    QTemporaryDir dir;
    Meter meter(dir.path(), {u"--hours"_s, u"30"_s, u"--archive-size"_s, u"40"_s});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    const Run r = cli(dir.path(), QStringList{u"read-archive"_s, u"12345"_s} + options);
    QCOMPARE(r.exitCode, 0);
    // Not a terminal: a line per status text in the program's own words, a count at its end.
    QVERIFY2(r.err.contains(u"\nЧтение серийного номера ТС\n"_s), qPrintable(r.err));
    QVERIFY2(!r.err.contains(u"error:"_s), qPrintable(r.err));
    const int shown = archiveLines(dir.path());
    QVERIFY2(r.err.contains(QRegularExpression(u"\nСчитано записей: \\d+(\n|  \\()"_s)), qPrintable(r.err));
    if (records >= 0) {
        QCOMPARE(shown, records);
    } else {
        // The first record older than the end day is stored, then reading stops.
        const int hoursToday = QTime::currentTime().hour() + 1;
        QVERIFY2(shown >= 1 && shown <= std::min(30, hoursToday + 1), qPrintable(QString::number(shown)));
    }
}

void TestCliDevice::readArchiveRefusals_data()
{
    QTest::addColumn<bool>("withPort");
    QTest::addColumn<QStringList>("meterOptions");
    QTest::addColumn<QString>("message");

    QTest::newRow("no port") << false << QStringList() << u"error: Не выбран COM-порт"_s;
    QTest::newRow("another meter") << true << QStringList{u"--serial"_s, u"999"_s}
                                   << u"error: Серийный номер ТС не совпадает с номером учётной записи"_s;
    QTest::newRow("silent meter") << true << QStringList{u"--fault"_s, u"drop:1"_s}
                                  << u"error: Устройство не отвечает"_s;
}

void TestCliDevice::readArchiveRefusals()
{
    QFETCH(bool, withPort);
    QFETCH(QStringList, meterOptions);
    QFETCH(QString, message);

    QTemporaryDir dir;
    Meter meter(dir.path(), meterOptions);
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path(), withPort));
    const Run r = cli(dir.path(), {u"read-archive"_s, u"12345"_s, u"--to-end"_s});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.filePath(u"Devices/Karna1_12345/12345.tsa"_s)));
}

void TestCliDevice::readConfigQuestion_data()
{
    QTest::addColumn<int>("cfgArchive");
    QTest::addColumn<QString>("answer"); // empty: the default
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("printed");

    QTest::newRow("five: no question") << 5 << QString() << false << QString();
    QTest::newRow("six: default yes") << 6 << QString() << true << u"-> yes"_s;
    QTest::newRow("six: no") << 6 << u"no"_s << true << u"-> no"_s;
}

void TestCliDevice::readConfigQuestion()
{
    QFETCH(int, cfgArchive);
    QFETCH(QString, answer);
    QFETCH(bool, asked);
    QFETCH(QString, printed);

    QTemporaryDir dir;
    Meter meter(dir.path(), {u"--prot"_s, u"14"_s, u"--cfg-archive"_s, QString::number(cfgArchive)});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    QStringList args{u"read-config"_s, u"12345"_s};
    if (!answer.isEmpty())
        args << u"--cfg-archive"_s << answer;
    const Run r = cli(dir.path(), args);
    QCOMPARE(r.exitCode, 0);
    const QString question = u"question: Архив конфигураций содержит %1 записей.\nСчитать?\n"_s.arg(cfgArchive);
    QCOMPARE(r.err.contains(question), asked);
    if (asked)
        QVERIFY2(r.err.contains(question + printed + u'\n'), qPrintable(r.err));
    // Nothing to show on a command line.
    QVERIFY(r.err.contains(u"question: Конфигурация загружена. Показать отчёт о конфигурации?\n-> no\n"_s));
    const QString snapshots = cli(dir.path(), {u"config-report"_s, u"12345"_s, u"--list-snapshots"_s}).out;
    QCOMPARE(int(snapshots.count(u'\n')), answer == u"no"_s ? 0 : cfgArchive);
}

void TestCliDevice::readReport_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("minBytes");

    const QString today = QDate::currentDate().toString(u"yyyy-MM-dd"_s);
    QTest::newRow("hourly until quiet") << QStringList{u"--hourly"_s, today, u"--idle"_s, u"0.5"_s} << 100;
    QTest::newRow("daily, up to 50 bytes")
        << QStringList{u"--daily"_s, QDate::currentDate().addDays(-2).toString(u"yyyy-MM-dd"_s),
                       QDate::currentDate().addDays(-1).toString(u"yyyy-MM-dd"_s), u"--max-bytes"_s, u"50"_s}
        << 50;
}

void TestCliDevice::readReport()
{
    QFETCH(QStringList, options);
    QFETCH(int, minBytes);

    QTemporaryDir dir;
    Meter meter(dir.path(), {u"--hours"_s, u"96"_s});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    const QString file = dir.filePath(u"meter.tsr"_s);
    const Run r = cli(dir.path(), QStringList{u"read-report"_s, u"12345"_s, u"-o"_s, file} + options);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.err.contains(u"Старт печати...\n"_s));
    QVERIFY(r.err.contains(u"Принято байт: "_s));
    const QByteArray bytes = testsupport::readFile(file);
    QVERIFY2(bytes.size() >= minBytes, qPrintable(QString::number(bytes.size())));
}

void TestCliDevice::readReportRowsOfTheDay_data()
{
    QTest::addColumn<QString>("day");
    QTest::addColumn<QString>("firstRow");
    QTest::addColumn<QString>("lastRow");

    // The meter's clock stands at 14:20, so its archive ends at 14:00 of the 5th.
    // Today has no record of the next day: the walk through the heads finds the day's end.
    QTest::newRow("today") << u"2024-03-05"_s << u"05.03.24 00"_s << u"05.03.24 14"_s;
    // Yesterday's end is found by the search for the next day's first hour.
    QTest::newRow("yesterday") << u"2024-03-04"_s << u"04.03.24 00"_s << u"05.03.24 00"_s;
}

void TestCliDevice::readReportRowsOfTheDay()
{
    QFETCH(QString, day);
    QFETCH(QString, firstRow);
    QFETCH(QString, lastRow);

    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(u"meter.ini"_s), "[Meter]\nClock=2024-03-05 14:20:00\n"));
    Meter meter(dir.path(), {u"--hours"_s, u"96"_s, u"--meter"_s, dir.filePath(u"meter.ini"_s)});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    const QString file = dir.filePath(u"meter.tsr"_s);
    const Run r = cli(dir.path(), {u"read-report"_s, u"12345"_s, u"--hourly"_s, day, u"--idle"_s, u"0.5"_s, u"-o"_s, file});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QStringList rows;
    const QStringList lines = codepage::fromOem(testsupport::readFile(file)).split(u"\r\n"_s);
    static const QRegularExpression row(u"^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d "_s);
    for (const QString& line : lines) {
        if (row.match(line).hasMatch())
            rows << line.left(11);
    }
    QVERIFY2(!rows.isEmpty(), qPrintable(lines.join(u'\n')));
    QCOMPARE(rows.first(), firstRow);
    QCOMPARE(rows.last(), lastRow);
}

void TestCliDevice::setClock_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("request"); // the clock request the meter got: sec, min, hour, day, month, year

    QTest::newRow("1999") << u"1999-03-05 10:11:12"_s << u":0167010C0B0A050363"_s;
    QTest::newRow("2024") << u"2024-12-31 23:59:58"_s << u":0167013A3B171F0C18"_s;
}

void TestCliDevice::setClock()
{
    QFETCH(QString, time);
    QFETCH(QString, request);

    QTemporaryDir dir;
    Meter meter(dir.path(), {});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    const Run r = cli(dir.path(), {u"set-clock"_s, u"12345"_s, u"--time"_s, time});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(meter.log().contains(request), qPrintable(meter.log()));

    const Run bad = cli(dir.path(), {u"set-clock"_s, u"12345"_s, u"--time"_s, u"1999-03-05"_s});
    QCOMPARE(bad.exitCode, 2);
}

void TestCliDevice::portsMapEdits_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line"); // a line of `ports` after it, or the refusal
    QTest::newRow("tcp") << QStringList{u"add"_s, u"COM8"_s, u"tcp://10.0.0.5:4001"_s} << 0
                         << u"COM8\ttcp://10.0.0.5:4001\tTCP\n"_s;
    QTest::newRow("rfc2217, IPv6") << QStringList{u"add"_s, u"COM9"_s, u"rfc2217://[::1]:2217"_s} << 0
                                   << u"COM9\trfc2217://[::1]:2217\tRFC 2217\n"_s;
    QTest::newRow("replaces") << QStringList{u"add"_s, u"COM7"_s, u"tcp://gprs.example:5000"_s} << 0
                              << u"COM7\ttcp://gprs.example:5000\tTCP\n"_s;
    QTest::newRow("bad port number") << QStringList{u"add"_s, u"COM8"_s, u"tcp://host:70000"_s} << 2
                                     << u"is no device path, tcp://HOST:PORT or rfc2217://HOST:PORT"_s;
    QTest::newRow("IPv6 without brackets") << QStringList{u"add"_s, u"COM8"_s, u"tcp://::1:4001"_s} << 2
                                           << u"is no device path"_s;
    QTest::newRow("no such COM") << QStringList{u"add"_s, u"COM0"_s, u"/dev/ttyS0"_s} << 2 << u"COM1 to COM255"_s;
    QTest::newRow("remove") << QStringList{u"remove"_s, u"COM7"_s} << 0 << QString();
    QTest::newRow("remove what is not there") << QStringList{u"remove"_s, u"COM44"_s} << 1
                                              << u"COM44 is not in the COM-number map"_s;
}

void TestCliDevice::portsMapEdits()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(u"lorn2.ini"_s), "[SerialComm]\nCOM7=/tmp/meter\n"));
    const Run r = cli(dir.path(), QStringList{u"ports"_s} + args);
    QCOMPARE(r.exitCode, exitCode);
    const Run list = cli(dir.path(), {u"ports"_s});
    if (exitCode == 0 && !line.isEmpty())
        QVERIFY2(list.out.contains(line), qPrintable(list.out));
    else if (exitCode == 0)
        QVERIFY2(!list.out.contains(u"COM7\t"_s), qPrintable(list.out));
    else
        QVERIFY2(r.err.contains(line), qPrintable(r.err));
}

// A meter reached over TCP (a GPRS modem in server mode) gives the same archive file as over a
// serial line.
namespace {

// Every file of a folder tree by its relative path; of the account file (which holds the
// configuration read) all but the time the meter was last reached.
QMap<QString, QByteArray> filesOf(const QString& root)
{
    static const QRegularExpression lastConnect(u"<LastConnectDate>[^<]*</LastConnectDate>"_s);
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QByteArray bytes = testsupport::readFile(path);
        if (path.endsWith(u".xml"_s))
            bytes = QString::fromUtf8(bytes).remove(lastConnect).toUtf8();
        files.insert(QDir(root).relativeFilePath(path), bytes);
    }
    return files;
}

} // namespace

// The archive, the configuration, the meter's report and the clock, over the serial line, over
// the simulator's own TCP port and through ser2net raw and RFC 2217: the same files everywhere.
void TestCliDevice::sameFilesOverEveryLine()
{
    QTemporaryDir dir;
    QProcess sim;
    const QString link = dir.filePath(u"meter"_s);
    // The meter's report says when it was printed, to the minute: its clock is set back to the
    // same minute after every line.
    QVERIFY(testsupport::writeFile(dir.filePath(u"meter.ini"_s), "[Meter]\nClock=2024-03-05 14:20:00\n"));
    sim.start(testsupport::binary(u"lorn2-metersim"_s),
              {u"--link"_s, link, u"--tcp"_s, u"127.0.0.1:0"_s, u"--hours"_s, u"48"_s, u"--archive-size"_s, u"48"_s,
               u"--cfg-archive"_s, u"3"_s, u"--meter"_s, dir.filePath(u"meter.ini"_s)});
    QVERIFY(sim.waitForStarted(5000));
    const QByteArrayList printed = testsupport::readLines(sim, 2);
    QCOMPARE(printed.size(), 2);
    testsupport::Ser2net server(link);
    QVERIFY2(server.isRunning(), qPrintable(server.error()));

    const QString day = u"2024-03-05"_s;
    const std::pair<QString, QString> lines[] = {{u"serial"_s, QString::fromUtf8(printed[0])},
                                                 {u"simulator TCP"_s, QString::fromUtf8(printed[1])},
                                                 {u"ser2net raw"_s, server.rawTarget()},
                                                 {u"ser2net RFC 2217"_s, server.rfc2217Target()}};
    QMap<QString, QByteArray> overSerial;
    for (const auto& [name, target] : lines) {
        const QString folder = dir.filePath(name);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(testsupport::writeFile(folder + u"/esc.ini"_s, QByteArray()));
        QCOMPARE(cli(folder, {u"ports"_s, u"add"_s, u"COM7"_s, target}).exitCode, 0);
        QVERIFY(addAccount(folder));
        const QList<QStringList> commands = {
            {u"read-archive"_s, u"12345"_s, u"--to-end"_s},
            {u"read-config"_s, u"12345"_s},
            {u"read-report"_s, u"12345"_s, u"--hourly"_s, day, u"--idle"_s, u"0.5"_s, u"-o"_s, folder + u"/meter.tsr"_s},
            {u"set-clock"_s, u"12345"_s, u"--time"_s, u"2024-03-05 14:20:00"_s},
        };
        for (const QStringList& command : commands) {
            const Run r = cli(folder, command);
            QVERIFY2(r.exitCode == 0 && !r.err.contains(u"error:"_s),
                     qPrintable(name + u": "_s + command.join(u' ') + u"\n"_s + r.err));
        }
        const QMap<QString, QByteArray> files = filesOf(folder + u"/Devices"_s);
        if (overSerial.isEmpty()) {
            overSerial = files;
            overSerial.insert(u"meter.tsr"_s, testsupport::readFile(folder + u"/meter.tsr"_s));
            QVERIFY(overSerial.value(u"Karna1_12345/12345.tsa"_s).size() > 1000);
            QVERIFY(overSerial.value(u"Karna1_12345/12345.xml"_s).contains("<Config size="));
            QVERIFY2(overSerial.size() == 3, qPrintable(overSerial.keys().join(u' ')));
            continue;
        }
        QCOMPARE(files.keys() + QStringList{u"meter.tsr"_s}, overSerial.keys());
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QVERIFY2(it.value() == overSerial.value(it.key()), qPrintable(name + u": "_s + it.key()));
        QCOMPARE(testsupport::readFile(folder + u"/meter.tsr"_s), overSerial.value(u"meter.tsr"_s));
    }
    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(5000));
}

// A dial-up modem on the far side of a serial server: the Hayes dialogue, the escape with its
// guard times and the hang-up pass through the telnet layer unchanged.
void TestCliDevice::modemBehindSerialServer()
{
    QTemporaryDir dir;
    Meter meter(dir.path(), {u"--modem"_s, u"--hours"_s, u"24"_s});
    QVERIFY(meter.ready());
    testsupport::Ser2net server(dir.filePath(u"meter"_s));
    QVERIFY2(server.isRunning(), qPrintable(server.error()));
    QCOMPARE(cli(dir.path(), {u"ports"_s, u"add"_s, u"COM7"_s, server.rfc2217Target()}).exitCode, 0);
    QVERIFY(addAccount(dir.path()));
    QCOMPARE(cli(dir.path(), {u"edit"_s, u"12345"_s, u"--modem"_s, u"yes"_s}).exitCode, 0);
    const Run r = cli(dir.path(), {u"read-archive"_s, u"12345"_s, u"--to-end"_s});
    QVERIFY2(r.exitCode == 0 && !r.err.contains(u"error:"_s), qPrintable(r.err));
    QVERIFY2(r.err.contains(u"Соединение с удалённым модемом окончено"_s), qPrintable(r.err));
    QCOMPARE(archiveLines(dir.path()), 24);
    const QString log = meter.log();
    QVERIFY2(log.contains(u"ATD"_s) && log.contains(u"ATH"_s), qPrintable(log));
}

void TestCliDevice::networkFailures_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QString>("portError"); // empty: none
    QTest::addColumn<QString>("message");

    enum { Refuse, Silent, CloseMidReply, UnknownHost };
    const QString openFailed = u"Ошибка открытия COM-порта"_s;
    const QString noAnswer = u"Устройство не отвечает"_s;
    QTest::newRow("refused") << u"tcp"_s << int(Refuse) << u"111: Connection refused"_s << openFailed;
    QTest::newRow("unknown host") << u"tcp"_s << int(UnknownHost) << u"6: No such device or address"_s << openFailed;
    QTest::newRow("silent server") << u"tcp"_s << int(Silent) << QString() << noAnswer;
    QTest::newRow("closed mid-reply") << u"tcp"_s << int(CloseMidReply) << u"104: Connection reset by peer"_s
                                      << noAnswer;
    QTest::newRow("RFC 2217 settings never answered")
        << u"rfc2217"_s << int(Silent) << u"110: Connection timed out"_s << openFailed;
}

// Each network failure ends with the port's message, where the target is, and the operation's
// message, within the tries' time and the bound of an opening, never in a hang.
void TestCliDevice::networkFailures()
{
    QFETCH(QString, scheme);
    QFETCH(int, behaviour);
    QFETCH(QString, portError);
    QFETCH(QString, message);

    enum { Refuse, Silent, CloseMidReply, UnknownHost };
    testsupport::TcpPeer server([behaviour](int socket) {
        if (behaviour == CloseMidReply) {
            testsupport::receiveFor(socket, 2000, 10);
            ::send(socket, ":0104", 5, MSG_NOSIGNAL);
        } else {
            testsupport::receiveFor(socket, 8000);
        }
    });
    QString target = u"%1://127.0.0.1:%2"_s.arg(scheme).arg(behaviour == Refuse ? testsupport::freeTcpPort()
                                                                                : server.port());
    if (behaviour == UnknownHost)
        target = u"tcp://no-such-host.invalid:4001"_s;

    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(u"esc.ini"_s), QByteArray()));
    QCOMPARE(cli(dir.path(), {u"ports"_s, u"add"_s, u"COM7"_s, target}).exitCode, 0);
    QVERIFY(addAccount(dir.path())); // 2 tries, 300 ms each
    QElapsedTimer clock;
    clock.start();
    const Run r = cli(dir.path(), {u"read-archive"_s, u"12345"_s, u"--to-end"_s});
    QCOMPARE(r.exitCode, 1);
    // A reply of this meter takes a few milliseconds on loopback; a second is plenty of room.
    QVERIFY2(clock.elapsed() < 2 * (300 + 500) + kConnectBoundMs + 1000, qPrintable(QString::number(clock.elapsed())));
    QString expected;
    if (!portError.isEmpty())
        expected = u"error: COM port error %1\ninfo: COM7: %2\n"_s.arg(portError, target);
    expected += u"error: "_s + message + u'\n';
    QVERIFY2(r.err.contains(expected), qPrintable(r.err));
    QCOMPARE(int(r.err.count(u"COM port error"_s)), portError.isEmpty() ? 0 : 1);
}

void TestCliDevice::progressOffTerminal_data()
{
    QTest::addColumn<QStringList>("global");
    QTest::addColumn<int>("maxLines");
    QTest::newRow("auto") << QStringList() << 9;
    QTest::newRow("quiet") << QStringList{u"--quiet"_s} << 0;
    QTest::newRow("never") << QStringList{u"--progress"_s, u"never"_s} << 0;
}

// A cron job's mail stays short: a line when the phase changes, at most one every 10 s, and the
// last count; never one per record.
void TestCliDevice::progressOffTerminal()
{
    QFETCH(QStringList, global);
    QFETCH(int, maxLines);
    QTemporaryDir dir;
    Meter meter(dir.path(), {u"--hours"_s, u"200"_s, u"--archive-size"_s, u"200"_s});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    const Run r = cli(dir.path(), global + QStringList{u"read-archive"_s, u"12345"_s, u"--to-end"_s});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.err.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() <= maxLines, qPrintable(r.err));
    if (maxLines > 0)
        QVERIFY2(r.err.contains(u"Считано записей: 200"_s), qPrintable(r.err));
    QCOMPARE(archiveLines(dir.path()), 200);
}

void TestCliDevice::progressLineOnTerminal()
{
    if (QStandardPaths::findExecutable(u"script"_s).isEmpty())
        QSKIP("no script(1) to give the program a terminal");
    QTemporaryDir dir;
    Meter meter(dir.path(), {u"--hours"_s, u"20"_s, u"--archive-size"_s, u"20"_s});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    // script(1) gives the program a terminal on standard error and copies what it wrote.
    QProcess p;
    const QString command = u"'%1' -C '%2' read-archive 12345 --to-end"_s.arg(testsupport::binary(u"lorn2-cli"_s),
                                                                             dir.path());
    p.start(u"script"_s, {u"-qec"_s, command, u"/dev/null"_s});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    // One line redrawn in place, with the percentage, ended once.
    QVERIFY2(out.contains(u"\rСчитано записей: 20  100%"_s), qPrintable(out));
    QVERIFY(out.contains(u"\x1b[K"_s));
    QVERIFY(!out.contains(u"Считано записей: 1\n"_s) && !out.contains(u"Считано записей: 1\r\n"_s));
}

void TestCliDevice::interruptKeepsWhatCame()
{
    QTemporaryDir dir;
    Meter meter(dir.path(), {u"--hours"_s, u"200"_s, u"--archive-size"_s, u"200"_s, u"--prot"_s, u"11"_s,
                             u"--baud"_s, u"19200"_s});
    QVERIFY(meter.ready());
    QVERIFY(addAccount(dir.path()));
    QProcess p;
    p.start(testsupport::binary(u"lorn2-cli"_s), {u"-C"_s, dir.path(), u"read-archive"_s, u"12345"_s, u"--to-end"_s});
    QVERIFY(p.waitForStarted());
    QByteArray err;
    while (!err.contains("Считано записей: 3") && p.state() == QProcess::Running) {
        p.waitForReadyRead(1000);
        err += p.readAllStandardError();
    }
    QVERIFY2(p.state() == QProcess::Running && p.processId() > 0, err.constData());
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(30000));
    err += p.readAllStandardError();
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(err.contains("error: Остановлено\n"), err.constData());
    // Ctrl-C is "Остановить" and "Сохранить": the records read stay in the account's archive.
    const int kept = archiveLines(dir.path());
    QVERIFY2(kept >= 3 && kept < 200, qPrintable(QString::number(kept)));
}

QTEST_GUILESS_MAIN(TestCliDevice)
#include "TestCliDevice.moc"
