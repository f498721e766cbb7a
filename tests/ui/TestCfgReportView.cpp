#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPdfWriter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/Commands.h"
#include "base/CodePage.h"
#include "base/Crc16.h"
#include "storage/ArchiveDatabase.h"
#include "ui/CCfgReportView.h"
#include "ui/CLorn2View.h"
#include "ui/FileDialog.h"
#include "ui/LogFontConversion.h"

using namespace Qt::Literals::StringLiterals;

using uitest::FrameFixture;

namespace {

const QByteArray kMap = "meta ( name = \"AdjByteOrder\", a = \"uint\" );\n"
                        "var Serial { name = \"Serial number\"; type = uint; addr = 0; }\n"
                        "section Common { var Owner { type = string; length = 8; addr = 4; } }\n";

QByteArray configBytes(std::uint32_t serial, const QByteArray& owner)
{
    QByteArray b(1024, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(serial >> (24 - 8 * i));
    b.replace(4, owner.size(), owner);
    return b;
}

CfgArcRecord snapshot(std::uint32_t serial, const QByteArray& owner, const QByteArray& stampHex)
{
    CfgArcRecord r;
    const QByteArray config = configBytes(serial, owner);
    std::memcpy(r.bytes.data(), config.constData(), r.bytes.size());
    const QByteArray stamp = QByteArray::fromHex(stampHex);
    std::memcpy(r.bytes.data() + CfgArcRecord::kSecond, stamp.constData(), std::size_t(stamp.size()));
    std::array<std::uint8_t, CfgArcRecord::kSize> summed = r.bytes;
    for (std::size_t i : {122, 572, 842, 843, 844, 845, 846})
        summed[i] = 0;
    const std::uint16_t crc = crc::modbus(summed.data(), CfgArcRecord::kSize - 2);
    r.bytes[1022] = std::uint8_t(crc & 0xFF);
    r.bytes[1023] = std::uint8_t(crc >> 8);
    return r;
}

// One account with a map, a configuration and, unless told otherwise, two stored snapshots.
struct ConfigFixture : FrameFixture
{
    explicit ConfigFixture(const QByteArray& map = kMap, bool withSnapshots = true)
        : FrameFixture({{1234, 1, u"Школа"_s}})
    {
        CDevData& acc = document.accounts().front();
        testsupport::writeFile(acc.m_folder + u"/meter.map"_s, map);
        acc.m_mapFile = u"meter.map"_s;
        acc.m_mapLoaded = acc.m_map.LoadFile(acc.mapPath());
        acc.m_config = configBytes(1234, "now");
        db.open(dir.filePath(u"lorn2.sqlite"_s));
        db.ensureTables();
        if (withSnapshots) {
            db.storeCfgArcRecord(1, 1234, snapshot(99, "later", "1e140a050315"));
            db.storeCfgArcRecord(1, 1234, snapshot(98, "early", "000000010114"));
        }
        document.setDatabase(&db);
    }

    // Shows the report the way the menu does: the device-list row selected, then "Показать".
    CCfgReportView* show()
    {
        frame->resize(900, 600);
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get()))
            return nullptr;
        frame->deviceList()->selectRow(0);
        frame->runCommand(cmd::ShowConfig);
        return qobject_cast<CCfgReportView*>(frame->view() != nullptr ? frame->view()->widget() : nullptr);
    }

    ArchiveDatabase db;
};

QStringList listTexts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QByteArray headerOf(const QByteArray& text)
{
    return text.left(text.indexOf("\r\n"));
}

} // namespace

class TestCfgReportView : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void showsCurrentConfiguration();
    void snapshotSelection();
    void savingWritesTheCurrentConfiguration();
    void failedReportShowsEmptyText();
    void pageAreasJumpToTheEnds_data();
    void pageAreasJumpToTheEnds();
    void paintsFromTheFirstVisibleLine();
    void printCommands();
    void printsPagesWithTheFooter();
    void monospaceCellsAreItsAdvance();
};

