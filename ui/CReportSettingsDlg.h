#pragma once

#include <QDialog>

#include "app/Shell.h"

class QComboBox;
class QDateEdit;
class QRadioButton;

// "Параметры отчёта": the contour, the kind and the period of a report.
class CReportSettingsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CReportSettingsDlg(const ReportSettingsRequest& request, QWidget* parent = nullptr);

    // The request with the choices of an accepted dialog.
    const ReportSettingsRequest& request() const { return m_request; }

    QComboBox* contourBox() const { return m_contour; }
    QRadioButton* hourlyButton() const { return m_hourly; }
    QRadioButton* dailyButton() const { return m_daily; }
    QDateEdit* fromEdit() const { return m_fromEdit; }
    QDateEdit* toEdit() const { return m_toEdit; }

    void accept() override;

private:
    void updateToEdit();

    ReportSettingsRequest m_request;
    QComboBox* m_contour = nullptr;
    QRadioButton* m_hourly = nullptr;
    QRadioButton* m_daily = nullptr;
    QDateEdit* m_fromEdit = nullptr;
    QDateEdit* m_toEdit = nullptr;
};
