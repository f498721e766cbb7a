#include "ListCommand.h"

#include <QStringList>

#include "app/DeviceListColumns.h"

int ListCommand::executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell,
                                     const QCommandLineParser& parser, CliStreams& io)
{
    Q_UNUSED(app);
    Q_UNUSED(doc);
    Q_UNUSED(shell);
    Q_UNUSED(parser);
    QStringList header;
    for (std::size_t c = 0; c < kDeviceListColumns.size(); ++c)
        header << deviceListCaption(static_cast<int>(c));
    io.out << header.join(u'\t') << u'\n';
    return cliexit::Ok;
}
