#pragma once

#include "Command.h"

// "db check" and "db copy --to URL": the archive database in use, looked over or copied into
// another (an engineer's file into the company's server).
class DbCommand : public DocumentCommand
{
public:
    DbCommand()
        : DocumentCommand({ QStringLiteral("db"),
                            QStringLiteral("Check the archive database, or copy its rows into another."),
                            QStringLiteral("check | copy"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