void TestCfgReportView::showsCurrentConfiguration()
{
    ConfigFixture f;
    testsupport::MessageRecorder messages;
    CCfgReportView* view = f.show();
    QVERIFY(view);
    QCOMPARE(messages->texts(), QStringList());
    QCOMPARE(listTexts(view->archiveList()),
             QStringList({u"Текущая"_s, u"01-01-2020 00:00:00"_s, u"05-03-2021 10:20:30"_s}));
    QCOMPARE(view->archiveList()->currentRow(), 0);
    QCOMPARE(view->typeLabel()->text(), u"Карна-1"_s);
    QCOMPARE(view->serialLabel()->text(), u"01234"_s);
    QCOMPARE(f.frame->documentTitle(), u"Configuration. Heatcounter: Карна-1 Serial #: 01234"_s);
    const QByteArray expected = codepage::toOem(u"Current configuration. Heatcounter: Карна-1 Serial #: 01234"_s)
        + "\r\n\r\nSerial number: 1234\r\n\r\nCommon:\r\nOwner: now\r\n";
    QCOMPARE(view->textArea()->text(), expected);
    QCOMPARE(f.document.accounts().front().m_cfgReportLines, 7);
}

void TestCfgReportView::snapshotSelection()
{
    ConfigFixture f;
    testsupport::MessageRecorder messages;
    CCfgReportView* view = f.show();
    QVERIFY(view);
    view->archiveList()->setCurrentRow(2);
    QByteArray text = view->textArea()->text();
    QCOMPARE(headerOf(text), codepage::toOem(u"Configuration from archive. Heatcounter: Карна-1 Serial #: 01234"
                                             " (05-03-2021 10:20:30)"_s));
    QVERIFY(text.endsWith("Serial number: 99\r\n\r\nCommon:\r\nOwner: later\r\n"));
    view->archiveList()->setCurrentRow(1);
    QVERIFY(view->textArea()->text().endsWith("Owner: early\r\n"));
    view->archiveList()->setCurrentRow(0);
    QVERIFY(headerOf(view->textArea()->text()).startsWith("Current configuration."));
    QVERIFY(view->textArea()->text().endsWith("Owner: now\r\n"));
    QCOMPARE(messages->texts(), QStringList());
}

void TestCfgReportView::savingWritesTheCurrentConfiguration()
{
    ConfigFixture f;
    testsupport::MessageRecorder messages;
    CCfgReportView* view = f.show();
    QVERIFY(view);
    view->archiveList()->setCurrentRow(2);
    const QByteArray shown = view->textArea()->text();
    const QString path = f.dir.filePath(u"saved.cfg"_s);
    FileDialog::setNextFileName(path);
    QVERIFY(f.frame->isCommandEnabled(cmd::SaveConfig));
    QTest::mouseClick(view->saveButton(), Qt::LeftButton);
    QCOMPARE(messages->texts(), QStringList());
    const QByteArray file = testsupport::readFile(path);
    QVERIFY2(file.endsWith("\r\n\r\n_!ROOT!_.Common.Owner=now\r\n_!ROOT!_.Serial=1234\r\n"), file.constData());
    // The view still shows the snapshot it showed.
    QCOMPARE(view->textArea()->text(), shown);
}

void TestCfgReportView::failedReportShowsEmptyText()
{
    ConfigFixture f("var a { type = uint; addr = 0; } var b { type = uchar; addr = 2; }", false);
    testsupport::MessageRecorder messages;
    messages->setNextAnswer(MbAnswer::No);
    CCfgReportView* view = f.show();
    QVERIFY(view);
    QCOMPARE(messages->texts(), QStringList{u"Intersection error!"_s});
    QCOMPARE(view->textArea()->text(), QByteArray());
    QCOMPARE(listTexts(view->archiveList()), QStringList{u"Текущая"_s});
    // Without snapshots a selection changes nothing.
    view->archiveList()->setCurrentRow(0);
    QCOMPARE(messages->texts().size(), 1);
}

void TestCfgReportView::pageAreasJumpToTheEnds_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::newRow("vertical") << true;
    QTest::newRow("horizontal") << false;
}

