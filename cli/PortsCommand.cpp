#include "PortsCommand.h"

#include <QJsonArray>
#include <QJsonObject>

#include "JsonOutput.h"
#include "link/ComPortMap.h"

using namespace Qt::Literals::StringLiterals;

void PortsCommand::addOptions(QCommandLineParser& parser) const
{
    clijson::addOption(parser);
}

int PortsCommand::execute(const QCommandLineParser& parser, CliStreams& io)
{
    comm::ComPortMap map;
    map.refresh();
    if (clijson::wanted(parser, io)) {
        QJsonArray ports;
        for (const auto& [number, path] : map.entries()) {
            QJsonObject o;
            o.insert(u"port"_s, QString(u"COM"_s + QString::number(number)));
            o.insert(u"number"_s, number);
            o.insert(u"target"_s, path);
            ports.append(o);
        }
        clijson::write(io, QJsonDocument(ports));
        return cliexit::Ok;
    }
    for (const auto& [number, path] : map.entries())
        io.out << u"COM"_s << number << u'\t' << path << u'\n';
    return cliexit::Ok;
}
