#include "CChartView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "FileDialog.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "ui/chart/ArchiveChart.h"
#include "ui/chart/ArchiveChartView.h"
#include "ui/chart/ChartFile.h"

using namespace Qt::StringLiterals;
using archive::chart::Quantity;

namespace {

// A month of hours reads well; beyond two months the days are the better picture.
constexpr qint64 kHourlyDaysAtMost = 62;

} // namespace

CChartView::CChartView(CLorn2Doc& document, int accountIndex, QPrinter& printer, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_accountIndex(accountIndex)
    , m_printer(printer)
{
    m_identity = new QLabel(this);
    QFont bold = m_identity->font();
    bold.setBold(true);
    m_identity->setFont(bold);

    m_fromEdit = new QDateEdit(this);
    m_toEdit = new QDateEdit(this);
    for (QDateEdit* edit : { m_fromEdit, m_toEdit }) {
        edit->setDisplayFormat(u"dd.MM.yyyy"_s);
        edit->setCalendarPopup(true);
        connect(edit, &QDateEdit::dateChanged, this, [this] {
            m_apply->setEnabled(m_fromEdit->date() != chart()->archiveSeries().from
                                || m_toEdit->date() != chart()->archiveSeries().to);
        });
    }
    m_apply = new QPushButton(u"Применить"_s, this);
    m_apply->setEnabled(false);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        if (m_fromEdit->date() > m_toEdit->date()) {
            MessageBox::error(u"Начало периода позже его конца"_s);
            m_fromEdit->setFocus();
            return;
        }
        rebuild();
    });

    m_hourly = new QRadioButton(u"По часам"_s, this);
    m_daily = new QRadioButton(u"По суткам"_s, this);
    m_hourly->setChecked(true);
    connect(m_daily, &QRadioButton::toggled, this, [this] { rebuild(); });
    m_contour = new QComboBox(this);
    connect(m_contour, &QComboBox::currentIndexChanged, this, [this] { rebuild(); });

    auto* top = new QHBoxLayout;
    top->addWidget(m_identity);
    top->addSpacing(16);
    top->addWidget(new QLabel(u"Период с"_s, this));
    top->addWidget(m_fromEdit);
    top->addWidget(new QLabel(u"по"_s, this));
    top->addWidget(m_toEdit);
    top->addWidget(m_apply);
    top->addSpacing(16);
    top->addWidget(m_hourly);
    top->addWidget(m_daily);
    top->addSpacing(16);
    top->addWidget(new QLabel(u"Контур"_s, this));
    top->addWidget(m_contour);
    top->addStretch(1);

    auto* series = new QHBoxLayout;
    series->addWidget(new QLabel(u"Показать:"_s, this));
    for (int i = 0; i < archive::chart::kQuantities; ++i) {
        const Quantity q = Quantity(i);
        auto* box = new QCheckBox(archive::chart::quantityCaption(q, QString()).section(u',', 0, 0), this);
        box->setChecked(q == Quantity::Q || q == Quantity::t1 || q == Quantity::t2);
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, chartui::quantityColor(q));
        box->setPalette(palette);
        connect(box, &QCheckBox::toggled, this, [this] { updateShown(); });
        m_seriesBoxes[std::size_t(i)] = box;
        series->addWidget(box);
    }
    series->addStretch(1);

    m_view = new chartui::ArchiveChartView(this);
    connect(m_view, &chartui::ArchiveChartView::viewChanged, this, &CChartView::updateZoomButton);
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    auto* hint = new QLabel(u"Колесо мыши - масштаб по времени, рамка левой кнопкой - увеличить участок, "
                            u"правая кнопка - сдвиг, двойной щелчок - весь период"_s,
                            this);
    hint->setEnabled(false);
    hint->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    m_resetZoom = new QPushButton(u"Весь период"_s, this);
    m_resetZoom->setEnabled(false);
    connect(m_resetZoom, &QPushButton::clicked, this, [this] {
        chart()->resetView();
        updateZoomButton();
    });
    auto* save = new QPushButton(u"Сохранить как..."_s, this);
    connect(save, &QPushButton::clicked, this, [this] { saveAs(); });
    auto* printButton = new QPushButton(u"Печать..."_s, this);
    connect(printButton, &QPushButton::clicked, this, [this] { print(); });
    auto* check = new QPushButton(u"Проверка данных..."_s, this);
    connect(check, &QPushButton::clicked, this, [this] { emit commandRequested(cmd::QualityCheck); });
    auto* archiveButton = new QPushButton(u"К архиву"_s, this);
    connect(archiveButton, &QPushButton::clicked, this, &CChartView::backToArchive);
    auto* back = new QPushButton(u"К списку ТС"_s, this);
    connect(back, &QPushButton::clicked, this, &CChartView::backToDeviceList);
    for (QPushButton* b : { m_resetZoom, save, printButton, check })
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(archiveButton);
    buttons->addWidget(back);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(series);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_summary);
    layout->addWidget(hint);
    layout->addLayout(buttons);
}

const CDevData* CChartView::account() const
{
    return m_document.account(m_accountIndex);
}

chartui::ArchiveChart* CChartView::chart() const
{
    return m_view->archiveChart();
}

QDate CChartView::periodFrom() const
{
    return chart()->archiveSeries().from;
}

QDate CChartView::periodTo() const
{
    return chart()->archiveSeries().to;
}

void CChartView::setInitialPeriod(const QDate& from, const QDate& to)
{
    m_initialFrom = from;
    m_initialTo = to;
}

