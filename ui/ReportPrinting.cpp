#include "ReportPrinting.h"

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

#include "base/MessageBox.h"
#include "ui/paint/ReportPainter.h"

using namespace Qt::Literals::StringLiterals;

namespace ui {

int printReportTo(QPagedPaintDevice& device, const ReportPrintJob& job, int fromPage, int toPage)
{
    paint::PrintOptions options;
    options.draw.controls = job.controls;
    options.draw.tabSize = job.tabSize;
    options.fromPage = fromPage;
    options.toPage = toPage;
    const paint::TextLayout layout = paint::measure(job.text, job.tabSize);
    return paint::printText(device, job.text, layout, job.printFont, options);
}

namespace {

bool printOnPrinter(QPrinter& printer, const ReportPrintJob& job)
{
    const bool range = printer.printRange() == QPrinter::PageRange;
    const int pages = printReportTo(printer, job, range ? printer.fromPage() : 0, range ? printer.toPage() : 0);
    if (pages < 0) {
        MessageBox::error(u"Не удалось начать печать."_s);
        return false;
    }
    return true;
}

} // namespace

bool printReport(QWidget* parent, QPrinter& printer, const ReportPrintJob& job)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return printOnPrinter(printer, job);
}

void previewReport(QWidget* parent, QPrinter& printer, const ReportPrintJob& job)
{
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(u"Предварительный просмотр"_s);
    if (auto* pages = preview.findChild<QPrintPreviewWidget*>())
        pages->setViewMode(QPrintPreviewWidget::SinglePageView);
    // The preview lays out every page; printing from it goes through the same drawing.
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&job](QPrinter* target) { printReportTo(*target, job); });
    preview.exec();
}

} // namespace ui
