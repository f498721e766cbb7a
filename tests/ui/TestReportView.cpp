#include <QBuffer>
#include <QDir>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/Commands.h"
#include "ui/CLorn2View.h"
#include "ui/CReportSettingsDlg.h"
#include "ui/CReportStatic.h"
#include "ui/CReportView.h"
#include "ui/CSelectArcDateDlg.h"
#include "ui/FileDialog.h"
#include "ui/ReportPrinting.h"

using namespace Qt::Literals::StringLiterals;

using uitest::FrameFixture;

Q_DECLARE_METATYPE(MbAnswer)

namespace {

const QString kNotSaved = u"Отчёт не сохранён. Сохранить?"_s;

// A frame whose only account holds `text` as its report, made as the report command would.
struct ReportFixture : FrameFixture
{
    explicit ReportFixture(const QByteArray& text, bool built = true)
        : FrameFixture({ { 1234, 1, u"Школа"_s } })
    {
        CDevData& acc = document.accounts().front();
        acc.m_escTable.loadFromBytes("Bold.On=<ESC>E\r\nBold.Off=<ESC>F\r\n");
        acc.m_reportText.setData(text);
        if (built) {
            acc.m_report.kind = archive::ReportKind::Daily;
            acc.m_report.contour = 1;
            acc.m_report.start = QDateTime(QDate(2015, 1, 5), QTime(0, 0));
            acc.m_report.end = QDateTime(QDate(2015, 1, 8), QTime(0, 0));
        }
        document.m_currentAccount = 0;
    }

    CReportView* show()
    {
        frame->resize(900, 600);
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get()))
            return nullptr;
        frame->switchView(ViewKind::Report, 0);
        return qobject_cast<CReportView*>(frame->view() != nullptr ? frame->view()->widget() : nullptr);
    }
};

QByteArray numberedLines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "line " + QByteArray::number(i) + "\r\n";
    return text;
}

// The drawing area alone, as it paints `text`.
QImage drawn(const QByteArray& text, const PrinterControlTable* controls, int tabSize = 8)
{
    CReportStatic area;
    area.resize(400, 120);
    area.setTextFont(QFont(u"Monospace"_s, 12));
    area.setText(text, controls, tabSize);
    area.show();
    return area.viewport()->grab().toImage();
}

ReportSettingsRequest settingsRequest()
{
    ReportSettingsRequest r;
    r.serial = 1234;
    r.typeName = u"Карна-1"_s;
    r.netAddress = 0x1A;
    r.numSys = 2;
    r.earliest = QDateTime(QDate(2015, 1, 5), QTime(1, 0));
    r.latest = QDateTime(QDate(2015, 1, 20), QTime(0, 0));
    r.first = QDate(2015, 1, 5);
    r.last = QDate(2015, 1, 20);
    return r;
}

} // namespace

class TestReportView : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void formShowsAccountAndReport();
    void loadedReportHasNoPeriod();
    void drawsEveryColumnAtAnyScale();
    void paintsOnlyVisibleLines();
    void drawsTheSame_data();
    void drawsTheSame();
    void boxByteDrawsALine();
    void settingsDialog_data();
    void settingsDialog();
    void settingsDialogRangeAndContour();
    void settingsDialogWithoutContour();
    void dateRangeDialog();
    void backButtonAsksForUnsavedReport_data();
    void backButtonAsksForUnsavedReport();
    void closingAsksForUnsavedReport();
    void buttonsReachTheDocument();
    void savesPdfWithoutPrintDialog();
    void printsToPdf();
    void arbitraryBytesShowAndPrint();
    void createFromTheArchive_data();
    void createFromTheArchive();
    void screenshot();
};

