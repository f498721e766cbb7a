#pragma once

#include "Command.h"

// "Создать отчёт из архива...": the report settings come from the options, the report is saved
// to -o or the document's path, and may also be written as text or PDF.
class ReportCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("report"); }
    QString description() const override { return QStringLiteral("Build an hourly or daily report from an archive."); }
    QString arguments() const override { return QStringLiteral("SERIAL"); }
    // --daily takes FROM as its value and TO as the second positional argument.
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 2; }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
