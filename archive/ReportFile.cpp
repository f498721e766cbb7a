#include "ReportFile.h"

#include <QFile>

#include "base/AtomicFile.h"

using namespace Qt::Literals::StringLiterals;

namespace reportfile {

bool load(const QString& path, QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr)
            *error = file.errorString();
        return false;
    }
    // A pipe or device reports no size: read it in blocks, up to the same limit.
    QByteArray read;
    if (file.size() > kMaxReportFileSize) {
        if (error != nullptr)
            *error = u"File too large"_s;
        return false;
    }
    while (!file.atEnd() && read.size() <= kMaxReportFileSize) {
        const QByteArray block = file.read(1 << 20);
        if (block.isEmpty())
            break;
        read += block;
    }
    if (file.error() != QFileDevice::NoError || read.size() > kMaxReportFileSize) {
        if (error != nullptr)
            *error = file.error() != QFileDevice::NoError ? file.errorString() : u"File too large"_s;
        return false;
    }
    bytes = std::move(read);
    return true;
}

bool save(const QString& path, QByteArrayView bytes, QString* error)
{
    return writeFileAtomically(path, bytes, error);
}

} // namespace reportfile
