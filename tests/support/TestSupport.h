#pragma once

#include <memory>

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include "base/MessageBox.h"

class QProcess;

namespace testsupport {

// A message recorder installed for the lifetime of the object.
class MessageRecorder
{
public:
    MessageRecorder();
    RecordingMessageBox& operator*() { return *m_box; }
    RecordingMessageBox* operator->() { return m_box.get(); }

private:
    std::shared_ptr<RecordingMessageBox> m_box;
    ScopedMessageBoxBackend m_scope;
};

QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

// A program of the build, e.g. "lorn2-cli".
QString binary(const QString& name);

// A program of the build run to its end: exit code (-1 when it crashed or timed out) and its
// output as UTF-8.
struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};
ProgramRun runProgram(const QString& name, const QStringList& args, const QString& workingDir = QString(),
                      int timeoutMs = 30000);

// The first `count` lines a started program prints (without their line ends), fewer when it
// prints no more within the time; for a program that says where it listens before serving.
QByteArrayList readLines(QProcess& process, int count, int timeoutMs = 5000);

// The non-empty lines of an INI file's section, in file order ("key=value").
QStringList iniSection(const QString& path, const QString& section);

} // namespace testsupport
