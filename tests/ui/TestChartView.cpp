#include <cmath>

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTreeWidget>

#include "JanuaryHours.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/Commands.h"
#include "archive/ArchiveFile.h"
#include "ui/CChartView.h"
#include "ui/CLorn2View.h"
#include "ui/CLorn2ArchView.h"
#include "ui/QualityDlg.h"
#include "ui/chart/ArchiveChart.h"
#include "ui/chart/ArchiveChartView.h"

using namespace Qt::Literals::StringLiterals;
using archive::chart::Mark;
using archive::chart::Quantity;

namespace {

// January's 48 hours without 10:00..12:00 of the 5th, and a t1 code at 15:00 and 16:00.
bool writeArchive(uitest::FrameFixture& f)
{
    const CDevData& acc = f.document.accounts()[0];
    ArchiveParams params;
    params.NumSys = 1;
    params.Formula = { 1, 0, 0 };
    ArchiveRecordList records;
    for (sctArcZap r : testsupport::januaryHours()) {
        if (r.day == 5 && r.hour >= 10 && r.hour <= 12)
            continue;
        if (r.day == 5 && (r.hour == 15 || r.hour == 16))
            r.Err[0] = 0x010;
        r.t[0] = 70.0f + float(r.hour % 7);
        records.add(r, false);
    }
    return testsupport::writeFile(acc.archiveFilePath(), archive::archiveFileBytes(params, records, 1234));
}

// The frame on screen with the account's row selected.
bool showWithArchive(uitest::FrameFixture& f)
{
    if (!writeArchive(f))
        return false;
    f.frame->resize(1200, 800);
    f.frame->show();
    if (!QTest::qWaitForWindowExposed(f.frame.get()))
        return false;
    f.frame->deviceList()->selectRow(0);
    return true;
}

std::int64_t at(int day, int hour)
{
    return archive::chart::msOf(QDate(2015, 1, day)) + hour * archive::chart::kHourMs;
}

} // namespace

class TestChartView : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        uitest::cancelModalScripts();
        FileDialog::clearNextFileNames();
    }
    void showsTheArchiveWithItsGapsAndErrors();
    void qualityFindingsLeadIntoTheArchiveList();
};

