#include "OutputTarget.h"

#include <cstdio>

#include <QFile>
#include <QFileInfo>

#include "base/MessageBox.h"

using namespace Qt::Literals::StringLiterals;

OutputTarget::OutputTarget(const QString& argument, const QString& suffix)
{
    if (argument != u"-"_s) {
        m_path = QFileInfo(argument).absoluteFilePath();
        return;
    }
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(u"out"_s + suffix);
}

bool OutputTarget::finish(bool succeeded, CliStreams& io) const
{
    if (!succeeded || !isStdout())
        return succeeded;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBox::error(u"Failed to read file: "_s + m_path);
        return false;
    }
    const QByteArray bytes = file.readAll();
    // The file's own bytes (windows-1251, IBM866), not text re-encoded by the stream.
    io.out.flush();
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) == std::size_t(bytes.size());
    std::fflush(stdout);
    return written;
}
