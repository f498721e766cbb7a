#pragma once

#include <functional>

#include <QByteArray>
#include <QFont>
#include <QString>

class PrinterControlTable;
class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace ui {

// A report text and what its drawing needs.
struct ReportPrintJob
{
    QByteArray text;
    const PrinterControlTable* controls = nullptr;
    int tabSize = 8;
    QFont printFont;
};

// Prints on any paged device with the print font fitted to the page; the pages printed, -1 when
// the device cannot be painted on. `fromPage`/`toPage` are 1-based, 0 for no limit.
int printReportTo(QPagedPaintDevice& device, const ReportPrintJob& job, int fromPage = 0, int toPage = 0);

// The print dialog, then printing on the printer it set up; false when cancelled or failed.
bool printReport(QWidget* parent, QPrinter& printer, const ReportPrintJob& job);

// The print preview, from which the user may print.
void previewReport(QWidget* parent, QPrinter& printer, const ReportPrintJob& job);

// "Сохранить в PDF...": asks for a file name (proposing `defaultPath`) and draws the pages with
// `draw`, the same print code, on the printer's page set-up, without the print dialog. False
// when cancelled or failed (the message was shown).
bool savePdf(QWidget* parent, const QPrinter& printer, const QString& defaultPath,
             const std::function<int(QPagedPaintDevice&)>& draw);

} // namespace ui
