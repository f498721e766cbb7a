#include "CodePage.h"

#include <array>
#include <cstdint>

#include <QStringDecoder>

namespace codepage {

namespace {

// One 8-bit code page: its bytes as decoded by the system's converter, and the way back.
// Encoding goes through our own table because the converter writes its own substitute (0x7F)
// for a character the code page lacks, which a printer drops without a trace; here it is "?".
class Table
{
public:
    explicit Table(const char* name)
    {
        m_toByte.fill(-1);
        QStringDecoder decoder(name);
        Q_ASSERT(decoder.isValid());
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            const QString s = decoder.decode(QByteArrayView(&c, 1));
            m_toChar[std::size_t(b)] = s.size() == 1 ? s[0].unicode() : 0xFFFD;
        }
        // The first byte wins should two bytes decode to one character.
        for (int b = 255; b >= 0; --b) {
            const char16_t u = m_toChar[std::size_t(b)];
            if (u != 0xFFFD)
                m_toByte[u] = std::int16_t(b);
        }
    }

    QString decode(QByteArrayView bytes) const
    {
        QString out(bytes.size(), Qt::Uninitialized);
        QChar* d = out.data();
        for (const char c : bytes)
            *d++ = QChar(m_toChar[std::uint8_t(c)]);
        return out;
    }

    char byteFor(char16_t u) const
    {
        const std::int16_t b = m_toByte[u];
        return b < 0 ? '?' : char(b);
    }

    QByteArray encode(QStringView text) const
    {
        QByteArray out;
        out.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            // A character beyond the 16-bit plane is one unknown character, not two.
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                out += '?';
                ++i;
                continue;
            }
            out += byteFor(c.unicode());
        }
        return out;
    }

    char16_t charFor(char byte) const { return m_toChar[std::uint8_t(byte)]; }

private:
    std::array<char16_t, 256> m_toChar{};
    std::array<std::int16_t, 65536> m_toByte{};
};

const Table& ansi()
{
    static const Table table("windows-1251");
    return table;
}

const Table& oem()
{
    static const Table table("IBM866");
    return table;
}

// From one code page's bytes to the other's, a byte at a time.
std::array<char, 256> crossTable(const Table& from, const Table& to)
{
    std::array<char, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[std::size_t(b)] = to.byteFor(from.charFor(char(b)));
    return t;
}

QByteArray cross(const std::array<char, 256>& table, QByteArrayView bytes)
{
    QByteArray out(bytes.size(), Qt::Uninitialized);
    char* d = out.data();
    for (const char c : bytes)
        *d++ = table[std::uint8_t(c)];
    return out;
}

} // namespace

QString fromAnsi(QByteArrayView bytes)
{
    return ansi().decode(bytes);
}

QByteArray toAnsi(QStringView text)
{
    return ansi().encode(text);
}

QString fromOem(QByteArrayView bytes)
{
    return oem().decode(bytes);
}

QByteArray toOem(QStringView text)
{
    return oem().encode(text);
}

QByteArray ansiToOem(QByteArrayView bytes)
{
    static const std::array<char, 256> table = crossTable(ansi(), oem());
    return cross(table, bytes);
}

QByteArray oemToAnsi(QByteArrayView bytes)
{
    static const std::array<char, 256> table = crossTable(oem(), ansi());
    return cross(table, bytes);
}

} // namespace codepage
