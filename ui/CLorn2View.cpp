#include "CLorn2View.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolTip>

#include "app/CLorn2Doc.h"
#include "app/DeviceListColumns.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kAccountRole = Qt::UserRole;
// The row's place in the document's list, whatever order the view is sorted in.
constexpr int kRowRole = Qt::UserRole + 1;
// What a column sorts by when its text would sort wrongly (numbers, dates).
constexpr int kSortRole = Qt::UserRole + 2;
// A column never grows wider than this for a long address; the tooltip shows the rest.
constexpr int kMaxColumnWidth = 360;

class ListItem : public QTableWidgetItem
{
public:
    explicit ListItem(const QString& text)
        : QTableWidgetItem(text)
    {
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem& other) const override
    {
        const QVariant mine = data(kSortRole);
        const QVariant theirs = other.data(kSortRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toString() < theirs.toString();
        return text().localeAwareCompare(other.text()) < 0;
    }
};

QString numberKey(long long n)
{
    return u"%1"_s.arg(n, 12, 10, QChar(u'0'));
}

} // namespace

CLorn2View::CLorn2View(CLorn2Doc& document, QWidget* parent)
    : QTableWidget(0, kColumnCount, parent)
    , m_document(document)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Sorting is a view order only: rows keep their numbers and their place in the document.
    setSortingEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CLorn2View::sortByColumn);
    horizontalHeader()->setStretchLastSection(false);

    static_assert(kDeviceListColumns.size() == std::size_t(kColumnCount));
    QStringList captions;
    for (int c = 0; c < kColumnCount; ++c)
        captions << deviceListCaption(c);
    setHorizontalHeaderLabels(captions);
    for (int c = 0; c < kColumnCount; ++c)
        setColumnWidth(c, kDeviceListColumns[std::size_t(c)].width);

    connect(this, &QTableWidget::itemSelectionChanged, this, &CLorn2View::onSelectionChanged);
    connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        selectRow(row);
        emit rowActivated(row);
    });
}

void CLorn2View::initialUpdate()
{
    setRowCount(0);
    m_document.fillDeviceList();
    fitColumns();
}

void CLorn2View::onSelectionChanged()
{
    if (const std::optional<int> row = selectedRow())
        m_document.setLastSelectedRow(*row);
}

int CLorn2View::visualRow(int row) const
{
    for (int r = 0; r < rowCount(); ++r) {
        const QTableWidgetItem* number = item(r, 0);
        if (number != nullptr && number->data(kRowRole).toInt() == row)
            return r;
    }
    return -1;
}

int CLorn2View::addRow(const QStringList& cells, int accountIndex, bool select)
{
    const int row = rowCount();
    insertRow(row);
    auto* number = new ListItem(deviceListRowNumber(row));
    number->setData(kAccountRole, accountIndex);
    number->setData(kRowRole, row);
    number->setData(kSortRole, numberKey(row));
    setItem(row, 0, number);
    setCells(row, cells);
    resort();
    if (select) {
        selectRow(visualRow(row));
        scrollToItem(number);
    }
    scheduleFit();
    return row;
}

bool CLorn2View::updateRow(int row, const QStringList& cells)
{
    const int visual = visualRow(row);
    if (visual < 0)
        return false;
    setCells(visual, cells);
    resort();
    scheduleFit();
    return true;
}

bool CLorn2View::removeRow(int row)
{
    const int visual = visualRow(row);
    if (visual < 0)
        return false;
    QTableWidget::removeRow(visual);
    const int count = rowCount();
    if (count == 0) {
        clearSelection();
        return true;
    }
    // The rows after it move up one place and are numbered again.
    for (int r = 0; r < count; ++r) {
        QTableWidgetItem* number = item(r, 0);
        const int place = number->data(kRowRole).toInt();
        if (place > row) {
            number->setData(kRowRole, place - 1);
            number->setData(kSortRole, numberKey(place - 1));
            number->setText(deviceListRowNumber(place - 1));
        }
    }
    selectRow(visualRow(std::min(row, count - 1)));
    return true;
}

std::optional<int> CLorn2View::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    int first = -1;
    for (const QModelIndex& index : rows) {
        const QTableWidgetItem* number = item(index.row(), 0);
        if (number == nullptr)
            continue;
        const int place = number->data(kRowRole).toInt();
        if (first < 0 || place < first)
            first = place;
    }
    return first < 0 ? std::nullopt : std::optional<int>(first);
}