void TestReportView::formShowsAccountAndReport()
{
    ReportFixture f("\x1b"
                    "E  Title\r\n\tcell\r\n");
    CReportView* view = f.show();
    QVERIFY(view != nullptr);
    QCOMPARE(view->serialLabel()->text(), u"01234"_s);
    QCOMPARE(view->typeLabel()->text(), u"Карна-1"_s);
    QCOMPARE(view->kindLabel()->text(), u"Посуточный отчёт"_s);
    QCOMPARE(view->contourLabel()->text(), u"Контур: 2"_s);
    // A daily report's days run up to its stored end, as its header says.
    QCOMPARE(view->fromLabel()->text(), QLocale::system().toString(QDate(2015, 1, 5), QLocale::ShortFormat));
    QCOMPARE(view->toLabel()->text(), QLocale::system().toString(QDate(2015, 1, 8), QLocale::ShortFormat));
    QCOMPARE(f.frame->documentTitle(), u"Отчёт. ТС: Карна-1 Серийный №: 01234"_s);
    QCOMPARE(view->drawing()->layout().lineCount(), 3);
    QCOMPARE(view->drawing()->layout().longestLine, 12);
    for (const QString& caption : { u"К списку ТС"_s, u"Создать из архива..."_s, u"Сохранить в файл..."_s,
                                    u"Загрузить из файла..."_s, u"Печать..."_s })
        QVERIFY2(uitest::buttonByText(*view, caption) != nullptr, qPrintable(caption));
}

void TestReportView::loadedReportHasNoPeriod()
{
    ReportFixture f("text", false);
    CReportView* view = f.show();
    QVERIFY(view != nullptr);
    QCOMPARE(view->kindLabel()->text(), QString());
    QCOMPARE(view->fromLabel()->text(), QString());
    QCOMPARE(view->contourLabel()->text(), QString());
}

// Every column is drawn, the last one too after scrolling right; ctest also runs this with
// QT_SCALE_FACTOR=2, where half of them were cut.
void TestReportView::drawsEveryColumnAtAnyScale()
{
    QByteArray line;
    for (int c = 0; c < 30; ++c)
        line += "\xb3" + QByteArray::number(c).rightJustified(6, ' ');
    ReportFixture f(line + "\xb3\r\n");
    CReportView* view = f.show();
    QVERIFY(view != nullptr);
    CReportStatic* area = view->drawing();
    for (const bool scrolled : {false, true}) {
        if (scrolled)
            area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
        const QImage image = area->viewport()->grab().toImage();
        // Ink in the right-most tenth of the viewport: the drawing reaches the edge.
        int ink = 0;
        for (int y = 0; y < image.height() / 4; ++y) {
            for (int x = image.width() * 9 / 10; x < image.width(); ++x)
                ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        }
        QVERIFY2(ink > 0, scrolled ? "scrolled to the end" : "at the start");
    }
}

void TestReportView::paintsOnlyVisibleLines()
{
    ReportFixture f(numberedLines(20000));
    CReportView* view = f.show();
    QVERIFY(view != nullptr);
    CReportStatic* area = view->drawing();
    area->viewport()->repaint();
    const int visible = area->viewport()->height() / area->cells().height;
    QCOMPARE(area->firstPaintedLine(), 0);
    QVERIFY(area->lastPaintedLine() <= visible);
    // 20000 lines and the empty one after the last line end.
    QCOMPARE(area->verticalScrollBar()->maximum(), 20001 - visible);
    area->verticalScrollBar()->setValue(12000);
    area->viewport()->repaint();
    QCOMPARE(area->firstPaintedLine(), 12000);
    QVERIFY(area->lastPaintedLine() - area->firstPaintedLine() <= visible);
}

void TestReportView::drawsTheSame_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("same");
    QTest::addColumn<int>("tabSize");
    QTest::newRow("known control codes are not drawn") << QByteArray("\x1b"
                                                                     "EAB\x1b"
                                                                     "F")
                                                       << QByteArray("AB") << 8;
    QTest::newRow("tab to the tab size") << QByteArray("\tX") << QByteArray("        X") << 8;
    QTest::newRow("tab after text") << QByteArray("ab\tX") << QByteArray("ab  X") << 4;
    QTest::newRow("CR LF, LF CR and lone ends") << QByteArray("a\r\nb\n\rc\rd\ne") << QByteArray("a\nb\nc\nd\ne") << 8;
}

void TestReportView::drawsTheSame()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, same);
    QFETCH(int, tabSize);
    PrinterControlTable controls;
    controls.loadFromBytes("Bold.On=<ESC>E\r\nBold.Off=<ESC>F\r\n");
    QCOMPARE(drawn(text, &controls, tabSize), drawn(same, &controls, tabSize));
    // Without the table the escape bytes are drawn, so the test above did see a difference.
    if (text.contains('\x1b'))
        QVERIFY(drawn(text, nullptr) != drawn(same, nullptr));
}

