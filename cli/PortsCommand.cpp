#include "PortsCommand.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSerialPortInfo>

#include "JsonOutput.h"
#include "base/MessageBox.h"
#include "link/ComPortMap.h"
#include "link/LineTarget.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// What a user recognises a port by: the adapter's maker and model, or the network kind.
QString describe(const QString& target, const QList<QSerialPortInfo>& devices)
{
    const std::optional<comm::LineTarget> t = comm::parseLineTarget(target);
    if (!t)
        return {};
    const QString adapter = t->kind == comm::LineTarget::Kind::Device ? comm::adapterName(target, devices) : QString();
    return adapter.isEmpty() ? t->kindName() : adapter;
}

int portNumber(const QString& name)
{
    const int n = comm::ComPortNumber(name);
    return n >= 1 && n <= comm::ComPortMap::kMaxPort && name.size() == 3 + QString::number(n).size() ? n : -1;
}

} // namespace

void PortsCommand::addOptions(QCommandLineParser& parser) const
{
    clijson::addOption(parser);
}

bool PortsCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return true;
    if (args[0] == u"add"_s) {
        if (args.size() != 3 || portNumber(args[1]) < 0) {
            *error = u"ports add COMn TARGET: a port COM1 to COM255 and a target expected"_s;
            return false;
        }
        if (!comm::parseLineTarget(args[2])) {
            *error = u"ports add: '%1' is no device path, tcp://HOST:PORT or rfc2217://HOST:PORT"_s.arg(args[2]);
            return false;
        }
        return true;
    }
    if (args[0] == u"remove"_s) {
        if (args.size() != 2 || portNumber(args[1]) < 0) {
            *error = u"ports remove COMn: a port COM1 to COM255 expected"_s;
            return false;
        }
        return true;
    }
    *error = u"unknown action '%1': add or remove expected"_s.arg(args[0]);
    return false;
}

int PortsCommand::execute(const QCommandLineParser& parser, CliStreams& io)
{
    comm::ComPortMap map;
    const QStringList args = parser.positionalArguments();
    if (!args.isEmpty() && args[0] == u"add"_s) {
        if (!map.setEntry(portNumber(args[1]), args[2])) {
            MessageBox::error(u"Cannot write the COM-number map of %1"_s.arg(map.settingsPath()));
            return cliexit::Failed;
        }
        return cliexit::Ok;
    }
    if (!args.isEmpty() && args[0] == u"remove"_s) {
        if (!map.removeEntry(portNumber(args[1]))) {
            MessageBox::error(u"%1 is not in the COM-number map"_s.arg(args[1].toUpper()));
            return cliexit::Failed;
        }
        return cliexit::Ok;
    }

    map.refresh();
    const QList<QSerialPortInfo> devices = QSerialPortInfo::availablePorts();
    if (clijson::wanted(parser, io)) {
        QJsonArray ports;
        for (const auto& [number, target] : map.entries()) {
            const std::optional<comm::LineTarget> t = comm::parseLineTarget(target);
            QJsonObject o;
            o.insert(u"port"_s, QString(u"COM"_s + QString::number(number)));
            o.insert(u"number"_s, number);
            o.insert(u"target"_s, target);
            o.insert(u"kind"_s, !t ? u"unknown"_s
                                  : t->kind == comm::LineTarget::Kind::Tcp     ? u"tcp"_s
                                  : t->kind == comm::LineTarget::Kind::Rfc2217 ? u"rfc2217"_s
                                                                               : u"device"_s);
            o.insert(u"description"_s, describe(target, devices));
            ports.append(o);
        }
        clijson::write(io, QJsonDocument(ports));
        return cliexit::Ok;
    }
    for (const auto& [number, target] : map.entries())
        io.out << u"COM"_s << number << u'\t' << target << u'\t' << describe(target, devices) << u'\n';
    return cliexit::Ok;
}
