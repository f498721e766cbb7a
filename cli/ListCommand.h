#pragma once

#include "Command.h"

// The device list: the column captions, then one line per account, tab-separated.
class ListCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("list"); }
    QString description() const override { return QStringLiteral("List the device accounts."); }

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
