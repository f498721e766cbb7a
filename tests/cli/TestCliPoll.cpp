#include <csignal>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "TestSupport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

Run cli(const QString& folder, const QStringList& args, int timeoutMs = 120000)
{
    return testsupport::runProgram(u"lorn2-cli"_s, QStringList{u"-C"_s, folder} + args, QString(), timeoutMs);
}

// Simulated lines of a working folder: each a lorn2-metersim on a pseudo-terminal of its own,
// mapped to COM1, COM2, ...; each account on its line is one meter.
class Fleet
{
public:
    explicit Fleet(const QString& folder)
        : m_folder(folder)
    {
        testsupport::writeFile(QDir(folder).filePath(u"esc.ini"_s), QByteArray());
    }
    ~Fleet()
    {
        for (auto& p : m_lines) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
        }
    }

    // A line with one meter; returns its COM number, 0 when it did not start.
    int addLine(int serial, const QStringList& options = {}) { return addBus({{serial, 1, QString()}}, options); }

    // One meter of a bus: its serial number, network address and further meter-file lines.
    struct Meter
    {
        int serial = 0;
        int address = 1;
        QString file;
    };
    // A line with several meters, each told apart by its network address, and an account for
    // each; the options apply to the line (and to the first meter).
    int addBus(const QList<Meter>& meters, const QStringList& options = {})
    {
        const int port = int(m_lines.size()) + 1;
        const QString link = QDir(m_folder).filePath(u"line%1"_s.arg(port));
        QStringList args{u"--link"_s, link, u"--log"_s, logPath(port)};
        for (const Meter& m : meters) {
            const QString file = QDir(m_folder).filePath(u"meter%1.ini"_s.arg(m.serial));
            testsupport::writeFile(file, u"Serial = %1\nAddress = %2\n%3\n"_s.arg(m.serial)
                                             .arg(m.address, 2, 16, QChar(u'0'))
                                             .arg(m.file)
                                             .toUtf8());
            args << u"--meter"_s << file;
        }
        auto process = std::make_unique<QProcess>();
        process->start(testsupport::binary(u"lorn2-metersim"_s), args + options);
        if (!process->waitForStarted(5000) || testsupport::readLines(*process, 1).size() != 1)
            return 0;
        m_lines.push_back(std::move(process));
        if (cli(m_folder, {u"ports"_s, u"add"_s, u"COM%1"_s.arg(port), link}).exitCode != 0)
            return 0;
        for (const Meter& m : meters) {
            const Run added = cli(m_folder, {u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, QString::number(m.serial),
                                             u"--net-address"_s, u"%1"_s.arg(m.address, 2, 16, QChar(u'0')),
                                             u"--port"_s, QString::number(port), u"--timeout"_s, u"300"_s,
                                             u"--retries"_s, u"2"_s});
            if (added.exitCode != 0)
                return 0;
        }
        return port;
    }

    QString logPath(int port) const { return QDir(m_folder).filePath(u"line%1.log"_s.arg(port)); }
    QProcess& line(int port) { return *m_lines[std::size_t(port - 1)]; }

private:
    QString m_folder;
    std::vector<std::unique_ptr<QProcess>> m_lines;
};

QJsonArray pollJson(const QString& folder, const QStringList& options, int* exitCode = nullptr)
{
    const Run r = cli(folder, QStringList{u"--json"_s, u"poll"_s} + options);
    if (exitCode != nullptr)
        *exitCode = r.exitCode;
    return QJsonDocument::fromJson(r.out.toUtf8()).array();
}

QJsonObject bySerial(const QJsonArray& results, int serial)
{
    for (const QJsonValue& v : results) {
        if (v.toObject().value(u"serial"_s).toInt() == serial)
            return v.toObject();
    }
    return {};
}

QString archiveFile(const QString& folder, int serial)
{
    return QDir(folder).filePath(u"Devices/Karna1_%1/%1.tsa"_s.arg(serial, 5, 10, QChar(u'0')));
}

} // namespace

class TestCliPoll : public QObject
{
    Q_OBJECT

private slots:
    void pollReadsEveryNewRecordOnce();
    void failedAccountsEndWithTheirMessages();
    void secondPollIsRefused();
    void interruptKeepsWhatCame();
    void killedPollLeavesFilesWhole();
    void clockSetWhenOff_data();
    void clockSetWhenOff();
    void commandLineErrors_data();
    void commandLineErrors();
};

