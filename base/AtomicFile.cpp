#include "AtomicFile.h"

AtomicFile::AtomicFile(const QString& path)
    : m_file(path)
{
}

AtomicFile::~AtomicFile()
{
    if (m_file.isOpen())
        m_file.cancelWriting();
}

bool AtomicFile::open()
{
    m_failed = !m_file.open(QIODevice::WriteOnly);
    return !m_failed;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    if (m_failed || !m_file.isOpen())
        return false;
    if (m_file.write(bytes.data(), bytes.size()) != bytes.size())
        m_failed = true;
    return !m_failed;
}

bool AtomicFile::commit()
{
    if (!m_file.isOpen())
        return false;
    if (m_failed) {
        m_file.cancelWriting();
        m_file.commit();
        return false;
    }
    return m_file.commit();
}

QString AtomicFile::errorString() const
{
    return m_file.errorString();
}

bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error)
{
    AtomicFile file(path);
    const bool ok = file.open() && file.write(bytes) && file.commit();
    if (!ok && error != nullptr)
        *error = file.errorString();
    return ok;
}
