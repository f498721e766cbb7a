#pragma once

#include <optional>

#include <QDate>
#include <QDialog>

class QCheckBox;
class QDateEdit;

// "Установка дат": which part of the meter's archive to read. The start is the newest day wanted;
// the end the oldest, or none ("До конца") to read back to the archive's beginning.
class CSelectArcDateDlg : public QDialog
{
    Q_OBJECT

public:
    CSelectArcDateDlg(const QDate& start, const std::optional<QDate>& end, QWidget* parent = nullptr);

    QDate start() const;
    // None when "До конца" is ticked.
    std::optional<QDate> end() const;

    QDateEdit* startEdit() const { return m_startEdit; }
    QDateEdit* endEdit() const { return m_endEdit; }
    QCheckBox* toEndBox() const { return m_toEnd; }

private:
    QDateEdit* m_startEdit = nullptr;
    QDateEdit* m_endEdit = nullptr;
    QCheckBox* m_toEnd = nullptr;
};