// Six meters on three lines, two on each told apart by their addresses: one poll reads what
// single reads read, the meters of a line one after the other; a second poll right after finds
// at most the hour that closed meanwhile.
void TestCliPoll::pollReadsEveryNewRecordOnce()
{
    QTemporaryDir dir;
    QTemporaryDir single;
    Fleet fleet(dir.path());
    Fleet reference(single.path());
    const QString archive = u"Hours = 30\nArchiveSize = 40"_s;
    const QList<QList<Fleet::Meter>> buses{{{1001, 1, archive}, {1002, 2, archive}},
                                           {{1003, 1, archive}, {1004, 2, archive}},
                                           {{1005, 1, archive}, {1006, 2, archive}}};
    for (const QList<Fleet::Meter>& bus : buses) {
        QVERIFY(fleet.addBus(bus) > 0);
        QVERIFY(reference.addBus(bus) > 0);
    }
    const QList<int> serials{1001, 1002, 1003, 1004, 1005, 1006};
    for (const int serial : serials) {
        const Run r = cli(single.path(), {u"read-archive"_s, QString::number(serial), u"--to-end"_s});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    }

    int exitCode = -1;
    const QJsonArray first = pollJson(dir.path(), {u"--all"_s}, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(first.size(), 6);
    for (const int serial : serials) {
        const QJsonObject r = bySerial(first, serial);
        QCOMPARE(r.value(u"result"_s).toString(), u"ok"_s);
        QCOMPARE(r.value(u"newRecords"_s).toInt(), 30);
        QCOMPARE(r.value(u"attempts"_s).toInt(), 1);
        QVERIFY(r.value(u"lineBytes"_s).toInteger() > 0);
        QCOMPARE(testsupport::readFile(archiveFile(dir.path(), serial)),
                 testsupport::readFile(archiveFile(single.path(), serial)));
    }
    // On each line one meter's exchanges end before the other's begin.
    static const QRegularExpression answering(u"# meter (\\d+) at"_s);
    for (int port = 1; port <= 3; ++port) {
        QStringList order;
        for (const QString& line : QString::fromUtf8(testsupport::readFile(fleet.logPath(port))).split(u'\n')) {
            const QRegularExpressionMatch m = answering.match(line);
            if (m.hasMatch() && !line.contains(u" on "_s) && (order.isEmpty() || order.last() != m.captured(1)))
                order << m.captured(1);
        }
        QCOMPARE(order.size(), 2);
    }

    const QJsonArray second = pollJson(dir.path(), {u"1001"_s, u"1004"_s, u"1005"_s}, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(second.size(), 3);
    for (const int serial : {1001, 1004, 1005}) {
        const QJsonObject r = bySerial(second, serial);
        QCOMPARE(r.value(u"result"_s).toString(), u"ok"_s);
        QVERIFY(r.value(u"newRecords"_s).toInt() <= 1);
        // Only the newest stored hour is asked for again, to find where the new ones end.
        QVERIFY2(r.value(u"lineBytes"_s).toInteger() < bySerial(first, serial).value(u"lineBytes"_s).toInteger() / 4,
                 qPrintable(QString::number(r.value(u"lineBytes"_s).toInteger())));
    }

    // The month's log has a header and a line per account and poll.
    const QStringList log = QString::fromUtf8(testsupport::readFile(dir.filePath(
                                                  u"Logs/poll-%1.csv"_s.arg(QDate::currentDate().toString(u"yyyy-MM"_s)))))
                                .split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(log.size(), 10);
    QVERIFY(log[0].startsWith(u"time;serial;type;result;"_s));
    QVERIFY2(log[1].contains(u";Karna1;ok;;30;"_s), qPrintable(log[1]));
}

// A silent meter and one that garbles a fifth of its replies fail after their tries, with the
// operation's message; the line beside them is not held up.
void TestCliPoll::failedAccountsEndWithTheirMessages()
{
    QTemporaryDir dir;
    Fleet fleet(dir.path());
    QVERIFY(fleet.addLine(2001, {u"--hours"_s, u"5"_s}) > 0);
    QVERIFY(fleet.addLine(2002, {u"--fault"_s, u"drop:1"_s}) > 0);
    QVERIFY(fleet.addLine(2003, {u"--hours"_s, u"200"_s, u"--archive-size"_s, u"300"_s, u"--fault"_s, u"garble:0.2"_s})
            > 0);
    int exitCode = -1;
    const QJsonArray results = pollJson(dir.path(), {u"--all"_s, u"--attempts"_s, u"3"_s}, &exitCode);
    QCOMPARE(exitCode, 1);
    QCOMPARE(bySerial(results, 2001).value(u"result"_s).toString(), u"ok"_s);
    QCOMPARE(bySerial(results, 2001).value(u"attempts"_s).toInt(), 1);
    const QJsonObject silent = bySerial(results, 2002);
    QCOMPARE(silent.value(u"result"_s).toString(), u"failed"_s);
    QCOMPARE(silent.value(u"attempts"_s).toInt(), 3);
    QCOMPARE(silent.value(u"message"_s).toString(), u"Устройство не отвечает"_s);
    const QJsonObject garbled = bySerial(results, 2003);
    QCOMPARE(garbled.value(u"result"_s).toString(), u"failed"_s);
    QCOMPARE(garbled.value(u"attempts"_s).toInt(), 3);
    QVERIFY2(!garbled.value(u"message"_s).toString().isEmpty(), qPrintable(garbled.value(u"message"_s).toString()));
}

void TestCliPoll::secondPollIsRefused()
{
    QTemporaryDir dir;
    Fleet fleet(dir.path());
    // A paced line keeps the first poll busy for a while.
    QVERIFY(fleet.addLine(3001, {u"--hours"_s, u"20"_s, u"--baud"_s, u"2400"_s}) > 0);
    QProcess first;
    first.start(testsupport::binary(u"lorn2-cli"_s), {u"-C"_s, dir.path(), u"--quiet"_s, u"poll"_s, u"--all"_s});
    QVERIFY(first.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(u"poll.lock"_s)), 5000);
    const Run second = cli(dir.path(), {u"poll"_s, u"--all"_s});
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.err.contains(u"error: Опрос уже выполняется (процесс %1)"_s.arg(first.processId())),
             qPrintable(second.err));
    ::kill(pid_t(first.processId()), SIGINT);
    QVERIFY(first.waitForFinished(20000));
}

