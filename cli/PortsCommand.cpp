#include "PortsCommand.h"

#include "link/ComPortMap.h"

using namespace Qt::Literals::StringLiterals;

int PortsCommand::execute(const QCommandLineParser& parser, CliStreams& io)
{
    Q_UNUSED(parser);
    comm::ComPortMap map;
    map.refresh();
    for (const auto& [number, path] : map.entries())
        io.out << u"COM"_s << number << u'\t' << path << u'\n';
    return cliexit::Ok;
}
