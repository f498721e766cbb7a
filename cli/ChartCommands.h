#pragma once

#include "Command.h"

// The archive chart of one account drawn into a PNG, SVG or PDF file.
class ChartCommand : public DocumentCommand
{
public:
    ChartCommand()
        : DocumentCommand({ QStringLiteral("chart"), QStringLiteral("Draw an account's archive chart to a file."),
                            QStringLiteral("SERIAL"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// The data-quality summary of accounts over a period.
class QualityCommand : public DocumentCommand
{
public:
    QualityCommand()
        : DocumentCommand({ QStringLiteral("quality"), QStringLiteral("Check the archives of accounts for gaps and errors."),
                            QStringLiteral("[SERIAL...]"), 0, -1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;
    bool speaksJson() const override { return true; }

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
