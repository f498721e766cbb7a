#include "RenderCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>

#include "app/CLorn2App.h"
#include "app/ProfileStore.h"
#include "app/ProgramSettings.h"
#include "archive/PrinterControlTable.h"
#include "base/MessageBox.h"
#include "ui/paint/ReportPainter.h"
#include "ui/paint/SettingsFont.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// A printer's unprintable border stands in for the page margins of a real printer.
constexpr double kPdfMarginMm = 10.0;
constexpr int kPdfResolution = 600;

void saveFailed(const QString& path)
{
    MessageBox::error(u"Failed to save file: "_s + path);
}

} // namespace

namespace render {

DrawSettings readDrawSettings()
{
    DrawSettings s;
    const QString ini = QDir::current().absoluteFilePath(QString::fromLatin1(CLorn2App::kIniName));
    LogFont font;
    if (QFileInfo::exists(ini)) {
        const ProfileStore store(ini);
        s.tabSize = settings::readTabSize(store);
        font = settings::readFont(store, settings::kSectionPrintFont);
    }
    s.printFont = paint::fontFromSettings(font);
    return s;
}

bool loadControlTable(const QString& escPath, PrinterControlTable& table)
{
    if (!escPath.isEmpty())
        return table.load(escPath, true) == 0;
    const QString fallback = QDir::current().absoluteFilePath(u"esc.ini"_s);
    if (QFileInfo::exists(fallback))
        table.load(fallback, true);
    return true;
}

bool writeText(QByteArrayView report, const QString& path, const PrinterControlTable& table, int tabSize,
               QTextStream& out)
{
    const paint::TextLayout layout = paint::measure(report, tabSize);
    const QByteArray utf8 = paint::toUtf8(report, layout, { &table, tabSize });
    if (path == u"-"_s) {
        out << QString::fromUtf8(utf8);
        out.flush();
        return true;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(utf8) != utf8.size() || !file.commit()) {
        saveFailed(path);
        return false;
    }
    return true;
}

bool writePdf(QByteArrayView report, const QString& path, const PrinterControlTable& table,
              const DrawSettings& settings)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        saveFailed(path);
        return false;
    }
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setResolution(kPdfResolution);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
                                         QPageLayout::Millimeter));
        writer.setCreator(u"lorn2-cli"_s);
        const paint::TextLayout layout = paint::measure(report, settings.tabSize);
        paint::PrintOptions options;
        options.draw = { &table, settings.tabSize };
        pages = paint::printText(writer, report, layout, settings.printFont, options);
    }
    if (pages < 1 || !file.commit()) {
        saveFailed(path);
        return false;
    }
    return true;
}

} // namespace render

void RenderCommand::addOptions(QCommandLineParser& parser) const
{
    parser.addOption(QCommandLineOption(u"text"_s, u"Write the drawn text as UTF-8 to OUT (- for standard output)."_s,
                                        u"OUT"_s));
    parser.addOption(QCommandLineOption(u"pdf"_s, u"Print the report to the PDF file OUT."_s, u"OUT"_s));
    parser.addOption(QCommandLineOption(
        u"esc"_s, u"Printer control table (default: esc.ini of the working folder)."_s, u"FILE"_s));
}

bool RenderCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    const bool text = parser.isSet(u"text"_s);
    const bool pdf = parser.isSet(u"pdf"_s);
    if (text == pdf) {
        *error = u"give either --text OUT or --pdf OUT"_s;
        return false;
    }
    const QString out = parser.value(text ? u"text"_s : u"pdf"_s);
    if (out.isEmpty() || (pdf && out == u"-"_s)) {
        *error = text ? u"--text: a file name or - expected"_s : u"--pdf: a file name expected"_s;
        return false;
    }
    if (parser.isSet(u"esc"_s) && parser.value(u"esc"_s).isEmpty()) {
        *error = u"--esc: a file name expected"_s;
        return false;
    }
    return true;
}

int RenderCommand::execute(const QCommandLineParser& parser, CliStreams& io)
{
    const QString path = parser.positionalArguments().at(0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBox::error(u"File error: "_s + file.errorString());
        return cliexit::Failed;
    }
    const QByteArray report = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        MessageBox::error(u"File error: "_s + file.errorString());
        return cliexit::Failed;
    }

    PrinterControlTable table;
    if (!render::loadControlTable(parser.value(u"esc"_s), table))
        return cliexit::Failed;
    const render::DrawSettings settings = render::readDrawSettings();
    const bool ok = parser.isSet(u"text"_s)
        ? render::writeText(report, parser.value(u"text"_s), table, settings.tabSize, io.out)
        : render::writePdf(report, parser.value(u"pdf"_s), table, settings);
    return ok ? cliexit::Ok : cliexit::Failed;
}
