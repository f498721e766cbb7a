#pragma once

#include "Command.h"

// "Создать отчёт из архива...": the report settings come from the options, the report is saved
// to -o or the document's path, and may also be written as text or PDF. With --all, one report
// per account goes into the folder --dir.
class ReportCommand : public DocumentCommand
{
public:
    ReportCommand()
        : DocumentCommand({ QStringLiteral("report"),
                            QStringLiteral("Build an hourly or daily report from an archive."),
                            QStringLiteral("(SERIAL | --all)"), 0, 2 })
    {
    }
    // --daily takes FROM as its value and TO as the next positional argument.
    void addOptions(QCommandLineParser& parser) const override;
    QStringList prepareArguments(const QStringList& args) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;

private:
    int reportAll(CLorn2Doc& doc, const QCommandLineParser& parser, CliStreams& io);
};
