#pragma once

#include <QByteArrayView>
#include <QFont>
#include <QString>

#include "Command.h"

class PrinterControlTable;

// The report view from a shell: a ".tsr" file drawn as UTF-8 text or printed to a PDF file.
class RenderCommand : public Command
{
public:
    RenderCommand()
        : Command({ QStringLiteral("render"), QStringLiteral("Draw a report file as text or print it to PDF."),
                    QStringLiteral("FILE.tsr"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int execute(const QCommandLineParser& parser, CliStreams& io) override;
};

// What render does with a report text, for the commands that write one the same way. Each shows
// "Failed to save file: PATH" and answers false when the file cannot be written.
namespace render {

// The settings of the working folder's "lorn2.ini" that drawing takes.
struct DrawSettings
{
    int tabSize = 8;
    QFont printFont;
};
DrawSettings readDrawSettings();

// The table render and report use: `escPath` when given (a file error fails), else "esc.ini" of
// the working folder when it exists.
bool loadControlTable(const QString& escPath, PrinterControlTable& table);

// "-" writes to `out`.
bool writeText(QByteArrayView report, const QString& path, const PrinterControlTable& table, int tabSize,
               QTextStream& out);
bool writePdf(QByteArrayView report, const QString& path, const PrinterControlTable& table,
              const DrawSettings& settings);

} // namespace render
