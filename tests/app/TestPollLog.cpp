#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "app/Poller.h"

using namespace Qt::Literals::StringLiterals;

namespace {

PollResult result(int serial, PollResult::State state, const QString& message, int newRecords = 0)
{
    PollResult r;
    r.serial = serial;
    r.typeName = u"Karna1"_s;
    r.state = state;
    r.message = message;
    r.newRecords = newRecords;
    r.attempts = 2;
    r.seconds = 1.5;
    r.lineBytes = 1234;
    r.lastRecord = QDateTime(QDate(2026, 12, 8), QTime(2, 0));
    return r;
}

} // namespace

class TestPollLog : public QObject
{
    Q_OBJECT

private slots:
    void writtenLinesReadBack_data();
    void writtenLinesReadBack();
    void latestTakesTheLastLineOfTheNewestMonth();
};

void TestPollLog::writtenLinesReadBack_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("none") << QString();
    QTest::newRow("plain") << u"Устройство не отвечает"_s;
    // A port error and the operation's message, as a failed account's text holds them.
    QTest::newRow("two lines") << u"COM port error 110: Connection timed out\nОшибка открытия COM-порта"_s;
    QTest::newRow("separator and quotes") << u"a;b \"c\" ;"_s;
}

// The log is read back by the desktop program: quoting must carry every message unchanged.
void TestPollLog::writtenLinesReadBack()
{
    QFETCH(QString, message);
    const std::vector<PollResult> written{result(1, PollResult::State::Failed, message),
                                          result(2, PollResult::State::Ok, QString(), 24)};
    const QByteArray text = polllog::format(written, QDateTime(QDate(2026, 12, 8), QTime(2, 30)), true);
    const std::vector<PollResult> read = polllog::parse(text);
    QCOMPARE(read.size(), std::size_t(2));
    QCOMPARE(read[0].message, message);
    QCOMPARE(read[0].state, PollResult::State::Failed);
    QCOMPARE(read[1].state, PollResult::State::Ok);
    QCOMPARE(read[1].newRecords, 24);
    QCOMPARE(read[1].lastRecord, QDateTime(QDate(2026, 12, 8), QTime(2, 0)));
    QCOMPARE(read[1].lineBytes, 1234);
}

void TestPollLog::latestTakesTheLastLineOfTheNewestMonth()
{
    QTemporaryDir dir;
    const QDate today(2026, 12, 8);
    QVERIFY(polllog::append(dir.path(), {result(1, PollResult::State::Ok, QString()), result(2, PollResult::State::Ok, QString())},
                            QDateTime(QDate(2026, 11, 30), QTime(2, 30))));
    QVERIFY(polllog::append(dir.path(), {result(1, PollResult::State::Failed, u"Устройство не отвечает"_s)},
                            QDateTime(QDate(2026, 12, 1), QTime(2, 30))));
    QVERIFY(polllog::append(dir.path(), {result(1, PollResult::State::Stopped, QString())},
                            QDateTime(QDate(2026, 12, 2), QTime(2, 30))));
    const auto latest = polllog::latest(dir.path(), today);
    QCOMPARE(latest.size(), std::size_t(2));
    QCOMPARE(latest.at({u"Karna1"_s, 1}).state, PollResult::State::Stopped);
    QCOMPARE(latest.at({u"Karna1"_s, 2}).state, PollResult::State::Ok);
    // The header is written once a file.
    QCOMPARE(testsupport::readFile(dir.filePath(u"Logs/poll-2026-12.csv"_s)).count("time;serial"), 1);
}

QTEST_GUILESS_MAIN(TestPollLog)
#include "TestPollLog.moc"