void TestChartView::showsTheArchiveWithItsGapsAndErrors()
{
    uitest::FrameFixture f({ { 1234, 1, u"Школа"_s } });
    QVERIFY(showWithArchive(f));
    QVERIFY(f.frame->isCommandEnabled(cmd::ShowChart));
    f.frame->runCommand(cmd::ShowChart);
    auto* view = qobject_cast<CChartView*>(f.frame->view()->widget());
    QVERIFY(view != nullptr);
    QApplication::processEvents();

    // The archive's days, hourly, the series chosen by default.
    chartui::ArchiveChart* chart = view->chart();
    QCOMPARE(view->periodFrom(), QDate(2015, 1, 5));
    QCOMPARE(view->periodTo(), QDate(2015, 1, 6)); // the last record, 7 January 00:00, closes the 6th
    QVERIFY(!view->dailyButton()->isChecked());
    QCOMPARE(chart->shown(), (std::vector<Quantity>{ Quantity::Q, Quantity::t1, Quantity::t2 }));
    const archive::chart::Series& s = chart->archiveSeries();
    QCOMPARE(s.size(), std::size_t(48));
    QCOMPARE(s.missingCount(), std::size_t(3));

    // Read back from the widget: no line across the gap, the gap and the error hours marked.
    const std::vector<archive::chart::DrawPoint>& t1 = chart->drawn(Quantity::t1);
    QVERIFY(!t1.empty());
    bool brokeAtGap = false;
    for (std::size_t k = 1; k < t1.size(); ++k) {
        const bool spansGap = t1[k - 1].x <= at(5, 9) && t1[k].x >= at(5, 13);
        if (spansGap) {
            QVERIFY(t1[k].newSegment);
            brokeAtGap = true;
        }
    }
    QVERIFY(brokeAtGap);
    const std::vector<archive::chart::Band>& missing = chart->drawnBands(Mark::Missing);
    QVERIFY(!missing.empty());
    QCOMPARE(missing.front().from, at(5, 9));
    QCOMPARE(missing.front().to, at(5, 12));
    const std::vector<archive::chart::Band>& errors = chart->drawnBands(Mark::Error);
    QCOMPARE(errors.size(), std::size_t(1));
    QCOMPARE(errors.front().from, at(5, 14));

    // The tooltip of an error hour names its code; the hover of the plot finds that slot.
    const auto slot = std::size_t(14); // 5 January 15:00
    QVERIFY(chart->slotText(slot).contains(u"Коды ошибок: t1: 1 - (t < min)"_s));
    QVERIFY(chart->slotText(std::size_t(9)).contains(u"нет записи"_s));
    const QRectF plot = chart->plotArea();
    const double x = plot.left() + double(s.x[slot] - chart->windowFrom()) / double(chart->windowTo() - chart->windowFrom())
            * plot.width();
    QCOMPARE(chart->slotAt(QPointF(x, plot.center().y())), std::optional<std::size_t>(slot));

    // Zoom into the night and back.
    chart->zoomTime(0.2, plot.left() + plot.width() * 0.1);
    QVERIFY(chart->isZoomed());
    QVERIFY(chart->windowTo() - chart->windowFrom() < 16 * archive::chart::kHourMs);
    chart->zoomToRect(QRectF(plot.left() + 10, plot.top() + 10, plot.width() / 3, plot.height() / 2));
    QVERIFY(chart->isZoomed());
    chart->resetView();
    QVERIFY(!chart->isZoomed());

    // The check boxes choose the series; the radio buttons the step.
    view->seriesBox(Quantity::t2)->setChecked(false);
    view->seriesBox(Quantity::p1)->setChecked(true);
    QCOMPARE(chart->shown(), (std::vector<Quantity>{ Quantity::Q, Quantity::t1, Quantity::p1 }));
    view->dailyButton()->setChecked(true);
    QCOMPARE(chart->archiveSeries().step, archive::chart::Step::Daily);
    QCOMPARE(chart->archiveSeries().size(), std::size_t(2));
    view->fromPicker()->setDate(QDate(2015, 1, 6));
    QVERIFY(view->applyButton()->isEnabled());
    view->applyButton()->click();
    QCOMPARE(chart->archiveSeries().from, QDate(2015, 1, 6));

    // Saving writes the picture the user sees.
    const QString svg = f.dir.filePath(u"chart.svg"_s);
    FileDialog::setNextFileName(svg);
    QVERIFY(view->saveAs());
    QVERIFY(testsupport::readFile(svg).contains("<svg"));
    const QString png = f.dir.filePath(u"chart.png"_s);
    FileDialog::setNextFileName(png);
    QVERIFY(view->saveAs());
    QVERIFY(testsupport::readFile(png).startsWith("\x89PNG"));

    QApplication::processEvents();
    uitest::keepScreenshot(f.frame->grab().toImage(), u"chart.png"_s);
}

void TestChartView::qualityFindingsLeadIntoTheArchiveList()
{
    uitest::FrameFixture f({ { 1234, 1, u"Школа"_s } });
    QVERIFY(showWithArchive(f));
    QVERIFY(f.frame->isCommandEnabled(cmd::QualityCheck));
    f.frame->runCommand(cmd::QualityCheck);
    QualityDlg* dialog = f.frame->findChild<QualityDlg*>();
    QVERIFY(dialog != nullptr);
    QVERIFY(dialog->summaryLabel()->text().contains(u"нет 3 ч"_s));
    QTreeWidget* list = dialog->findingsList();
    const QList<QTreeWidgetItem*> gap
        = list->findItems(u"Нет записей: с 05.01.2015 10:00 по 05.01.2015 12:00 (3 ч)"_s, Qt::MatchExactly, 1);
    QCOMPARE(gap.size(), 1);
    QCOMPARE(list->findItems(u"коды ошибок с 05.01.2015 15:00 по 05.01.2015 16:00"_s, Qt::MatchContains, 1).size(), 1);
    uitest::keepScreenshot(dialog->grab().toImage(), u"quality.png"_s);

    // The gap's link opens the archive list at the record that ends it.
    list->setCurrentItem(gap.front());
    emit list->itemDoubleClicked(gap.front(), 1);
    auto* archiveView = qobject_cast<CLorn2ArchView*>(f.frame->view()->widget());
    QVERIFY(archiveView != nullptr);
    const QModelIndexList selected = archiveView->table()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    const sctArcZap& record
        = f.document.accounts()[0].m_records[archiveView->model()->recordIndex(selected.front().row())];
    QCOMPARE(int(record.day), 5);
    QCOMPARE(int(record.hour), 13);
    dialog->close();
}

int runChartViewTests(int argc, char** argv)
{
    TestChartView tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestChartView.moc"
