#include "ListCommand.h"

#include <QStringList>

#include "CliShell.h"
#include "app/CLorn2Doc.h"
#include "app/DeviceListColumns.h"

int ListCommand::executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell,
                                     const QCommandLineParser& parser, CliStreams& io)
{
    Q_UNUSED(app);
    Q_UNUSED(parser);
    QStringList header;
    for (std::size_t c = 0; c < kDeviceListColumns.size(); ++c)
        header << deviceListCaption(static_cast<int>(c));
    io.out << header.join(u'\t') << u'\n';
    const std::vector<int>& rows = shell.rows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const CDevData* account = doc.account(rows[r]);
        if (account == nullptr)
            continue;
        io.out << deviceListRowNumber(int(r)) << u'\t' << deviceListCells(*account).join(u'\t') << u'\n';
    }
    return cliexit::Ok;
}
