#include "CLorn2View.h"

#include <algorithm>
#include <array>

#include <QContextMenuEvent>
#include <QHeaderView>

#include "app/CLorn2Doc.h"

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

const CLorn2View::Column& CLorn2View::column(int index)
{
    static const std::array<Column, kColumnCount> columns{{
        {u"NN"_s, 40},
        {u"Серийный №"_s, 90},
        {u"Модель ТС"_s, 90},
        {u"Дата опроса"_s, 100},
        {u"Название потребителя"_s, 200},
        {u"Телефон"_s, 105},
        {u"Идент. абонента"_s, 140},
        {u"Адрес"_s, 300},
        {u"Контактное лицо"_s, 200},
        {u"Сетевой адрес"_s, 95},
    }};
    return columns.at(static_cast<std::size_t>(index));
}

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

    QStringList captions;
    for (int c = 0; c < kColumnCount; ++c)
        captions << column(c).caption;
    setHorizontalHeaderLabels(captions);
    for (int c = 0; c < kColumnCount; ++c)
        setColumnWidth(c, column(c).width);
}

void CLorn2View::initialUpdate()
{
    // The rows arrive with the account list of the document; until then the list stays empty.
    Q_UNUSED(m_document);
}

int CLorn2View::addRow(const QStringList& cells, int accountIndex, bool select)
{
    const int row = rowCount();
    insertRow(row);
    QTableWidgetItem* number = makeItem(QString::number(row + 1));
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
        item(r, 0)->setText(QString::number(r + 1));
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
