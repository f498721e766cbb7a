#pragma once

#include <array>
#include <functional>

#include <QDate>
#include <QWidget>

#include "FrameView.h"
#include "archive/ChartSeries.h"

class CDevData;
class CLorn2Doc;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPrinter;
class QPushButton;
class QRadioButton;

namespace chartui {
class ArchiveChart;
class ArchiveChartView;
} // namespace chartui

// "График": an account's archive as a chart over a period, hourly or daily, one contour, the
// series chosen by check boxes; zoom, pan, tooltips, saving and printing.
class CChartView : public QWidget, public FrameView
{
    Q_OBJECT

public:
    CChartView(CLorn2Doc& document, int accountIndex, QPrinter& printer, QWidget* parent = nullptr);

    ViewKind kind() const override { return ViewKind::Chart; }
    QWidget* widget() override { return this; }
    void initialUpdate() override;

    // The period shown first; without one, the archive's last month.
    void setInitialPeriod(const QDate& from, const QDate& to);

    int accountIndex() const { return m_accountIndex; }
    QDate periodFrom() const;
    QDate periodTo() const;
    chartui::ArchiveChart* chart() const;
    chartui::ArchiveChartView* chartView() const { return m_view; }
    QDateEdit* fromPicker() const { return m_fromEdit; }
    QDateEdit* toPicker() const { return m_toEdit; }
    QRadioButton* dailyButton() const { return m_daily; }
    QComboBox* contourBox() const { return m_contour; }
    QCheckBox* seriesBox(archive::chart::Quantity q) const { return m_seriesBoxes[std::size_t(q)]; }
    QPushButton* applyButton() const { return m_apply; }

    // "Сохранить как...": PNG, SVG or PDF by the chosen name; false when cancelled or failed.
    bool saveAs();
    bool print();

signals:
    void commandRequested(int command);
    void backToDeviceList();
    void backToArchive();

private:
    const CDevData* account() const;
    void rebuild();
    void updateShown();
    void updateZoomButton();

    CLorn2Doc& m_document;
    int m_accountIndex;
    QPrinter& m_printer;
    QDate m_initialFrom, m_initialTo;

    QLabel* m_identity = nullptr;
    QDateEdit* m_fromEdit = nullptr;
    QDateEdit* m_toEdit = nullptr;
    QPushButton* m_apply = nullptr;
    QRadioButton* m_hourly = nullptr;
    QRadioButton* m_daily = nullptr;
    QComboBox* m_contour = nullptr;
    std::array<QCheckBox*, archive::chart::kQuantities> m_seriesBoxes{};
    chartui::ArchiveChartView* m_view = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_resetZoom = nullptr;
};
