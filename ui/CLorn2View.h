#pragma once

#include <optional>

#include <QStringList>
#include <QTableWidget>

#include "FrameView.h"

class CLorn2Doc;

// The device list: one row per account, in account-list order, never sorted. Column 0 holds the
// row number and carries the account's index in the document's list as item data.
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

signals:
    // A right click; `onRow` tells a row from empty space.
    void contextMenuWanted(const QPoint& globalPos, bool onRow);
    // A double click on a row, which is selected by then.
    void rowActivated(int row);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setCells(int row, const QStringList& cells);
    void onSelectionChanged();

    CLorn2Doc& m_document;
};