void TestReportView::boxByteDrawsALine()
{
    CReportStatic area;
    area.resize(400, 120);
    area.setTextFont(QFont(u"Monospace"_s, 12));
    area.setText(QByteArray(10, '\xc4'), nullptr, 8);
    area.show();
    const QImage image = area.viewport()->grab().toImage();
    const paint::Cells cells = area.cells();
    // A horizontal line through the middle of the cells: some dark pixel on the middle rows of
    // every cell, across the whole run, and none on the cells' top row.
    const int y0 = cells.height / 2 - 2;
    for (int cell = 0; cell < 10; ++cell) {
        bool dark = false;
        for (int y = y0; y <= y0 + 4 && !dark; ++y)
            dark = qGray(image.pixel(cell * cells.width + cells.width / 2, y)) < 128;
        QVERIFY2(dark, qPrintable(QString::number(cell)));
        QVERIFY(qGray(image.pixel(cell * cells.width + cells.width / 2, 0)) > 128);
    }
}

void TestReportView::settingsDialog_data()
{
    QTest::addColumn<bool>("daily");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    const auto midnight = [](int d) { return QDateTime(QDate(2015, 1, d), QTime(0, 0)); };
    // An hourly report is one day, whatever the disabled "по:" picker holds.
    QTest::newRow("hourly") << false << QDate(2015, 1, 7) << QDate(2015, 1, 12) << midnight(7) << midnight(8);
    QTest::newRow("daily") << true << QDate(2015, 1, 7) << QDate(2015, 1, 12) << midnight(7) << midnight(13);
    QTest::newRow("daily, one day") << true << QDate(2015, 1, 9) << QDate(2015, 1, 9) << midnight(9) << midnight(10);
}

void TestReportView::settingsDialog()
{
    QFETCH(bool, daily);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    CReportSettingsDlg dialog(settingsRequest());
    QVERIFY(dialog.hourlyButton()->isChecked());
    QVERIFY(!dialog.toEdit()->isEnabled());
    (daily ? dialog.dailyButton() : dialog.hourlyButton())->click();
    QCOMPARE(dialog.toEdit()->isEnabled(), daily);
    dialog.fromEdit()->setDate(from);
    dialog.toEdit()->setDate(to);
    dialog.contourBox()->setCurrentIndex(1);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const ReportSettingsRequest& r = dialog.request();
    QCOMPARE(r.kind, daily ? archive::ReportKind::Daily : archive::ReportKind::Hourly);
    QCOMPARE(r.contour, 1);
    QCOMPARE(r.start, start);
    QCOMPARE(r.end, end);
}

void TestReportView::settingsDialogRangeAndContour()
{
    ReportSettingsRequest request = settingsRequest();
    request.contour = 2; // beyond the two contours of the meter
    request.kind = archive::ReportKind::Daily;
    CReportSettingsDlg dialog(request);
    QCOMPARE(dialog.contourBox()->count(), 2);
    QCOMPARE(dialog.contourBox()->itemText(1), u"2"_s);
    QCOMPARE(dialog.contourBox()->currentIndex(), 0);
    QVERIFY(dialog.dailyButton()->isChecked());
    QVERIFY(dialog.toEdit()->isEnabled());
    // A date outside the archive is typed freely and refused on OK, with the dialog kept open.
    testsupport::MessageRecorder recorder;
    dialog.fromEdit()->setFocus();
    dialog.fromEdit()->setSelectedSection(QDateTimeEdit::YearSection);
    QTest::keyClicks(dialog.fromEdit(), u"2016"_s);
    QCOMPARE(dialog.fromEdit()->date().year(), 2016);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(recorder->texts(), QStringList{u"Архив содержит записи с 05.01.2015 по 20.01.2015."_s});
    dialog.fromEdit()->setDate(QDate(2015, 1, 6));
    dialog.toEdit()->setDate(QDate(2015, 1, 7));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(uitest::buttonByText(dialog, u"Почасовой"_s) != nullptr);
    const QList<QLineEdit*> fields = dialog.findChildren<QLineEdit*>();
    QStringList shown;
    for (const QLineEdit* field : fields) {
        if (field->isReadOnly())
            shown << field->text();
    }
    QCOMPARE(shown, (QStringList{ u"01234"_s, u"Карна-1"_s, u"1A"_s }));
}

