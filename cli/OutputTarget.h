#pragma once

#include <memory>

#include <QString>
#include <QTemporaryDir>

#include "Command.h"

// A FILE argument that may be "-": the command writes into a temporary file of the same kind,
// whose bytes go to standard output once the command has succeeded.
class OutputTarget
{
public:
    // `suffix` (".csv", ".cfg", ".tsr") is the kind of file written for "-".
    OutputTarget(const QString& argument, const QString& suffix);

    bool isStdout() const { return m_dir != nullptr; }
    // The absolute path to write to.
    QString path() const { return m_path; }
    // Copies the written bytes to standard output for "-"; returns `succeeded` otherwise.
    bool finish(bool succeeded, CliStreams& io) const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};
