#pragma once

#include <QDialog>

#include "archive/DataQuality.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

// "Проверка данных": the data-quality findings of one account over a period. A finding that
// points at a record opens the archive list there (double click or "Показать в архиве").
class QualityDlg : public QDialog
{
    Q_OBJECT

public:
    QualityDlg(const QString& accountText, const archive::quality::Report& report, const std::vector<sctArcZap>& records,
               QWidget* parent = nullptr);

    QTreeWidget* findingsList() const { return m_list; }
    QLabel* summaryLabel() const { return m_summary; }

signals:
    // The record a finding points at, by its identity (stamp and Event).
    void showRecord(const sctArcZap& identity);

private:
    void openCurrent();

    QLabel* m_summary = nullptr;
    QTreeWidget* m_list = nullptr;
    std::vector<sctArcZap> m_targets; // per finding; Event 0 and month 0 when none
};
