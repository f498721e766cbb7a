#include <QApplication>
#include <QDateTimeEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/ArchiveListColumns.h"
#include "app/Commands.h"
#include "base/DateUtil.h"
#include "base/StringTable.h"
#include "storage/DeviceTypes.h"
#include "ui/CLorn2ArchView.h"
#include "ui/CLorn2View.h"
#include "ui/FileDialog.h"

using namespace Qt::Literals::StringLiterals;

using uitest::FrameFixture;

namespace {

constexpr int kSerial = 1234;

sctArcZap record(int day, int hour, int minute, float mass = 1.5f)
{
    sctArcZap r;
    r.year = 24;
    r.month = 3;
    r.day = std::uint8_t(day);
    r.hour = std::uint8_t(hour);
    r.minute = std::uint8_t(minute);
    r.M = {mass, mass + 1.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    r.V = {7.0f, 8.0f, 9.0f, 10.0f, 11.0f, 12.0f};
    r.Q = {100.0f, 200.0f, 300.0f};
    r.T = {125, 0, 61};
    r.Err = {0x1F, 0, 0};
    return r;
}

// The hours 0..23 of 5 March 2024, on the hour.
std::vector<sctArcZap> oneDay()
{
    std::vector<sctArcZap> day;
    for (int h = 0; h < 24; ++h)
        day.push_back(record(5, h, 0, float(h)));
    return day;
}

// An account made by the storage layer whose archive file holds `records`. The document's copy
// of the account keeps no records, so only the view's load can bring them in.
struct ArchiveFixture : FrameFixture
{
    explicit ArchiveFixture(const std::vector<sctArcZap>& records, int energyUnits = 0, int archiveVersion = 2,
                            int formula1 = 1)
        : FrameFixture({{kSerial, 1, u"Тепловая сеть"_s}})
    {
        CDevData file = document.accounts().front();
        file.m_arcParams.SerialNumber = kSerial;
        file.m_arcParams.EnergyUnits = std::uint8_t(energyUnits);
        file.m_arcParams.ArchiveVersion = std::uint16_t(archiveVersion);
        file.m_arcParams.Formula = {std::uint8_t(formula1), 1, 1};
        file.m_arcParams.Custom = u"Тепловая сеть"_s;
        for (const sctArcZap& r : records)
            file.m_records.add(r, false);
        if (!records.empty())
            written = file.WriteArchive();
    }

    // Shows the archive of the first account the way the menu command does.
    CLorn2ArchView* open()
    {
        // Shown, so that the layouts give every button its place for the clicks.
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get()))
            return nullptr;
        frame->deviceList()->selectRow(0);
        frame->runCommand(cmd::ShowArchive);
        return qobject_cast<CLorn2ArchView*>(frame->view() != nullptr ? frame->view()->widget() : nullptr);
    }

    bool written = false;
};

QStringList column(const CLorn2ArchView& view, int col)
{
    QStringList out;
    const QAbstractItemModel* model = view.table()->model();
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, col).data().toString();
    return out;
}

QDateTime at(int day, int hour, int minute = 0)
{
    return dateutil::calendarDateTime(QDate(2024, 3, day), QTime(hour, minute));
}

} // namespace

class TestArchiveView : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void energyCaptions_data();
    void energyCaptions();
    void opensWithWholeArchive();
    void applyNarrowsRange();
    void applyEnabledOnlyWhenPickersDiffer_data();
    void applyEnabledOnlyWhenPickersDiffer();
    void invalidStampsNeverShown();
    void missingArchiveReported();
    void volumeMetersShowMassAsVolume();
    void commandButtonsReachDocument();
    void backToDeviceList();
    void screenshot();
};

void TestArchiveView::energyCaptions_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("q1");
    QTest::addColumn<QString>("q3");
    QTest::newRow("kWh") << 0 << u"Q1(кВт*ч)"_s << u"Q3(кВт*ч)"_s;
    QTest::newRow("GJ") << 1 << u"Q1(Гдж)"_s << u"Q3(Гдж)"_s;
    QTest::newRow("Gcal") << 2 << u"Q1(Гкал)"_s << u"Q3(Гкал)"_s;
}

void TestArchiveView::energyCaptions()
{
    QFETCH(int, units);
    QFETCH(QString, q1);
    QFETCH(QString, q3);
    std::vector<sctArcZap> records = oneDay();
    records[3].M[0] = 4521234.5f; // a reading of a big pipe, wider than the list's old columns
    records[4].Q[1] = 98765432.0f;
    ArchiveFixture f(records, units);
    QVERIFY(f.written);
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    const QHeaderView* header = view->table()->horizontalHeader();
    QCOMPARE(header->count(), archivelist::kColumnCount);
    const QAbstractItemModel* model = view->table()->model();
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), q1);
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), q3);
    QCOMPARE(model->headerData(17, Qt::Horizontal).toString(), u"Р1 обр"_s);
    // Every cell shows its whole reading: no column is narrower than its widest text.
    const QFontMetrics metrics = view->table()->fontMetrics();
    for (int c = 0; c < archivelist::kColumnCount; ++c) {
        QVERIFY(header->sectionSize(c) >= archivelist::columnWidth(c));
        for (int r = 0; r < model->rowCount(); ++r)
            QVERIFY2(header->sectionSize(c) > metrics.horizontalAdvance(model->index(r, c).data().toString()),
                     qPrintable(model->index(r, c).data().toString()));
    }
    const auto align = model->index(0, 5).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    QVERIFY(align.testFlag(Qt::AlignRight));
}