void TestReportView::settingsDialogWithoutContour()
{
    testsupport::MessageRecorder rec;
    CReportSettingsDlg dialog(settingsRequest());
    dialog.contourBox()->clear();
    dialog.accept();
    QCOMPARE(rec->texts(), QStringList{ u"System error: wrong value from combo box"_s });
    QVERIFY(dialog.result() != int(QDialog::Accepted));
}

void TestReportView::dateRangeDialog()
{
    CSelectArcDateDlg open(QDate(2015, 3, 1), std::nullopt);
    QCOMPARE(open.windowTitle(), u"Установка дат"_s);
    QVERIFY(open.toEndBox()->isChecked());
    QVERIFY(!open.endEdit()->isEnabled());
    QCOMPARE(open.end(), std::optional<QDate>());
    open.toEndBox()->click();
    QVERIFY(open.endEdit()->isEnabled());
    QCOMPARE(open.end(), std::optional<QDate>(QDate(2015, 3, 1)));

    CSelectArcDateDlg bounded(QDate(2015, 3, 1), QDate(2015, 2, 10));
    QVERIFY(!bounded.toEndBox()->isChecked());
    QCOMPARE(bounded.start(), QDate(2015, 3, 1));
    QCOMPARE(bounded.end(), std::optional<QDate>(QDate(2015, 2, 10)));
    bounded.toEndBox()->click();
    QVERIFY(!bounded.endEdit()->isEnabled());
    QCOMPARE(bounded.end(), std::optional<QDate>());
}

void TestReportView::backButtonAsksForUnsavedReport_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<MbAnswer>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("leaves");
    QTest::newRow("saved report") << false << MbAnswer::Cancel << false << true;
    QTest::newRow("cancel stays") << true << MbAnswer::Cancel << true << false;
    QTest::newRow("no leaves") << true << MbAnswer::No << true << true;
}

void TestReportView::backButtonAsksForUnsavedReport()
{
    QFETCH(bool, modified);
    QFETCH(MbAnswer, answer);
    QFETCH(bool, asked);
    QFETCH(bool, leaves);
    ReportFixture f("report\r\n");
    QVERIFY(f.show() != nullptr);
    // Loaded through the document, so that the report is the document's own.
    const QString path = f.dir.filePath(u"r.tsr"_s);
    QVERIFY(testsupport::writeFile(path, "report\r\n"));
    QVERIFY(f.document.loadReport(0, path));
    auto* view = qobject_cast<CReportView*>(f.frame->view()->widget());
    QVERIFY(view != nullptr);
    f.document.m_modified = modified;
    testsupport::MessageRecorder rec;
    rec->setNextAnswer(answer);
    QTest::mouseClick(view->backButton(), Qt::LeftButton);
    QCOMPARE(rec->texts().contains(kNotSaved), asked);
    QCOMPARE(f.frame->activeView(), leaves ? ViewKind::DeviceList : ViewKind::Report);
}

void TestReportView::closingAsksForUnsavedReport()
{
    ReportFixture f("report\r\n");
    QVERIFY(f.show() != nullptr);
    const QString path = f.dir.filePath(u"r.tsr"_s);
    QVERIFY(testsupport::writeFile(path, "report\r\n"));
    QVERIFY(f.document.loadReport(0, path));
    f.document.m_modified = true;
    testsupport::MessageRecorder rec;
    rec->setNextAnswer(MbAnswer::Cancel);
    QVERIFY(!f.frame->close());
    QVERIFY(f.frame->isVisible());
    QCOMPARE(rec->texts(), QStringList{ kNotSaved });
    rec->setNextAnswer(MbAnswer::No);
    QVERIFY(f.frame->close());
}

