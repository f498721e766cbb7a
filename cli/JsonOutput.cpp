#include "JsonOutput.h"

using namespace Qt::Literals::StringLiterals;

namespace clijson {

void addOption(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption(u"json"_s, u"Write one JSON document to standard output."_s));
}

bool wanted(const QCommandLineParser& parser, const CliStreams& io)
{
    return io.json || parser.isSet(u"json"_s);
}

void write(CliStreams& io, const QJsonDocument& document)
{
    io.out << QString::fromUtf8(document.toJson(QJsonDocument::Indented));
    io.out.flush();
}

} // namespace clijson
