#include "CLorn2View.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QHeaderView>

#include "app/CLorn2Doc.h"
#include "app/DeviceListColumns.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kAccountRole = Qt::UserRole;

QTableWidgetItem* makeItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return item;
}

} // namespace

CLorn2View::CLorn2View(CLorn2Doc& document, QWidget* parent)
    : QTableWidget(0, kColumnCount, parent)
    , m_document(document)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
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
}

void CLorn2View::onSelectionChanged()
{
    if (const std::optional<int> row = selectedRow())
        m_document.setLastSelectedRow(*row);
}

int CLorn2View::addRow(const QStringList& cells, int accountIndex, bool select)
{
    const int row = rowCount();
    insertRow(row);
    QTableWidgetItem* number = makeItem(deviceListRowNumber(row));
    number->setData(kAccountRole, accountIndex);
    setItem(row, 0, number);
    setCells(row, cells);
    if (select) {
        selectRow(row);
        scrollToItem(number);
    }
    return row;
}

bool CLorn2View::updateRow(int row, const QStringList& cells)
{
    if (row < 0 || row >= rowCount())
        return false;
    setCells(row, cells);
    return true;
}

bool CLorn2View::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return false;
    QTableWidget::removeRow(row);
    const int count = rowCount();
    if (count == 0) {
        clearSelection();
        return true;
    }
    for (int r = row; r < count; ++r)
        item(r, 0)->setText(deviceListRowNumber(r));
    selectRow(std::min(row, count - 1));
    return true;
}

std::optional<int> CLorn2View::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    int first = rows.first().row();
    for (const QModelIndex& index : rows)
        first = std::min(first, index.row());
    return first;
}

int CLorn2View::rowAccount(int row) const
{
    const QTableWidgetItem* number = row >= 0 && row < rowCount() ? item(row, 0) : nullptr;
    if (number == nullptr)
        return -1;
    bool ok = false;
    const int index = number->data(kAccountRole).toInt(&ok);
    return ok ? index : -1;
}

void CLorn2View::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (index.isValid())
        selectRow(index.row());
    emit contextMenuWanted(event->globalPos(), index.isValid());
    event->accept();
}

void CLorn2View::setCells(int row, const QStringList& cells)
{
    for (int c = 1; c < kColumnCount; ++c)
        setItem(row, c, makeItem(cells.value(c - 1)));
}
