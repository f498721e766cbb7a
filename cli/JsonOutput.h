#pragma once

#include <QCommandLineParser>
#include <QJsonDocument>

#include "Command.h"

// --json of the commands that list: the option after the command, beside the global one.
namespace clijson {

void addOption(QCommandLineParser& parser);
bool wanted(const QCommandLineParser& parser, const CliStreams& io);
// One document on standard output, and nothing else there.
void write(CliStreams& io, const QJsonDocument& document);

} // namespace clijson
