#pragma once

#include <memory>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "base/MessageBox.h"

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

// The non-empty lines of an INI file's section, in file order ("key=value").
QStringList iniSection(const QString& path, const QString& section);

} // namespace testsupport