void TestReportView::buttonsReachTheDocument()
{
    ReportFixture f("first\r\n");
    CReportView* view = f.show();
    QVERIFY(view != nullptr);
    f.frame->refreshCommandStates();
    for (int command : { cmd::CreateReport, cmd::SaveReport, cmd::LoadReport, cmd::PrintReport })
        QVERIFY2(view->commandButton(command)->isEnabled(), qPrintable(QString::number(command)));

    const QString saved = f.dir.filePath(u"saved.tsr"_s);
    FileDialog::setNextFileName(saved);
    QTest::mouseClick(view->commandButton(cmd::SaveReport), Qt::LeftButton);
    QCOMPARE(testsupport::readFile(saved), QByteArray("first\r\n"));

    const QString other = f.dir.filePath(u"other.tsr"_s);
    QVERIFY(testsupport::writeFile(other, QByteArray("one\r\ntwo\r\nthree")));
    FileDialog::setNextFileName(other);
    QTest::mouseClick(view->commandButton(cmd::LoadReport), Qt::LeftButton);
    auto* reloaded = qobject_cast<CReportView*>(f.frame->view()->widget());
    QVERIFY(reloaded != nullptr);
    QCOMPARE(reloaded->drawing()->text(), QByteArray("one\r\ntwo\r\nthree"));
    QCOMPARE(reloaded->drawing()->layout().lineCount(), 3);
}

// "Сохранить в PDF..." writes the printed pages without the print dialog.
void TestReportView::savesPdfWithoutPrintDialog()
{
    ReportFixture f("page one\r\n\x0cpage two\r\n");
    CReportView* view = f.show();
    QVERIFY(view != nullptr);
    f.frame->refreshCommandStates();
    QVERIFY(view->pdfButton()->isEnabled());
    const QString pdf = f.dir.filePath(u"report.pdf"_s);
    FileDialog::setNextFileName(pdf);
    QTest::mouseClick(view->pdfButton(), Qt::LeftButton);
    QCOMPARE(FileDialog::lastRequest()->defaultExtension, u"pdf"_s);
    const QByteArray bytes = testsupport::readFile(pdf);
    QVERIFY(bytes.startsWith("%PDF"));
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r"), 2);
    // Cancelled: nothing written.
    FileDialog::setNextFileName(QString());
    QTest::mouseClick(view->pdfButton(), Qt::LeftButton);
    QCOMPARE(QDir(f.dir.path()).entryList({u"*.pdf"_s}), QStringList{u"report.pdf"_s});
}

void TestReportView::printsToPdf()
{
    PrinterControlTable controls;
    controls.loadFromBytes("Bold.On=<ESC>E\r\n");
    ui::ReportPrintJob job;
    job.controls = &controls;
    job.printFont = QFont(u"Monospace"_s);
    job.printFont.setPixelSize(16);
    // A form feed starts a page of its own; a short text is one page.
    const struct
    {
        QByteArray text;
        int pages;
    } cases[] = {
        { "\x1b"
          "Eshort\r\n",
          1 },
        { "page one\r\n\x0cpage two\r\n", 2 },
    };
    for (const auto& c : cases) {
        job.text = c.text;
        QBuffer pdf;
        pdf.open(QIODevice::WriteOnly);
        QPdfWriter writer(&pdf);
        QCOMPARE(ui::printReportTo(writer, job), c.pages);
    }
    // A long report runs over several pages.
    job.text = numberedLines(400);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    QVERIFY(ui::printReportTo(writer, job) > 1);
}

void TestReportView::arbitraryBytesShowAndPrint()
{
    // Any file loads as a report: every byte value, long runs without a line end, stray codes.
    QByteArray bytes;
    quint32 seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes += char(seed >> 24);
    }
    bytes += QByteArray(5000, 'x');
    PrinterControlTable controls;
    controls.loadFromBytes("Bold.On=<ESC>E\r\nQualityN.Set=<ESC>x\r\n");
    CReportStatic area;
    area.resize(500, 300);
    area.setText(bytes, &controls, 8);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    for (const int value : { 0, area.verticalScrollBar()->maximum() / 2, area.verticalScrollBar()->maximum() }) {
        area.verticalScrollBar()->setValue(value);
        area.horizontalScrollBar()->setValue(area.horizontalScrollBar()->maximum());
        area.viewport()->repaint();
        QCOMPARE(area.firstPaintedLine(), value);
    }
    QVERIFY(area.horizontalScrollBar()->maximum() >= 5000 - 500);
    ui::ReportPrintJob job;
    job.text = bytes.left(20000);
    job.controls = &controls;
    job.printFont.setPixelSize(12);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    QVERIFY(ui::printReportTo(writer, job) >= 1);
}

