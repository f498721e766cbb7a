#pragma once

#include "Command.h"

// The COM-number map, after the machine's serial devices have been numbered into it.
class PortsCommand : public Command
{
public:
    PortsCommand()
        : Command({ QStringLiteral("ports"),
                    QStringLiteral("List the COM ports and what they stand for; add or remove one."),
                    QStringLiteral("[add COMn TARGET | remove COMn]"), 0, 3 })
    {
    }

    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;
    bool speaksJson() const override { return true; }

protected:
    int execute(const QCommandLineParser& parser, CliStreams& io) override;
};
