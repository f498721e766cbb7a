#pragma once

#include <vector>

#include <QDialog>

class QComboBox;

// Chooses one of several accounts that share a serial number, by their device types.
class CDevTypeDlg : public QDialog
{
    Q_OBJECT

public:
    struct Entry
    {
        int account; // index into the document's account list
        int type;
    };

    explicit CDevTypeDlg(const std::vector<Entry>& entries, QWidget* parent = nullptr);

    // The chosen entry once the dialog is accepted; account -1 before.
    const Entry& chosen() const { return m_chosen; }
    QString chosenName() const;

    QComboBox* typeBox() const { return m_types; }

public slots:
    void accept() override;

private:
    std::vector<Entry> m_entries;
    Entry m_chosen{-1, 0};
    QComboBox* m_types = nullptr;
};
