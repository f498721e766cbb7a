#pragma once

#include <vector>

#include <QByteArray>
#include <QFont>
#include <QWidget>

#include "FrameView.h"
#include "archive/PrinterControlTable.h"
#include "storage/ArchiveDatabase.h"
#include "ui/paint/ReportPainter.h"

class CDevData;
class CLorn2Doc;
class QLabel;
class QListWidget;
class QPrinter;
class QPushButton;
class QScrollBar;

// The text area of the configuration report: the text in cells as wide as the font's widest
// character of the code page, scrolled by two separate scroll bars (lines and cells). Only visible lines are drawn.
class CCfgReportText : public QWidget
{
public:
    explicit CCfgReportText(QWidget* parent = nullptr);

    void setText(const QByteArray& text, const PrinterControlTable* controls, int tabSize);
    void setTextFont(const QFont& font);
    void setScroll(int line, int column);

    const QByteArray& text() const { return m_text; }
    const paint::TextLayout& layout() const { return m_layout; }
    const paint::Cells& cells() const { return m_cells; }
    int visibleLines() const;
    int visibleColumns() const;
    // The first and last line the last paint drew; -1 before the first paint.
    int firstPaintedLine() const { return m_firstPainted; }
    int lastPaintedLine() const { return m_lastPainted; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QByteArray m_text;
    paint::TextLayout m_layout;
    paint::DrawOptions m_options;
    QFont m_font;
    paint::Cells m_cells;
    int m_line = 0;
    int m_column = 0;
    int m_firstPainted = -1;
    int m_lastPainted = -1;
};

// The configuration report form: the account, the list "Архив конфигураций" with the current
// configuration and the account's stored snapshots, the report text with its scroll bars, and
// the print and save buttons.
class CCfgReportView : public QWidget, public FrameView
{
    Q_OBJECT

public:
    CCfgReportView(CLorn2Doc& document, int accountIndex, QPrinter& printer, QWidget* parent = nullptr);

    ViewKind kind() const override { return ViewKind::ConfigReport; }
    QWidget* widget() override { return this; }
    void initialUpdate() override;
    // Takes up a changed view font or tab size.
    void repaintView() override;

    // The print dialog, or the print preview, of the report shown.
    void print(bool preview);
    // Prints on any paged device; the pages printed, -1 when it cannot be painted on.
    int printTo(QPagedPaintDevice& device, int fromPage = 0, int toPage = 0) const;
    // The cells of the print font and the numbered page footer.
    paint::PrintOptions printOptions() const;

    // "Configuration. Heatcounter: %s Serial #: %05u", "?" for a type without a name.
    static QString titleFor(const CDevData& account);

    int accountIndex() const { return m_accountIndex; }
    CCfgReportText* textArea() const { return m_text; }
    QScrollBar* verticalBar() const { return m_vbar; }
    QScrollBar* horizontalBar() const { return m_hbar; }
    QListWidget* archiveList() const { return m_list; }
    QLabel* typeLabel() const { return m_type; }
    QLabel* serialLabel() const { return m_serial; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* printButton() const { return m_print; }
    QPushButton* pdfButton() const { return m_pdf; }
    // "Сохранить в PDF...": the printed pages into a PDF file, without the print dialog.
    void savePdf();
    QPushButton* saveButton() const { return m_save; }

signals:
    void commandRequested(int command);
    // "К списку ТС".
    void backToDeviceList();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void onSelectionChanged();
    // Shows the account's report text as it now is.
    void reloadText();
    void updateScrollBars();
    void scrollAction(QScrollBar* bar, int action);

    CLorn2Doc& m_document;
    int m_accountIndex;
    QPrinter& m_printer;
    QPushButton* m_back = nullptr;
    QLabel* m_type = nullptr;
    QLabel* m_serial = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_pdf = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_listLabel = nullptr;
    QListWidget* m_list = nullptr;
    CCfgReportText* m_text = nullptr;
    QScrollBar* m_vbar = nullptr;
    QScrollBar* m_hbar = nullptr;
    // The snapshots listed, in list order after "Текущая".
    std::vector<CfgArcRecord> m_snapshots;
    // A copy: the document's account list may move while the view lives.
    PrinterControlTable m_controls;
};