void TestArchiveView::opensWithWholeArchive()
{
    ArchiveFixture f(oneDay());
    QVERIFY(f.written);
    testsupport::MessageRecorder recorder;
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    QCOMPARE(f.frame->activeView(), ViewKind::ArchiveList);
    QVERIFY(recorder->texts().isEmpty());
    QCOMPARE(view->table()->model()->rowCount(), 24);
    QCOMPARE(column(*view, 0).front(), u"05/03/24 00:00"_s);
    QCOMPARE(column(*view, 0).back(), u"05/03/24 23:00"_s);
    QCOMPARE(view->table()->model()->index(0, 22).data().toString(), u"2:05"_s);
    QCOMPARE(view->table()->model()->index(0, 25).data().toString(), u"0000001F"_s);

    // The pickers start at the archive's ends.
    QCOMPARE(view->fromPicker()->dateTime(), at(5, 0));
    QCOMPARE(view->toPicker()->dateTime(), at(5, 23));
    QVERIFY(!view->applyButton()->isEnabled());

    // Typed digits are taken as typed, also a day before the archive's first.
    view->fromPicker()->setFocus();
    view->fromPicker()->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(view->fromPicker(), u"01"_s);
    QCOMPARE(view->fromPicker()->date(), QDate(2024, 3, 1));
    QVERIFY(view->applyButton()->isEnabled());
    QTest::mouseClick(view->applyButton(), Qt::LeftButton);
    QCOMPARE(view->table()->model()->rowCount(), 24);
    // A start after the end is refused on "Применить", with the range kept.
    view->fromPicker()->setDateTime(at(6, 0));
    QTest::mouseClick(view->applyButton(), Qt::LeftButton);
    QCOMPARE(recorder->texts(), QStringList{u"Начало диапазона дат позже его конца."_s});
    QCOMPARE(view->appliedFrom(), dateutil::calendarDateTime(QDate(2024, 3, 1), QTime(0, 0)));

    const QString name = devtypes::displayName(1);
    QVERIFY(!name.isEmpty());
    const QString title = u"Архив. ТС: %1 Серийный № 01234"_s.arg(name);
    QCOMPARE(f.frame->documentTitle(), title);
    QCOMPARE(f.frame->windowTitle(), title + u" - Lorn2"_s);
    QVERIFY(uitest::buttonByText(*view, u"Применить"_s) != nullptr);
    bool serialShown = false;
    for (const QLabel* label : view->findChildren<QLabel*>())
        serialShown = serialShown || label->text() == u"01234"_s;
    QVERIFY(serialShown);
}

void TestArchiveView::applyNarrowsRange()
{
    ArchiveFixture f(oneDay());
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    view->fromPicker()->setDateTime(at(5, 10));
    view->toPicker()->setDateTime(at(5, 12, 30));
    QVERIFY(view->applyButton()->isEnabled());
    QTest::mouseClick(view->applyButton(), Qt::LeftButton);
    QVERIFY(!view->applyButton()->isEnabled());
    QCOMPARE(view->appliedFrom(), at(5, 10));
    QCOMPARE(view->appliedTo(), at(5, 12, 30));
    // Both ends are inclusive.
    QCOMPARE(column(*view, 0), (QStringList{u"05/03/24 10:00"_s, u"05/03/24 11:00"_s, u"05/03/24 12:00"_s}));
    // Mass 10 belongs to the record of 10:00: the rows map to the right records.
    QCOMPARE(column(*view, 4).front(), u"10.000000"_s);

    // Widening again brings every record back.
    view->fromPicker()->setDateTime(at(5, 0));
    view->toPicker()->setDateTime(at(5, 23));
    QTest::mouseClick(view->applyButton(), Qt::LeftButton);
    QCOMPARE(view->table()->model()->rowCount(), 24);
}

void TestArchiveView::applyEnabledOnlyWhenPickersDiffer_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("same") << at(5, 0) << at(5, 23) << false;
    QTest::newRow("start moved") << at(5, 1) << at(5, 23) << true;
    QTest::newRow("end moved") << at(5, 0) << at(5, 22) << true;
    QTest::newRow("both moved") << at(5, 3) << at(5, 4) << true;
}

void TestArchiveView::applyEnabledOnlyWhenPickersDiffer()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(bool, enabled);
    ArchiveFixture f(oneDay());
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    // Away and back again: only the final values count.
    view->fromPicker()->setDateTime(at(5, 7));
    view->toPicker()->setDateTime(at(5, 8));
    QVERIFY(view->applyButton()->isEnabled());
    view->fromPicker()->setDateTime(from);
    view->toPicker()->setDateTime(to);
    QCOMPARE(view->applyButton()->isEnabled(), enabled);
}

