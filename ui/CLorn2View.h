#pragma once

#include <optional>

#include <QStringList>
#include <QTableWidget>

#include "FrameView.h"

class CLorn2Doc;

// The device list: one row per account. Rows are numbered in account-list order; a click on a
// column heading sorts the view only, so a row keeps its number, its item data (the account's
// index in the document's list) and its place for the document ("row" below).
class CLorn2View : public QTableWidget, public FrameView
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 10;

    explicit CLorn2View(CLorn2Doc& document, QWidget* parent = nullptr);

    ViewKind kind() const override { return ViewKind::DeviceList; }
    QWidget* widget() override { return this; }
    // Fills the list from the document's accounts.
    void initialUpdate() override;

    // Appends a row numbered count + 1; `cells` fill columns 1-9. Returns the new row.
    int addRow(const QStringList& cells, int accountIndex, bool select);
    // Refills columns 1-9 of a row; false when there is no such row.
    bool updateRow(int row, const QStringList& cells);
    // Deletes a row, selects the row now at its place (or the new last row) and renumbers the
    // rows after it; false when there is no such row.
    bool removeRow(int row);
    std::optional<int> selectedRow() const;
    // The account index a row carries; -1 when there is no such row.
    int rowAccount(int row) const;
    // Where a row is shown now; -1 when there is no such row.
    int visualRow(int row) const;
    // Sorts by a column; the same column again reverses the order.
    void sortByColumn(int column);
    // The cell's whole text when its column is too narrow to show it, else empty.
    QString cellToolTip(int row, int column) const;

signals:
    // A right click; `onRow` tells a row from empty space.
    void contextMenuWanted(const QPoint& globalPos, bool onRow);
    // A double click or Enter on a row, which is selected by then.
    void rowActivated(int row);
    // The Delete key on a selected row.
    void deleteRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void setCells(int visualRow, const QStringList& cells);
    void onSelectionChanged();
    void resort();
    void fitColumns();
    void scheduleFit();

    CLorn2Doc& m_document;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_fitPending = false;
};
