#include "WorkingFolder.h"

#include <QDir>
#include <QFileInfo>

#include "base/AtomicFile.h"
#include "lorn2_version/StockEscIni.h"

using namespace Qt::Literals::StringLiterals;

namespace workfolder {

QString homeFolder()
{
    const QString set = qEnvironmentVariable("LORN2_HOME");
    if (!set.isEmpty())
        return set;
    return QDir::homePath() + u"/Lorn2"_s;
}

bool enter(const Choice& choice, QString* error)
{
    QString folder = choice.folder;
    if (choice.home) {
        folder = homeFolder();
        if (!QDir().mkpath(folder)) {
            *error = u"cannot create the folder '%1'"_s.arg(folder);
            return false;
        }
    }
    if (folder.isEmpty())
        return true;
    if (!QFileInfo(folder).isDir()) {
        *error = u"no such folder '%1'"_s.arg(folder);
        return false;
    }
    if (!QDir::setCurrent(folder)) {
        *error = u"cannot change to folder '%1'"_s.arg(folder);
        return false;
    }
    return true;
}

QByteArray stockPrinterTable()
{
    return QByteArray(kLorn2StockEscIni, qsizetype(sizeof kLorn2StockEscIni) - 1);
}

bool ensurePrinterTable(const QString& folder)
{
    if (folder.isEmpty())
        return true;
    const QString path = QDir(folder).filePath(u"esc.ini"_s);
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return true;
    return writeFileAtomically(path, stockPrinterTable());
}

} // namespace workfolder