void TestCfgReportView::pageAreasJumpToTheEnds()
{
    QFETCH(bool, vertical);
    QByteArray map;
    for (int i = 0; i < 200; ++i)
        map += "var V" + QByteArray::number(i) + " { name = \"" + QByteArray(150, 'n') + "\"; type = uchar; addr = "
            + QByteArray::number(i) + "; }\n";
    ConfigFixture f(map, false);
    testsupport::MessageRecorder messages;
    CCfgReportView* view = f.show();
    QVERIFY(view);
    QScrollBar* bar = vertical ? view->verticalBar() : view->horizontalBar();
    QVERIFY(bar->maximum() > 2);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(bar->value(), 1);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(bar->value(), bar->maximum());
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(bar->value(), bar->maximum());
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(bar->value(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(bar->value(), 0);
}

void TestCfgReportView::paintsFromTheFirstVisibleLine()
{
    QByteArray map;
    for (int i = 0; i < 500; ++i)
        map += "var V" + QByteArray::number(i) + " { type = uchar; addr = " + QByteArray::number(i) + "; }\n";
    ConfigFixture f(map, false);
    testsupport::MessageRecorder messages;
    CCfgReportView* view = f.show();
    QVERIFY(view);
    view->verticalBar()->setValue(300);
    view->textArea()->grab();
    QCOMPARE(view->textArea()->firstPaintedLine(), 300);
    QVERIFY(view->textArea()->lastPaintedLine() - 300 <= view->textArea()->visibleLines());
    uitest::keepScreenshot(f.frame->grab().toImage(), u"cfgreport-scrolled.png"_s);
}

void TestCfgReportView::printCommands()
{
    ConfigFixture f;
    testsupport::MessageRecorder messages;
    f.frame->resize(900, 600);
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    // Only the configuration report view prints the configuration.
    QVERIFY(!f.frame->isCommandEnabled(cmd::PrintConfig));
    QVERIFY(!f.frame->isCommandEnabled(cmd::PreviewConfig));
    QVERIFY(!f.document.OnPrintConfig(false));
    QCOMPARE(messages->texts(),
             QStringList{u"Отчёт не создан или не загружен.\nСоздайте или загрузите отчёт."_s});
    f.frame->deviceList()->selectRow(0);
    f.frame->runCommand(cmd::ShowConfig);
    QCOMPARE(f.frame->activeView(), ViewKind::ConfigReport);
    QVERIFY(f.frame->isCommandEnabled(cmd::PrintConfig));
    QVERIFY(f.frame->isCommandEnabled(cmd::PreviewConfig));
    QVERIFY(f.frame->isCommandEnabled(cmd::SaveConfig));
    QVERIFY(!f.frame->isCommandEnabled(cmd::ShowConfig));
}

void TestCfgReportView::printsPagesWithTheFooter()
{
    QByteArray map;
    for (int i = 0; i < 300; ++i)
        map += "var V" + QByteArray::number(i) + " { type = uchar; addr = " + QByteArray::number(i) + "; }\n";
    ConfigFixture f(map, false);
    testsupport::MessageRecorder messages;
    CCfgReportView* view = f.show();
    QVERIFY(view);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    writer.setResolution(96);
    const paint::PrintOptions options = view->printOptions();
    QCOMPARE(options.pageFooter, u"Страница %d"_s);
    const QByteArray& text = view->textArea()->text();
    const paint::PrintLayout layout = paint::layoutForPrint(
        text, paint::measure(text, f.document.m_tabSize), ui::fontFromLogFont(f.document.m_printFont), writer, options);
    QVERIFY(layout.pages.size() >= 2);
    QCOMPARE(view->printTo(writer), int(layout.pages.size()));
    uitest::keepOutputFile(pdf.data(), u"cfgreport.pdf"_s);

    // "Сохранить в PDF..." draws the same pages into a file.
    const QString file = f.dir.filePath(u"cfg.pdf"_s);
    FileDialog::setNextFileName(file);
    QTest::mouseClick(view->pdfButton(), Qt::LeftButton);
    QVERIFY(testsupport::readFile(file).startsWith("%PDF"));
    QVERIFY(messages->texts().isEmpty());
}

void TestCfgReportView::monospaceCellsAreItsAdvance()
{
    // The widest character of the code page, not the font file's maximum, which some monospace
    // fonts give as three advances.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    CCfgReportText text;
    text.setTextFont(font);
    QCOMPARE(text.cells().width, metrics.horizontalAdvance(u'W'));
    QCOMPARE(text.cells().width, metrics.horizontalAdvance(QChar(u'\u0416')));
}

int runCfgReportViewTests(int argc, char** argv)
{
    TestCfgReportView tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestCfgReportView.moc"
