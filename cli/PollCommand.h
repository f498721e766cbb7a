#pragma once

#include "Command.h"

// Reads the archives of the accounts named, or of all, in one run: lines in parallel, the
// summary on standard error (or JSON on standard output), a line per account in the month's log.
class PollCommand : public DocumentCommand
{
public:
    PollCommand()
        : DocumentCommand({QStringLiteral("poll"),
                           QStringLiteral("Read the new archive records of many meters at once, lines in parallel."),
                           QStringLiteral("[SERIAL...]"), 0, -1})
    {
    }

    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;
    bool speaksJson() const override { return true; }

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
