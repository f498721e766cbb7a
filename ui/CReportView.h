#pragma once

#include <functional>

#include <QHash>
#include <QWidget>

#include "FrameView.h"
#include "archive/PrinterControlTable.h"

class CDevData;
class CLorn2Doc;
class CReportStatic;
class QLabel;
class QPushButton;

// The report form: the account and how the report was made, the report text, and the report
// commands. It shows the report of the account it was opened for.
class CReportView : public QWidget, public FrameView
{
    Q_OBJECT

public:
    CReportView(CLorn2Doc& document, int accountIndex, QWidget* parent = nullptr);

    ViewKind kind() const override { return ViewKind::Report; }
    QWidget* widget() override { return this; }
    void initialUpdate() override;
    // Takes up changed fonts and tab size.
    void repaintView() override;

    void updateCommandButtons(const std::function<bool(int)>& isEnabled);

    int accountIndex() const { return m_accountIndex; }
    CReportStatic* drawing() const { return m_drawing; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* commandButton(int command) const { return m_commandButtons.value(command); }
    QPushButton* pdfButton() const { return m_pdf; }
    QLabel* serialLabel() const { return m_serial; }
    QLabel* typeLabel() const { return m_type; }
    QLabel* kindLabel() const { return m_kind; }
    QLabel* fromLabel() const { return m_from; }
    QLabel* toLabel() const { return m_to; }
    QLabel* contourLabel() const { return m_contour; }
    // "Отчёт. ТС: %s Серийный №: %05u" for the account.
    static QString titleFor(const CDevData& account);

signals:
    void commandRequested(int command);
    // "К списку ТС".
    void backToDeviceList();
    // "Сохранить в PDF...".
    void pdfRequested();

private:
    QPushButton* addCommandButton(int command, const QString& caption);
    void fillLabels(const CDevData& account);

    CLorn2Doc& m_document;
    int m_accountIndex;
    QPushButton* m_back = nullptr;
    QHash<int, QPushButton*> m_commandButtons;
    QPushButton* m_pdf = nullptr;
    QLabel* m_serial = nullptr;
    QLabel* m_type = nullptr;
    QLabel* m_kind = nullptr;
    QLabel* m_from = nullptr;
    QLabel* m_to = nullptr;
    QLabel* m_contour = nullptr;
    CReportStatic* m_drawing = nullptr;
    // A copy: the document's account list may move while the view lives.
    PrinterControlTable m_controls;
};
