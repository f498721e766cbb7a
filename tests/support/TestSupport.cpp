#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

using namespace Qt::Literals::StringLiterals;

namespace testsupport {

MessageRecorder::MessageRecorder()
    : m_box(std::make_shared<RecordingMessageBox>())
    , m_scope(m_box)
{
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString binary(const QString& name)
{
    QString dir = QProcessEnvironment::systemEnvironment().value(u"LORN2_BIN_DIR"_s);
    if (dir.isEmpty())
        dir = QStringLiteral(LORN2_BUILD_BIN_DIR);
    return dir + u'/' + name;
}

QStringList iniSection(const QString& path, const QString& section)
{
    QStringList lines;
    bool inside = false;
    const QString header = u'[' + section + u']';
    for (const QByteArray& raw : readFile(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inside = line == header;
            continue;
        }
        if (inside && !line.isEmpty())
            lines << line;
    }
    return lines;
}

ProgramRun runProgram(const QString& name, const QStringList& args, const QString& workingDir, int timeoutMs)
{
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(binary(name), args);
    ProgramRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArrayList readLines(QProcess& process, int count, int timeoutMs)
{
    QByteArrayList lines;
    QElapsedTimer clock;
    clock.start();
    while (lines.size() < count) {
        while (lines.size() < count && process.canReadLine())
            lines << process.readLine().trimmed();
        const int left = timeoutMs - int(clock.elapsed());
        if (lines.size() >= count || left <= 0 || !process.waitForReadyRead(left))
            break;
    }
    return lines;
}

} // namespace testsupport