int CLorn2View::rowAccount(int row) const
{
    const int visual = visualRow(row);
    const QTableWidgetItem* number = visual >= 0 ? item(visual, 0) : nullptr;
    if (number == nullptr)
        return -1;
    bool ok = false;
    const int index = number->data(kAccountRole).toInt(&ok);
    return ok ? index : -1;
}

void CLorn2View::sortByColumn(int column)
{
    if (m_sortColumn == column) {
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        m_sortColumn = column;
        m_sortOrder = Qt::AscendingOrder;
    }
    horizontalHeader()->setSortIndicator(m_sortColumn, m_sortOrder);
    resort();
}

void CLorn2View::resort()
{
    if (m_sortColumn < 0)
        return;
    const std::optional<int> selected = selectedRow();
    sortItems(m_sortColumn, m_sortOrder);
    if (selected) {
        const QSignalBlocker block(this);
        selectRow(visualRow(*selected));
    }
}

// Rows come one by one when the list fills: the columns are fitted once, after the last.
void CLorn2View::scheduleFit()
{
    if (m_fitPending)
        return;
    m_fitPending = true;
    QTimer::singleShot(0, this, [this] {
        m_fitPending = false;
        fitColumns();
    });
}

void CLorn2View::fitColumns()
{
    resizeColumnsToContents();
    for (int c = 0; c < kColumnCount; ++c) {
        if (columnWidth(c) > kMaxColumnWidth)
            setColumnWidth(c, kMaxColumnWidth);
    }
}

void CLorn2View::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (index.isValid())
        selectRow(index.row());
    emit contextMenuWanted(event->globalPos(), index.isValid());
    event->accept();
}

void CLorn2View::keyPressEvent(QKeyEvent* event)
{
    const bool onRow = selectedRow().has_value();
    if (onRow && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        emit rowActivated(*selectedRow());
        event->accept();
        return;
    }
    if (onRow && event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deleteRequested();
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

bool CLorn2View::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // The whole text, for a cell too narrow to show it.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.isValid() ? cellToolTip(index.row(), index.column()) : QString();
        if (!text.isEmpty())
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableWidget::viewportEvent(event);
}

QString CLorn2View::cellToolTip(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    if (cell == nullptr)
        return {};
    if (!cell->toolTip().isEmpty())
        return cell->toolTip();
    const int margin = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 2;
    return fontMetrics().horizontalAdvance(cell->text()) + margin > columnWidth(column) ? cell->text() : QString();
}

void CLorn2View::setCells(int row, const QStringList& cells)
{
    const int accountIndex = item(row, 0) != nullptr ? item(row, 0)->data(kAccountRole).toInt() : -1;
    const CDevData* account = m_document.account(accountIndex);
    // The last poll's result: an icon on the number, its words in the tooltip; the columns
    // themselves (and so the printout and the export) stay as they are.
    if (QTableWidgetItem* number = item(row, 0)) {
        const PollResult* poll = m_document.lastPoll(accountIndex);
        if (poll == nullptr) {
            number->setIcon(QIcon());
            number->setToolTip(QString());
        } else {
            const bool ok = poll->state == PollResult::State::Ok;
            const bool failed = poll->state == PollResult::State::Failed;
            number->setIcon(style()->standardIcon(ok       ? QStyle::SP_DialogApplyButton
                                                  : failed ? QStyle::SP_MessageBoxCritical
                                                           : QStyle::SP_MediaStop));
            QString tip = ok ? u"Опрос: успешно, новых записей: %1"_s.arg(poll->newRecords)
                             : (failed ? u"Опрос: ошибка"_s : u"Опрос: остановлен"_s);
            if (!poll->message.isEmpty())
                tip += u"\n"_s + poll->message;
            number->setToolTip(tip);
        }
    }
    for (int c = 1; c < kColumnCount; ++c) {
        auto* cell = new ListItem(cells.value(c - 1));
        // Dates sort by the date, not by the day of the month shown first.
        if (c == 3 && account != nullptr)
            cell->setData(kSortRole, account->m_lastConnect.isValid()
                                         ? account->m_lastConnect.toString(u"yyyy-MM-ddTHH:mm:ss"_s)
                                         : QString());
        setItem(row, c, cell);
    }
}
