#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

// Writes a file so that a failure part-way leaves the previous file untouched: the bytes go to
// a temporary file beside it, which replaces the target only when complete.
class AtomicFile
{
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile(); // an uncommitted file is discarded

    bool open();
    bool write(QByteArrayView bytes);
    bool commit();
    QString errorString() const;

private:
    QSaveFile m_file;
    bool m_failed = false;
};

// One-shot form; on failure `error` gets the system's text.
bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error = nullptr);
