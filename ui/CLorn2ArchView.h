#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QWidget>

#include "FrameView.h"
#include "archive/ArchiveRecord.h"

class CDevData;
class CLorn2Doc;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTableView;

// The records of one account shown in the archive list. Cells are formatted when the table asks
// for them, so a large archive costs one index per shown record and nothing more.
class ArchiveListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The account is looked up on every use: the document's list may grow and move it meanwhile.
    using AccountSource = std::function<const CDevData*()>;

    explicit ArchiveListModel(AccountSource account, QObject* parent = nullptr);

    // Shows the records in list order whose time lies in the range; an invalid end is open.
    void fill(const QDateTime& from, const QDateTime& to);
    // The position in the account's record list of a shown row.
    std::size_t recordIndex(int row) const { return m_rows.at(std::size_t(row)); }
    // The row showing the record at that position of the list, -1 when it is not shown.
    int rowOf(std::size_t recordIndex) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    AccountSource m_account;
    std::vector<std::size_t> m_rows;
    QStringList m_captions;
};

// The archive list form: the account's identity, the date range to show, the archive commands
// and the records of the range.
class CLorn2ArchView : public QWidget, public FrameView
{
    Q_OBJECT

public:
    CLorn2ArchView(CLorn2Doc& document, int accountIndex, QWidget* parent = nullptr);

    ViewKind kind() const override { return ViewKind::ArchiveList; }
    QWidget* widget() override { return this; }
    // Loads the account's archive file and shows all of it.
    void initialUpdate() override;
    void repaintView() override;

    // Shows and selects the record with that identity, widening the date range to it when it
    // lies outside; false when the account has no such record.
    bool selectRecord(const sctArcZap& identity);
    // The dates of the range applied.
    QDate periodFrom() const { return m_from.date(); }
    QDate periodTo() const { return m_to.date(); }

    // Enables each command button as the frame's command state says.
    void updateCommandButtons(const std::function<bool(int)>& isEnabled);

    int accountIndex() const { return m_accountIndex; }
    const QDateTime& appliedFrom() const { return m_from; }
    const QDateTime& appliedTo() const { return m_to; }
    QDateTimeEdit* fromPicker() const { return m_fromEdit; }
    QDateTimeEdit* toPicker() const { return m_toEdit; }
    QPushButton* applyButton() const { return m_apply; }
    QPushButton* commandButton(int command) const { return m_commandButtons.value(command); }
    QPushButton* backButton() const { return m_back; }
    QTableView* table() const { return m_table; }
    ArchiveListModel* model() const { return m_model; }

signals:
    // A button asked for a document command.
    void commandRequested(int command);
    // "К списку ТС".
    void backToDeviceList();

private:
    const CDevData* account() const;
    void fill();
    void fitColumns();
    void onPickerChanged();
    void onApply();

    CLorn2Doc& m_document;
    int m_accountIndex;
    QDateTime m_from;
    QDateTime m_to;

    QLabel* m_serial = nullptr;
    QLabel* m_type = nullptr;
    QDateTimeEdit* m_fromEdit = nullptr;
    QDateTimeEdit* m_toEdit = nullptr;
    QPushButton* m_apply = nullptr;
    QHash<int, QPushButton*> m_commandButtons;
    QPushButton* m_back = nullptr;
    QTableView* m_table = nullptr;
    ArchiveListModel* m_model = nullptr;
};
