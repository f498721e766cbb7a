#pragma once

#include <utility>
#include <vector>

#include <QDate>
#include <QDialog>
#include <QPageLayout>

#include "app/ReportBatch.h"

class CDevData;
class CLorn2Doc;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Отчёты по всем ТС": the kind, period and contour of the reports, the folder they go to and
// whether a PDF goes beside each. OK writes them all behind a progress dialog and says what was
// written and what was skipped.
class ReportsAllDlg : public QDialog
{
    Q_OBJECT

public:
    // PDF pages take `pageLayout`, the page set-up of the program's printer.
    ReportsAllDlg(CLorn2Doc& document, std::vector<int> accounts, const QPageLayout& pageLayout,
                  QWidget* parent = nullptr);

    // What the dialog proposes: yesterday for an hourly report, last month for a daily one.
    static QDate defaultHourlyDay(const QDate& today);
    static std::pair<QDate, QDate> defaultDailyPeriod(const QDate& today);

    QRadioButton* hourlyButton() const { return m_hourly; }
    QRadioButton* dailyButton() const { return m_daily; }
    QDateEdit* fromEdit() const { return m_fromEdit; }
    QDateEdit* toEdit() const { return m_toEdit; }
    QComboBox* contourBox() const { return m_contour; }
    QLineEdit* folderEdit() const { return m_folder; }
    QPushButton* browseButton() const { return m_browse; }
    QCheckBox* pdfBox() const { return m_pdf; }
    // What the last run did.
    const reportbatch::Result& batchResult() const { return m_result; }

    // Checks the choices, then writes the reports; the dialog stays open when they are refused.
    void accept() override;

private:
    void kindChanged();
    void browse();
    bool writePdf(const CDevData& account, const QByteArray& report, const QString& path) const;
    void showSummary(const QString& folder) const;

    CLorn2Doc& m_document;
    std::vector<int> m_accounts;
    QPageLayout m_pageLayout;
    reportbatch::Result m_result;
    QRadioButton* m_hourly = nullptr;
    QRadioButton* m_daily = nullptr;
    QDateEdit* m_fromEdit = nullptr;
    QDateEdit* m_toEdit = nullptr;
    QComboBox* m_contour = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    QCheckBox* m_pdf = nullptr;
};
