#include "CCfgReportView.h"

#include <algorithm>

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>

#include "LogFontConversion.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/CDevData.h"
#include "storage/Folders.h"
#include "ReportPrinting.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMargin = 10;
constexpr int kColumnWidth = 160;

} // namespace

CCfgReportText::CCfgReportText(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void CCfgReportText::setText(const QByteArray& text, const PrinterControlTable* controls, int tabSize)
{
    m_text = text;
    m_options.controls = controls;
    m_options.tabSize = tabSize;
    m_layout = paint::measure(m_text, tabSize);
    update();
}

void CCfgReportText::setTextFont(const QFont& font)
{
    m_font = font;
    m_cells = paint::cellsFor(font, this, paint::CellWidth::Maximum);
    update();
}

void CCfgReportText::setScroll(int line, int column)
{
    if (line == m_line && column == m_column)
        return;
    m_line = line;
    m_column = column;
    update();
}

int CCfgReportText::visibleLines() const
{
    return std::max(1, height() / std::max(1, m_cells.height));
}

int CCfgReportText::visibleColumns() const
{
    return std::max(1, width() / std::max(1, m_cells.width));
}

void CCfgReportText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().text().color());
    painter.setClipRect(rect());
    if (m_layout.lineCount() == 0 || m_line >= m_layout.lineCount()) {
        m_firstPainted = m_lastPainted = -1;
        return;
    }
    // A partly visible last line is drawn too.
    const int last = std::min(m_layout.lineCount() - 1, m_line + visibleLines());
    paint::paintLines(painter, m_text, m_layout, m_line, last, QPoint(-m_column * m_cells.width, 0), m_cells,
                      m_options);
    m_firstPainted = m_line;
    m_lastPainted = last;
}

CCfgReportView::CCfgReportView(CLorn2Doc& document, int accountIndex, QPrinter& printer, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_accountIndex(accountIndex)
    , m_printer(printer)
{
    m_back = new QPushButton(u"К списку ТС"_s, this);
    connect(m_back, &QPushButton::clicked, this, &CCfgReportView::backToDeviceList);
    m_type = new QLabel(u"?"_s, this);
    m_serial = new QLabel(u"00000"_s, this);
    m_print = new QPushButton(u"Печать..."_s, this);
    connect(m_print, &QPushButton::clicked, this, [this] { print(false); });
    m_pdf = new QPushButton(u"Сохранить в PDF..."_s, this);
    connect(m_pdf, &QPushButton::clicked, this, &CCfgReportView::savePdf);
    m_save = new QPushButton(u"Сохранить в файл..."_s, this);
    connect(m_save, &QPushButton::clicked, this, [this] { emit commandRequested(cmd::SaveConfig); });
    m_listLabel = new QLabel(u"Архив конфигураций"_s, this);
    m_list = new QListWidget(this);
    m_list->setObjectName(u"ArchList"_s);

    m_text = new CCfgReportText(this);
    m_vbar = new QScrollBar(Qt::Vertical, this);
    m_hbar = new QScrollBar(Qt::Horizontal, this);
    for (QScrollBar* bar : {m_vbar, m_hbar}) {
        connect(bar, &QScrollBar::actionTriggered, this, [this, bar](int action) { scrollAction(bar, action); });
        connect(bar, &QScrollBar::valueChanged, this, [this] { m_text->setScroll(m_vbar->value(), m_hbar->value()); });
    }
}

QString CCfgReportView::titleFor(const CDevData& account)
{
    const QString type = account.typeName();
    return fmt::text(u"Configuration. Heatcounter: %s Serial #: %05u", type.isEmpty() ? u"?"_s : type,
                     unsigned(account.m_serial));
}

void CCfgReportView::initialUpdate()
{
    m_list->clear();
    m_list->addItem(LoadResString(214, u"Current"_s));
    m_list->setCurrentRow(0);
    m_snapshots.clear();
    m_text->setTextFont(ui::fontFromLogFont(m_document.m_viewFont));

    if (const CDevData* acc = m_document.account(m_accountIndex)) {
        m_type->setText(acc->typeName());
        m_serial->setText(fmt::text(u"%05u", unsigned(acc->m_serial)));
        m_controls = acc->m_escTable;
        // A read that fails part-way lists the snapshots read before the fault.
        m_document.readConfigSnapshots(m_accountIndex, m_snapshots);
        for (std::size_t i = 0; i < m_snapshots.size(); ++i) {
            const QDateTime t = m_snapshots[i].dateTime();
            auto* item = new QListWidgetItem(t.isValid() ? t.toString(u"dd-MM-yyyy HH:mm:ss"_s) : u"?"_s, m_list);
            item->setData(Qt::UserRole, int(i));
        }
        if (m_document.shell() != nullptr)
            m_document.shell()->setTitle(titleFor(*acc));
    }
    connect(m_list, &QListWidget::currentRowChanged, this, &CCfgReportView::onSelectionChanged, Qt::UniqueConnection);
    reloadText();
}

void CCfgReportView::onSelectionChanged()
{
    CDevData* acc = m_document.account(m_accountIndex);
    if (acc == nullptr) {
        MessageBox::error(u"System error: no selected device"_s);
        return;
    }
    if (m_snapshots.empty())
        return;
    const int row = m_list->currentRow();
    if (row < 0) {
        MessageBox::error(u"System error: ArchList listbox returned LB_ERR while getting current selection"_s);
        return;
    }
    if (row == 0) {
        m_document.buildConfigReport(m_accountIndex);
    } else {
        const QVariant data = m_list->item(row)->data(Qt::UserRole);
        if (!data.isValid() || data.toInt() < 0 || std::size_t(data.toInt()) >= m_snapshots.size()) {
            MessageBox::error(u"System error: no data for this list item"_s);
            return;
        }
        const CfgArcRecord& record = m_snapshots[std::size_t(data.toInt())];
        const QByteArray bytes(reinterpret_cast<const char*>(record.bytes.data()), qsizetype(record.bytes.size()));
        m_document.buildConfigReport(m_accountIndex, &bytes);
    }
    reloadText();
}

void CCfgReportView::reloadText()
{
    const CDevData* acc = m_document.account(m_accountIndex);
    m_text->setText(acc != nullptr ? acc->m_cfgReport.toByteArray() : QByteArray(), &m_controls,
                    m_document.m_tabSize);
    updateScrollBars();
    m_text->update();
}

void CCfgReportView::repaintView()
{
    m_text->setTextFont(ui::fontFromLogFont(m_document.m_viewFont));
    reloadText();
}

void CCfgReportView::updateScrollBars()
{
    const paint::TextLayout& layout = m_text->layout();
    const int lines = m_text->visibleLines();
    const int columns = m_text->visibleColumns();
    m_vbar->setRange(0, std::max(0, layout.lineCount() - lines));
    m_vbar->setPageStep(lines);
    m_hbar->setRange(0, std::max(0, layout.longestLine - columns));
    m_hbar->setPageStep(columns);
    m_text->setScroll(m_vbar->value(), m_hbar->value());
}

void CCfgReportView::scrollAction(QScrollBar* bar, int action)
{
    // The page areas of these bars jump to the start or the end of the text.
    if (action == QAbstractSlider::SliderPageStepAdd)
        bar->setSliderPosition(bar->maximum());
    else if (action == QAbstractSlider::SliderPageStepSub)
        bar->setSliderPosition(bar->minimum());
}

void CCfgReportView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int buttonHeight = m_back->sizeHint().height();
    int y = kMargin;
    auto place = [&](QWidget* w, int height) {
        w->setGeometry(kMargin, y, kColumnWidth, height);
        y += height + 6;
    };
    place(m_back, buttonHeight);
    place(m_type, m_type->sizeHint().height());
    place(m_serial, m_serial->sizeHint().height());
    place(m_print, buttonHeight);
    place(m_pdf, buttonHeight);
    place(m_save, buttonHeight);
    place(m_listLabel, m_listLabel->sizeHint().height());
    m_list->setGeometry(kMargin, y, kColumnWidth, std::max(40, height() - y - kMargin));

    const int left = kMargin + kColumnWidth + kMargin;
    const int top = kMargin;
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int w = std::max(1, width() - left - bar - kMargin);
    const int h = std::max(1, height() - top - bar - kMargin);
    m_text->setGeometry(left, top, w, h);
    m_vbar->setGeometry(left + w, top, bar, h);
    m_hbar->setGeometry(left, top + h, w, bar);
    updateScrollBars();
}

