#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "TestSupport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

Run cli(const QString& folder, const QStringList& args)
{
    return testsupport::runProgram(u"lorn2-cli"_s, QStringList{ u"-C"_s, folder } + args, QString(), 60000);
}

// The big-endian width and height of a PNG's header chunk.
QSize pngSize(const QByteArray& png)
{
    if (!png.startsWith("\x89PNG\r\n\x1a\n") || png.size() < 24)
        return {};
    const auto be32 = [&](int at) {
        return int(quint8(png[at]) << 24 | quint8(png[at + 1]) << 16 | quint8(png[at + 2]) << 8 | quint8(png[at + 3]));
    };
    return QSize(be32(16), be32(20));
}

} // namespace

// The demo's account 01234 holds November 2026 with three hours missing on the 20th and four
// hours with a t1 code on the 21st.
class TestCliChart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void chartFiles_data();
    void chartFiles();
    void chartToStandardOutput();
    void chartRefusals_data();
    void chartRefusals();
    void qualityTextAndJsonAgree();
    void qualityOfEveryAccount();

private:
    QTemporaryDir m_dir;
};

void TestCliChart::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LORN2_DEMO"_s, m_dir.path());
    env.insert(u"LORN2_DEMO_PREPARE_ONLY"_s, u"1"_s);
    demo.setProcessEnvironment(env);
    demo.start(u"sh"_s, { QStringLiteral(LORN2_TEST_DATA_DIR) + u"/../../scripts/demo"_s });
    QVERIFY(demo.waitForFinished(60000));
    QVERIFY2(demo.exitCode() == 0, demo.readAllStandardError().constData());
}

void TestCliChart::chartFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("options");

    QTest::newRow("png, a month of hours") << u"month.png"_s << QStringList{ u"--from"_s, u"2026-11-01"_s, u"--to"_s, u"2026-11-30"_s };
    QTest::newRow("svg, a night with the gap") << u"night.svg"_s
                                              << QStringList{ u"--from"_s, u"2026-11-20"_s, u"--to"_s, u"2026-11-20"_s,
                                                              u"--series"_s, u"t1,t2,dt,p1"_s };
    QTest::newRow("pdf, daily masses") << u"days.pdf"_s << QStringList{ u"--daily"_s, u"--series"_s, u"M1,M2,Q"_s };
}

void TestCliChart::chartFiles()
{
    QFETCH(QString, file);
    QFETCH(QStringList, options);

    const QString path = m_dir.filePath(file);
    const Run r = cli(m_dir.path(), QStringList{ u"chart"_s, u"1234"_s } + options + QStringList{ u"-o"_s, path });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QByteArray bytes = testsupport::readFile(path);
    if (file.endsWith(u".png"_s)) {
        QCOMPARE(pngSize(bytes), QSize(2400, 1400)); // twice the default 1200x700
    } else if (file.endsWith(u".svg"_s)) {
        QXmlStreamReader xml(bytes);
        int paths = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"path"_s)
                ++paths;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(paths > 3);
    } else {
        QVERIFY(bytes.startsWith("%PDF-"));
        QProcess render;
        render.start(u"pdftoppm"_s, { u"-png"_s, u"-r"_s, u"20"_s, u"-singlefile"_s, path, m_dir.filePath(u"page"_s) });
        QVERIFY(render.waitForFinished(30000));
        QCOMPARE(render.exitCode(), 0);
        QVERIFY(pngSize(testsupport::readFile(m_dir.filePath(u"page.png"_s))).width() > 100);
    }
}

void TestCliChart::chartToStandardOutput()
{
    QProcess p;
    p.start(testsupport::binary(u"lorn2-cli"_s),
            { u"-C"_s, m_dir.path(), u"chart"_s, u"1234"_s, u"--size"_s, u"640x400"_s, u"-o"_s, u"-"_s });
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(pngSize(p.readAllStandardOutput()), QSize(1280, 800));
}

