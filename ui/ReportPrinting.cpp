#include "ReportPrinting.h"

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include "FileDialog.h"
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

bool savePdf(QWidget* parent, const QPrinter& printer, const QString& defaultPath,
             const std::function<int(QPagedPaintDevice&)>& draw)
{
    FileDialogSpec dialog;
    dialog.title = u"Сохранить в PDF"_s;
    dialog.filter = u"Документы PDF (*.pdf)|*.pdf|Все файлы (*.*)|*.*||"_s;
    dialog.defaultExtension = u"pdf"_s;
    dialog.folder = QFileInfo(defaultPath).absolutePath();
    dialog.defaultName = QFileInfo(defaultPath).fileName();
    const QString path = FileDialog::getSaveFileName(parent, dialog);
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    bool drawn = false;
    if (file.open(QIODevice::WriteOnly)) {
        QPdfWriter writer(&file);
        writer.setPageLayout(printer.pageLayout());
        writer.setResolution(600);
        writer.setCreator(u"Lorn2"_s);
        drawn = draw(writer) > 0;
    }
    if (!drawn || !file.commit()) {
        MessageBox::error(u"Не удалось сохранить файл PDF: "_s + path);
        return false;
    }
    return true;
}

} // namespace ui