void TestArchiveView::invalidStampsNeverShown()
{
    std::vector<sctArcZap> records = oneDay();
    sctArcZap bad = record(31, 1, 0);
    bad.month = 2; // 31 February
    records.insert(records.begin() + 3, bad);
    ArchiveFixture f(records);
    QVERIFY(f.written);
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    QCOMPARE(view->table()->model()->rowCount(), 24);
    QVERIFY(!column(*view, 0).contains(u"31/02/24 01:00"_s));
}

void TestArchiveView::missingArchiveReported()
{
    ArchiveFixture f({});
    QVERIFY(!QFile::exists(f.document.accounts().front().archiveFilePath()));
    testsupport::MessageRecorder recorder;
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    QCOMPARE(recorder->texts(), QStringList{LoadResString(119, u"Failed to load archive"_s)});
    QCOMPARE(recorder->texts().front(), u"Не удалось загрузить архив"_s);
    QCOMPARE(recorder->shown().front().icon, MbIcon::Error);
    QCOMPARE(view->table()->model()->rowCount(), 0);
    // The view still stands and names the account.
    QVERIFY(f.frame->documentTitle().endsWith(u"Серийный № 01234"_s));
    // The message came inside the wait-cursor section, which must still end.
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestArchiveView::volumeMetersShowMassAsVolume()
{
    ArchiveFixture f({record(5, 1, 0, 2.5f)}, 0, 1, 8);
    QVERIFY(f.written);
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    QCOMPARE(view->table()->model()->rowCount(), 1);
    const QStringList cells = archivelist::cells(f.document.accounts().front().m_arcParams,
                                                 f.document.accounts().front().m_records[0]);
    const auto cell = [view](int c) { return view->table()->model()->index(0, c).data().toString(); };
    QCOMPARE(cell(4), u"0"_s);
    QCOMPARE(cell(5), u"0"_s);
    QCOMPARE(cell(29), u"2.500000"_s);
    QCOMPARE(cell(30), u"3.500000"_s);
    // Contour 2 keeps its masses and volumes.
    QCOMPARE(cell(6), u"3.000000"_s);
    QCOMPARE(cell(31), u"9.000000"_s);
    for (int c = 0; c < archivelist::kColumnCount; ++c)
        QCOMPARE(cell(c), cells.value(c));
}

void TestArchiveView::commandButtonsReachDocument()
{
    ArchiveFixture f(oneDay());
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    f.frame->refreshCommandStates();
    for (const int command : {cmd::ReadArchive, cmd::CreateReport, cmd::ImportArchive, cmd::ExportArchive}) {
        QPushButton* button = view->commandButton(command);
        QVERIFY(button != nullptr);
        QCOMPARE(button->isEnabled(), f.frame->isCommandEnabled(command));
    }
    // Export reaches the document, which writes the records the view loaded.
    QPushButton* exportButton = view->commandButton(cmd::ExportArchive);
    QVERIFY(exportButton->isEnabled());
    testsupport::MessageRecorder recorder;
    const QString target = f.dir.filePath(u"exported.tsa"_s);
    FileDialog::setNextFileName(target);
    QTest::mouseClick(exportButton, Qt::LeftButton);
    QVERIFY2(QFile::exists(target), qPrintable(recorder->texts().join(u'|')));
    QCOMPARE(f.frame->activeView(), ViewKind::ArchiveList);
}

void TestArchiveView::backToDeviceList()
{
    ArchiveFixture f(oneDay());
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    QTest::mouseClick(view->backButton(), Qt::LeftButton);
    QCOMPARE(f.frame->activeView(), ViewKind::DeviceList);
    QVERIFY(f.frame->deviceList() != nullptr);
    QCOMPARE(f.frame->deviceList()->rowCount(), 1);
    QCOMPARE(f.frame->documentTitle(), LoadResString(101, u"Device list"_s));
}

void TestArchiveView::screenshot()
{
    std::vector<sctArcZap> records;
    for (int h = 0; h < 6; ++h)
        records.push_back(record(5, h, 0, 10.0f + float(h)));
    ArchiveFixture f(records, 2);
    f.frame->resize(1100, 500);
    CLorn2ArchView* view = f.open();
    QVERIFY(view != nullptr);
    // Let the layouts take in the texts the initial update set.
    QApplication::processEvents();
    for (const QLabel* label : view->findChildren<QLabel*>())
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
    // The table takes the extra height and width.
    QVERIFY(view->table()->height() > view->height() / 2);
    QVERIFY(view->table()->width() > view->width() - 40);
    const QImage image = f.frame->grab().toImage();
    QVERIFY(!image.isNull());
    uitest::keepScreenshot(image, u"archive-view.png"_s);
}

int runArchiveViewTests(int argc, char** argv)
{
    TestArchiveView tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestArchiveView.moc"
