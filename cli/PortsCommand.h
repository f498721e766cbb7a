#pragma once

#include "Command.h"

// The COM-number map, after the machine's serial devices have been numbered into it.
class PortsCommand : public Command
{
public:
    PortsCommand()
        : Command({ QStringLiteral("ports"), QStringLiteral("List the COM ports and their devices."),
                    QStringLiteral(""), 0, 0 })
    {
    }

    void addOptions(QCommandLineParser& parser) const override;
    bool speaksJson() const override { return true; }

protected:
    int execute(const QCommandLineParser& parser, CliStreams& io) override;
};