paint::PrintOptions CCfgReportView::printOptions() const
{
    paint::PrintOptions options;
    options.draw.controls = &m_controls;
    options.draw.tabSize = m_document.m_tabSize;
    options.cellWidth = paint::CellWidth::Maximum;
    options.pageFooter = LoadResString(192, u"Page %d"_s);
    return options;
}

int CCfgReportView::printTo(QPagedPaintDevice& device, int fromPage, int toPage) const
{
    paint::PrintOptions options = printOptions();
    options.fromPage = fromPage;
    options.toPage = toPage;
    const QByteArray& text = m_text->text();
    return paint::printText(device, text, paint::measure(text, options.draw.tabSize),
                            ui::fontFromLogFont(m_document.m_printFont), options);
}

void CCfgReportView::savePdf()
{
    const CDevData* acc = m_document.account(m_accountIndex);
    if (acc == nullptr)
        return;
    const QString name = folders::reportsFolder(m_document.workingFolder()) + u'/' + acc->shortName() + u"_cfg.pdf"_s;
    ui::savePdf(this, m_printer, name, [this](QPagedPaintDevice& device) { return printTo(device); });
}

void CCfgReportView::print(bool preview)
{
    if (preview) {
        QPrintPreviewDialog dialog(&m_printer, this);
        dialog.setWindowTitle(u"Предварительный просмотр"_s);
        connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [this](QPrinter* target) { printTo(*target); });
        dialog.exec();
        return;
    }
    QPrintDialog dialog(&m_printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const bool range = m_printer.printRange() == QPrinter::PageRange;
    if (printTo(m_printer, range ? m_printer.fromPage() : 0, range ? m_printer.toPage() : 0) < 0)
        MessageBox::error(u"Не удалось начать печать."_s);
}