void CChartView::initialUpdate()
{
    CDevData* acc = m_document.account(m_accountIndex);
    if (acc == nullptr)
        return;
    m_identity->setText(fmt::text(u"%05u", unsigned(acc->m_serial)) + u"  "_s + acc->typeName());
    if (acc->m_records.isEmpty()) {
        WaitCursor wait(m_document.shell());
        if (FAILED(acc->LoadArchive()))
            MessageBox::error(LoadResString(119, u"Failed to load archive"_s));
    }
    acc->m_records.sort();

    const QSignalBlocker blockContour(m_contour);
    const int contours = std::clamp<int>(acc->m_arcParams.NumSys, 1, archive::kContours);
    for (int c = 1; c <= contours; ++c)
        m_contour->addItem(QString::number(c));

    QDate from = m_initialFrom, to = m_initialTo;
    if (!from.isValid() || !to.isValid()) {
        const RecordTimeSpan& span = acc->m_records.timeSpan();
        // A last record at 00:00 closes the day before: that day ends the chart.
        to = !span.hasLatest()                  ? QDate::currentDate()
            : span.latest().time() == QTime(0, 0) ? span.latest().date().addDays(-1)
                                                  : span.latest().date();
        from = std::max(to.addDays(-30), span.hasEarliest() ? span.earliest().date() : to);
    }
    {
        const QSignalBlocker a(m_fromEdit), b(m_toEdit), c(m_daily);
        m_fromEdit->setDate(from);
        m_toEdit->setDate(to);
        m_daily->setChecked(from.daysTo(to) >= kHourlyDaysAtMost);
        m_hourly->setChecked(!m_daily->isChecked());
    }
    rebuild();
}

void CChartView::rebuild()
{
    const CDevData* acc = account();
    if (acc == nullptr)
        return;
    archive::chart::Request request;
    request.contour = std::max(0, m_contour->currentIndex());
    request.step = m_daily->isChecked() ? archive::chart::Step::Daily : archive::chart::Step::Hourly;
    request.from = m_fromEdit->date();
    request.to = m_toEdit->date();
    request.now = QDateTime::currentDateTime();
    archive::chart::Series series = archive::chart::build(acc->m_records.records(), request);

    const std::size_t missing = series.missingCount();
    const std::size_t errors = std::size_t(std::count_if(series.error.begin(), series.error.end(),
                                                         [](std::uint32_t e) { return e != 0; }));
    const QString unit = request.step == archive::chart::Step::Hourly ? u"ч"_s : u"сут"_s;
    if (series.size() == 0 || missing == series.size())
        m_summary->setText(u"За период нет архивных записей"_s);
    else
        m_summary->setText(u"Записей: %1 из %2 (нет %3 %4), с кодами ошибок: %5 %4"_s.arg(series.size() - missing)
                               .arg(series.size())
                               .arg(missing)
                               .arg(unit)
                               .arg(errors));

    chart()->setTitle(u"%1 %2, контур %3"_s.arg(acc->typeName(), fmt::text(u"%05u", unsigned(acc->m_serial)))
                          .arg(request.contour + 1));
    chart()->setSeries(std::move(series), archive::EnergyUnitName(acc->m_arcParams.EnergyUnits));
    updateShown();
    m_apply->setEnabled(false);
    updateZoomButton();
}

void CChartView::updateShown()
{
    std::vector<Quantity> shown;
    for (int i = 0; i < archive::chart::kQuantities; ++i) {
        if (m_seriesBoxes[std::size_t(i)]->isChecked())
            shown.push_back(Quantity(i));
    }
    chart()->setShown(shown);
}

void CChartView::updateZoomButton()
{
    m_resetZoom->setEnabled(chart()->isZoomed());
}

bool CChartView::saveAs()
{
    const CDevData* acc = account();
    if (acc == nullptr)
        return false;
    FileDialogSpec dialog;
    dialog.title = u"Сохранить график"_s;
    dialog.filter = u"Рисунок PNG (*.png)|*.png|Рисунок SVG (*.svg)|*.svg|Документ PDF (*.pdf)|*.pdf||"_s;
    dialog.defaultExtension = u"png"_s;
    dialog.folder = m_document.workingFolder();
    dialog.defaultName = u"%1_%2_%3_%4.png"_s.arg(fmt::text(u"%05u", unsigned(acc->m_serial)),
                                                   periodFrom().toString(u"yyyyMMdd"_s),
                                                   periodTo().toString(u"yyyyMMdd"_s),
                                                   m_daily->isChecked() ? u"daily"_s : u"hourly"_s);
    const QString path = FileDialog::getSaveFileName(this, dialog);
    if (path.isEmpty())
        return false;
    const std::optional<chartui::ChartFormat> format = chartui::chartFormatOf(path);
    if (!format) {
        MessageBox::error(u"Имя файла должно оканчиваться на .png, .svg или .pdf"_s);
        return false;
    }
    QSaveFile file(path);
    QString error;
    const bool ok = file.open(QIODevice::WriteOnly)
        && chartui::writeChart(*chart(), file, *format, chart()->title(), &error) && file.commit();
    if (!ok) {
        MessageBox::error(u"Не удалось сохранить файл: "_s + path + (error.isEmpty() ? QString() : u"\n"_s + error));
        return false;
    }
    return true;
}

bool CChartView::print()
{
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QPainter painter;
    if (!painter.begin(&m_printer)) {
        MessageBox::error(u"Не удалось начать печать"_s);
        return false;
    }
    const QRect page = m_printer.pageLayout().paintRectPixels(m_printer.resolution());
    chartui::paintChart(*chart(), painter, QRectF(QPointF(0, 0), QSizeF(page.size())));
    painter.end();
    return true;
}
