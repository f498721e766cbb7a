#pragma once

#include "Command.h"

// The COM-number map, after the machine's serial devices have been numbered into it.
class PortsCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("ports"); }
    QString description() const override { return QStringLiteral("List the COM ports and their devices."); }

protected:
    int execute(const QCommandLineParser& parser, CliStreams& io) override;
};