void TestCliChart::chartRefusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown series") << QStringList{ u"1234"_s, u"--series"_s, u"Q,t9"_s, u"-o"_s, u"x.png"_s } << 2
                                    << u"unknown series \"t9\""_s;
    QTest::newRow("no file") << QStringList{ u"1234"_s } << 2 << u"-o FILE"_s;
    QTest::newRow("unknown picture kind") << QStringList{ u"1234"_s, u"-o"_s, u"x.gif"_s } << 2 << u".png, .svg or .pdf"_s;
    QTest::newRow("period turned round") << QStringList{ u"1234"_s, u"--from"_s, u"2026-11-20"_s, u"--to"_s,
                                                         u"2026-11-01"_s, u"-o"_s, u"x.png"_s }
                                         << 2 << u"is after"_s;
    QTest::newRow("a contour the meter lacks") << QStringList{ u"1234"_s, u"--contour"_s, u"3"_s, u"-o"_s, u"x.png"_s }
                                               << 1 << u"нет контура 3"_s;
    QTest::newRow("a period without records") << QStringList{ u"1234"_s, u"--from"_s, u"2020-01-01"_s, u"--to"_s,
                                                              u"2020-01-31"_s, u"-o"_s, u"x.png"_s }
                                              << 1 << u"Нет архивных данных"_s;
    QTest::newRow("no such account") << QStringList{ u"9999"_s, u"-o"_s, u"x.png"_s } << 1 << QString();
}

void TestCliChart::chartRefusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const Run r = cli(m_dir.path(), QStringList{ u"chart"_s } + args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(!QFile::exists(m_dir.filePath(u"x.png"_s)));
}

void TestCliChart::qualityTextAndJsonAgree()
{
    const QStringList period{ u"--from"_s, u"2026-11-20"_s, u"--to"_s, u"2026-11-21"_s };
    const Run text = cli(m_dir.path(), QStringList{ u"quality"_s, u"1234"_s } + period);
    QCOMPARE(text.exitCode, 0); // problems found are no failure
    const QStringList lines = text.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(u"Нет записей: с 20.11.2026 03:00 по 20.11.2026 05:00 (3 ч)"_s), qPrintable(text.out));
    QVERIFY2(lines.contains(u"Контур 1, коды ошибок с 21.11.2026 01:00 по 21.11.2026 04:00 (4 ч): t1: 1 - (t < min)"_s),
             qPrintable(text.out));

    const Run json = cli(m_dir.path(), QStringList{ u"quality"_s, u"1234"_s, u"--json"_s } + period);
    QCOMPARE(json.exitCode, 0);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(doc.array().size(), 1);
    const QJsonObject o = doc.array().at(0).toObject();
    QCOMPARE(o.value(u"serial"_s).toInt(), 1234);
    QCOMPARE(o.value(u"from"_s).toString(), u"2026-11-20T01:00:00"_s);
    QCOMPARE(o.value(u"to"_s).toString(), u"2026-11-22T00:00:00"_s);
    QCOMPARE(o.value(u"expectedHours"_s).toInt(), 48);
    QCOMPARE(o.value(u"missingHours"_s).toInt(), 3);
    QCOMPARE(o.value(u"presentHours"_s).toInt(), 45);
    QCOMPARE(o.value(u"gaps"_s).toArray(),
             (QJsonArray{ QJsonArray{ u"2026-11-20T03:00:00"_s, u"2026-11-20T05:00:00"_s } }));
    QCOMPARE(o.value(u"errorHours"_s).toArray(), QJsonArray{ 4 });
    for (const QString& key : { u"tminMinutes"_s, u"tmaxMinutes"_s, u"tdtMinutes"_s })
        QCOMPARE(o.value(key).toArray().size(), 1);
    QCOMPARE(o.value(u"backwards"_s).toInt(), 0);
    QCOMPARE(o.value(u"duplicates"_s).toInt(), 0);
    QCOMPARE(o.value(u"clockJumps"_s).toInt(), 0);
    // The text is the account's line, the summary, then the findings the JSON lists.
    QStringList findings;
    for (const QJsonValue& v : o.value(u"findings"_s).toArray())
        findings << v.toString();
    QCOMPARE(findings, lines.mid(2));
    QVERIFY(lines.at(1).contains(u"ожидалось 48 ч, есть 45 ч, нет 3 ч"_s));
}

void TestCliChart::qualityOfEveryAccount()
{
    const Run r = cli(m_dir.path(), { u"quality"_s, u"--all"_s, u"--json"_s });
    QCOMPARE(r.exitCode, 0);
    const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(all.size(), 4); // the demo's four accounts, three of them still without records
    const Run refused = cli(m_dir.path(), { u"quality"_s, u"--all"_s, u"1234"_s });
    QCOMPARE(refused.exitCode, 2);
}

QTEST_GUILESS_MAIN(TestCliChart)
#include "TestCliChart.moc"