// Ctrl-C ends every line's exchange; what came is stored and the poll says "stopped".
void TestCliPoll::interruptKeepsWhatCame()
{
    QTemporaryDir dir;
    Fleet fleet(dir.path());
    QVERIFY(fleet.addLine(4001, {u"--hours"_s, u"100"_s, u"--archive-size"_s, u"200"_s, u"--baud"_s, u"9600"_s})
            > 0);
    QVERIFY(fleet.addLine(4002, {u"--hours"_s, u"100"_s, u"--archive-size"_s, u"200"_s, u"--baud"_s, u"9600"_s})
            > 0);
    QProcess poll;
    poll.start(testsupport::binary(u"lorn2-cli"_s), {u"-C"_s, dir.path(), u"--json"_s, u"poll"_s, u"--all"_s});
    QVERIFY(poll.waitForStarted(5000));
    // Both lines have read some hourly records by then.
    QTRY_VERIFY_WITH_TIMEOUT(testsupport::readFile(fleet.logPath(1)).count("archive sub-command") > 40
                                 && testsupport::readFile(fleet.logPath(2)).count("archive sub-command") > 40,
                             30000);
    ::kill(pid_t(poll.processId()), SIGINT);
    QVERIFY(poll.waitForFinished(20000));
    QCOMPARE(poll.exitCode(), 1);
    const QJsonArray results = QJsonDocument::fromJson(poll.readAllStandardOutput()).array();
    for (int serial : {4001, 4002}) {
        const QJsonObject r = bySerial(results, serial);
        QCOMPARE(r.value(u"result"_s).toString(), u"stopped"_s);
        QVERIFY(r.value(u"newRecords"_s).toInt() > 0);
        QVERIFY(r.value(u"newRecords"_s).toInt() < 100);
        QVERIFY(QFile::exists(archiveFile(dir.path(), serial)));
    }
}