void TestReportView::createFromTheArchive_data()
{
    QTest::addColumn<bool>("daily");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("title"); // IBM866
    QTest::newRow("hourly") << false << u"Почасовой отчёт"_s << QByteArray("\x8f\x8e\x97\x80\x91\x8e\x82\x8e\x89");
    QTest::newRow("daily") << true << u"Посуточный отчёт"_s << QByteArray("\x8f\x8e\x91\x93\x92\x8e\x97\x8d\x9b\x89");
}

void TestReportView::createFromTheArchive()
{
    QFETCH(bool, daily);
    QFETCH(QString, kind);
    QFETCH(QByteArray, title);
    FrameFixture f({ { 1234, 1, u"Школа"_s } });
    const QByteArray demo
        = testsupport::readFile(QStringLiteral(LORN2_TEST_DATA_DIR) + u"/../../resources/demo/01234.tsa"_s);
    QVERIFY(!demo.isEmpty());
    QVERIFY(testsupport::writeFile(f.document.accounts()[0].archiveFilePath(), demo));
    // The printer control table the program installs, so that the codes are hidden as for a user.
    QVERIFY(testsupport::writeFile(
        f.dir.filePath(u"esc.ini"_s),
        testsupport::readFile(QStringLiteral(LORN2_TEST_DATA_DIR) + u"/../../resources/esc.ini"_s)));
    f.document.accounts()[0].LoadPrinterTable(f.dir.path());
    f.frame->resize(1100, 800);
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    f.frame->deviceList()->selectRow(0);
    uitest::onNextModal<CReportSettingsDlg>(f.frame.get(), [&](CReportSettingsDlg& d) {
        (daily ? d.dailyButton() : d.hourlyButton())->click();
        d.fromEdit()->setDate(QDate(2026, 11, 5));
        d.toEdit()->setDate(QDate(2026, 11, 12));
        d.accept();
    });
    f.frame->runCommand(cmd::CreateReport);
    auto* view = qobject_cast<CReportView*>(f.frame->view()->widget());
    QVERIFY(view != nullptr);
    QCOMPARE(view->kindLabel()->text(), kind);
    const QDate last = daily ? QDate(2026, 11, 13) : QDate(2026, 11, 5);
    QCOMPARE(view->toLabel()->text(), QLocale::system().toString(last, QLocale::ShortFormat));
    QVERIFY(view->drawing()->text().contains(title));
    QVERIFY(view->drawing()->layout().lineCount() > 20);
    QVERIFY(f.document.m_modified);
    QApplication::processEvents();
    uitest::keepScreenshot(f.frame->grab().toImage(), daily ? u"report-daily.png"_s : u"report-hourly.png"_s);
    f.document.m_modified = false;
}

void TestReportView::screenshot()
{
    QByteArray text("\x1b"
                    "E\t\tReport\x1b"
                    "F\r\n\t\xda\xc4\xc4\xc4\xc4\xc2\xc4\xc4\xc4\xc4\xbf\r\n\t\xb3 Q1 \xb3 M1 \xb3\r\n"
                    "\t\xc3\xc4\xc4\xc4\xc4\xc5\xc4\xc4\xc4\xc4\xb4\r\n\t\xb3 1.5\xb3 2.0\xb3\r\n"
                    "\t\xc0\xc4\xc4\xc4\xc4\xc1\xc4\xc4\xc4\xc4\xd9\r\n");
    ReportFixture f(text);
    CReportView* view = f.show();
    QVERIFY(view != nullptr);
    QApplication::processEvents();
    uitest::keepScreenshot(f.frame->grab().toImage(), u"report-view.png"_s);
}

int runReportViewTests(int argc, char** argv)
{
    TestReportView tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestReportView.moc"
