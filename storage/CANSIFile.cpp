#include "CANSIFile.h"

#include "base/AtomicFile.h"
#include "base/CodePage.h"

namespace {

constexpr qint64 kChunk = 64 * 1024;

bool isLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

CANSIFile::CANSIFile() = default;

CANSIFile::~CANSIFile() = default;

bool CANSIFile::open(const QString& path, Mode mode)
{
    close();
    m_failed = false;
    m_error.clear();
    if (mode == Mode::Write) {
        m_out = std::make_unique<AtomicFile>(path);
        if (!m_out->open()) {
            m_error = m_out->errorString();
            m_out.reset();
            m_failed = true;
            return false;
        }
        return true;
    }
    m_in.setFileName(path);
    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    if (!m_in.open(QIODevice::ReadOnly)) {
        m_error = m_in.errorString();
        m_failed = true;
        return false;
    }
    return true;
}

bool CANSIFile::isOpen() const
{
    return m_out != nullptr || m_in.isOpen();
}

bool CANSIFile::write(QStringView text)
{
    if (m_out == nullptr || m_failed)
        return false;
    QByteArray bytes = codepage::toAnsi(text);
    bytes.replace("\n", "\r\n");
    if (!m_out->write(bytes)) {
        m_error = m_out->errorString();
        m_failed = true;
        return false;
    }
    return true;
}

// Reads the next chunk behind what is left of the buffer; false when nothing more came.
bool CANSIFile::fill()
{
    if (m_eof || !m_in.isOpen())
        return false;
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    const qint64 n = m_in.read(m_buffer.data() + old, kChunk);
    m_buffer.resize(old + (n > 0 ? qsizetype(n) : 0));
    if (n < 0) {
        m_error = m_in.errorString();
        m_failed = true;
    }
    if (n <= 0)
        m_eof = true;
    return n > 0;
}

bool CANSIFile::readLine(QString& line)
{
    line.clear();
    if (!m_in.isOpen())
        return false;
    // Blank lines, including those at the very start, are passed over.
    for (;;) {
        while (m_pos < m_buffer.size() && isLineBreak(m_buffer[m_pos]))
            ++m_pos;
        if (m_pos < m_buffer.size() || !fill())
            break;
    }
    if (m_pos >= m_buffer.size())
        return false;
    qsizetype scanned = m_pos;
    for (;;) {
        while (scanned < m_buffer.size() && !isLineBreak(m_buffer[scanned]))
            ++scanned;
        if (scanned < m_buffer.size())
            break;
        const qsizetype offset = scanned - m_pos;
        if (!fill()) {
            scanned = m_buffer.size();
            break;
        }
        scanned = m_pos + offset;
    }
    line = codepage::fromAnsi(QByteArrayView(m_buffer).sliced(m_pos, scanned - m_pos));
    m_pos = scanned;
    return true;
}

bool CANSIFile::close()
{
    bool ok = !m_failed;
    if (m_out != nullptr) {
        if (!m_out->commit()) {
            if (m_error.isEmpty())
                m_error = m_out->errorString();
            ok = false;
        }
        m_out.reset();
    }
    if (m_in.isOpen())
        m_in.close();
    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    return ok;
}

QString CANSIFile::errorString() const
{
    return m_error;
}