// A poll killed outright leaves each file as it was or as it became, never half written, and
// the next poll completes.
void TestCliPoll::killedPollLeavesFilesWhole()
{
    QTemporaryDir dir;
    Fleet fleet(dir.path());
    for (int serial : {5001, 5002})
        QVERIFY(fleet.addLine(serial, {u"--hours"_s, u"30"_s, u"--archive-size"_s, u"40"_s, u"--baud"_s, u"38400"_s})
                > 0);
    QProcess poll;
    poll.start(testsupport::binary(u"lorn2-cli"_s), {u"-C"_s, dir.path(), u"--quiet"_s, u"poll"_s, u"--all"_s});
    QVERIFY(poll.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(testsupport::readFile(fleet.logPath(1)).count("archive sub-command") > 10, 30000);
    // The meter is still sending a reply when the next poll opens its line.
    ::kill(pid_t(poll.processId()), SIGKILL);
    QVERIFY(poll.waitForFinished(5000));
    const Run listed = cli(dir.path(), {u"list"_s});
    QVERIFY2(listed.exitCode == 0 && !listed.err.contains(u"error:"_s), qPrintable(listed.err));
    QCOMPARE(int(listed.out.count(u'\n')), 3);
    for (int serial : {5001, 5002}) {
        if (!QFile::exists(archiveFile(dir.path(), serial)))
            continue;
        const Run shown = cli(dir.path(), {u"show-archive"_s, QString::number(serial)});
        QVERIFY2(shown.exitCode == 0 && !shown.err.contains(u"error:"_s), qPrintable(shown.err));
    }
    const Run again = cli(dir.path(), {u"--json"_s, u"poll"_s, u"--all"_s});
    QVERIFY2(again.exitCode == 0, qPrintable(again.err + again.out));
    const QJsonArray results = QJsonDocument::fromJson(again.out.toUtf8()).array();
    for (int serial : {5001, 5002})
        QCOMPARE(bySerial(results, serial).value(u"result"_s).toString(), u"ok"_s);
    const Run shown = cli(dir.path(), {u"show-archive"_s, u"5001"_s});
    QCOMPARE(int(shown.out.count(u'\n')) - 1, 30);
}

void TestCliPoll::clockSetWhenOff_data()
{
    QTest::addColumn<int>("offsetHours");
    QTest::addColumn<bool>("set");
    QTest::newRow("right") << 0 << false;
    QTest::newRow("three hours behind") << -3 << true;
    QTest::newRow("two hours ahead") << 2 << true;
}

// --clock-drift: the meter's newest record shows how far its clock is off.
void TestCliPoll::clockSetWhenOff()
{
    QFETCH(int, offsetHours);
    QFETCH(bool, set);
    QTemporaryDir dir;
    Fleet fleet(dir.path());
    const QDateTime clock = QDateTime::currentDateTime().addSecs(3600 * offsetHours);
    const QString file = u"Clock = %1"_s.arg(clock.toString(u"yyyy-MM-dd HH:mm:ss"_s));
    QVERIFY(fleet.addBus({{7001, 1, u"Hours = 5\n"_s + file}}) > 0);
    int exitCode = -1;
    const QJsonArray results = pollJson(dir.path(), {u"--all"_s, u"--clock-drift"_s, u"600"_s}, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(bySerial(results, 7001).value(u"result"_s).toString(), u"ok"_s);
    QCOMPARE(testsupport::readFile(fleet.logPath(1)).contains("clock set to"), set);
}

void TestCliPoll::commandLineErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing named") << QStringList{u"poll"_s} << u"name the accounts or give --all"_s;
    QTest::newRow("both") << QStringList{u"poll"_s, u"--all"_s, u"1"_s} << u"--all and serial numbers exclude"_s;
    QTest::newRow("config") << QStringList{u"poll"_s, u"--all"_s, u"--config"_s, u"sometimes"_s}
                            << u"--config: auto, always or never expected"_s;
    QTest::newRow("jobs") << QStringList{u"poll"_s, u"--all"_s, u"--jobs"_s, u"0"_s} << u"--jobs: a number from 1"_s;
    QTest::newRow("since") << QStringList{u"poll"_s, u"--all"_s, u"--since"_s, u"yesterday"_s}
                           << u"--since: a date YYYY-MM-DD expected"_s;
}

void TestCliPoll::commandLineErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const Run r = cli(dir.path(), args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCliPoll)
#include "TestCliPoll.moc"
