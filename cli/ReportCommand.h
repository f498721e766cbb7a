#pragma once

#include "Command.h"

// "Создать отчёт из архива...": the report settings come from the options, the report is saved
// to -o or the document's path, and may also be written as text or PDF.
class ReportCommand : public DocumentCommand
{
public:
    ReportCommand()
        : DocumentCommand({ QStringLiteral("report"),
                            QStringLiteral("Build an hourly or daily report from an archive."),
                            QStringLiteral("SERIAL"), 1, 2 })
    {
    }
    // --daily takes FROM as its value and TO as the second positional argument.
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
