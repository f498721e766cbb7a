#pragma once

#include "Command.h"

// The device list: the column captions, then one line per account, tab-separated.
class ListCommand : public DocumentCommand
{
public:
    ListCommand()
        : DocumentCommand(
            { QStringLiteral("list"), QStringLiteral("List the device accounts."), QStringLiteral(""), 0, 0 })
    {
    }

    void addOptions(QCommandLineParser& parser) const override;
    bool speaksJson() const override { return true; }

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
