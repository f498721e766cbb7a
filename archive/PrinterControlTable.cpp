#include "PrinterControlTable.h"

#include <algorithm>
#include <cstdint>

#include <QFile>
#include <QIODevice>

#include "base/CodePage.h"
#include "base/MessageBox.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr char16_t kEsc = 27;

bool isAsciiAlnum(uchar b)
{
    const uchar lower = b | 0x20;
    return (b >= '0' && b <= '9') || (lower >= 'a' && lower <= 'z');
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool takesParameter(const QString& groupName)
{
    return groupName.endsWith(u'N');
}

// windows-1251 is a single-byte code page, so a byte sequence converts byte by byte and the
// drawing path can compare without building strings.
const std::array<char16_t, 256>& ansiChars()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            const QString s = codepage::fromAnsi(QByteArrayView(&byte, 1));
            t[std::size_t(b)] = s.size() == 1 ? s.at(0).unicode() : char16_t(QChar::ReplacementCharacter);
        }
        return t;
    }();
    return table;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isCSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The digits are accumulated modulo 65536 directly: only the character code is kept, and a
// number too long for any integer type then still gives a defined result.
char16_t numberFromText(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    std::uint32_t n = 0;
    // Only lower-case "0x": "0X0F" is the decimal 0 followed by junk.
    if (text.sliced(i).startsWith(u"0x"_s)) {
        for (i += 2; i < text.size(); ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0)
                break;
            n = (n * 16 + std::uint32_t(d)) & 0xFFFF;
        }
        return char16_t(n);
    }
    while (i < text.size() && isCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        n = (n * 10 + std::uint32_t(text[i].unicode() - u'0')) & 0xFFFF;
    if (negative)
        n = (0x10000 - n) & 0xFFFF;
    return char16_t(n);
}

void showFileError(bool showErrors, const QString& errorText)
{
    if (showErrors)
        MessageBox::show(u"File error: "_s + errorText, MbIcon::Error);
}

} // namespace

int PrinterControlTable::load(const QString& path, bool showErrors)
{
    if (path.isEmpty())
        return -1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showFileError(showErrors, file.errorString());
        return -2;
    }
    return loadFromDevice(file, showErrors);
}

int PrinterControlTable::loadFromDevice(QIODevice& device, bool showErrors)
{
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const qint64 n = device.read(chunk, sizeof chunk);
        if (n < 0) {
            // Keep the whole lines; the one the error cut short is not what the file says.
            const qsizetype lastBreak = std::max(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r'));
            loadFromBytes(QByteArrayView(bytes).first(lastBreak + 1));
            showFileError(showErrors, device.errorString());
            return -2;
        }
        if (n == 0)
            break;
        bytes.append(chunk, qsizetype(n));
    }
    loadFromBytes(bytes);
    return 0;
}

void PrinterControlTable::loadFromBytes(QByteArrayView bytes)
{
    const QString text = codepage::fromAnsi(bytes);
    const QStringView all(text);
    QString groupName;
    QString name;
    QString value;
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = start;
        while (end < all.size() && all[end] != u'\r' && all[end] != u'\n')
            ++end;
        try {
            parseLine(all.sliced(start, end - start), groupName, name, value);
            addEntry(groupName, name, value);
        } catch (const IniParseException&) {
            // An empty line.
        }
        if (end + 1 < all.size() && all[end] == u'\r' && all[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }
}

void PrinterControlTable::parseLine(QStringView line, QString& group, QString& name, QString& value)
{
    if (line.isEmpty())
        throw IniParseException(u"String to parse is empty!"_s);
    QString parts[2];
    QString accumulator;
    int separators = 0;
    for (const QChar c : line) {
        if (isBlank(c))
            continue;
        if (c != u'.' && c != u'=') {
            accumulator.append(c);
            continue;
        }
        if (separators == 2)
            break;
        parts[separators++] = std::exchange(accumulator, QString());
    }
    group = parts[0];
    name = parts[1];
    value = valueFromText(accumulator);
}

QString PrinterControlTable::valueFromText(QStringView text)
{
    if (text.size() > 5 && text.startsWith(u"<ESC>"_s))
        return QChar(kEsc) + text.sliced(5).toString();
    return QString(QChar(numberFromText(text)));
}

PrinterControlGroup& PrinterControlTable::findOrAddGroup(const QString& name)
{
    // The caller may change the entries behind our back.
    m_indexStale = true;
    return group(name);
}

void PrinterControlTable::addEntry(const QString& groupName, const QString& name, const QString& value)
{
    m_longestValue = std::max(m_longestValue, int(value.size()));
    PrinterControlGroup& g = group(groupName);
    g.entries.push_back(PrinterControlEntry{ name, value });
    if (m_indexStale)
        rebuildIndex();
    else
        index(g, g.entries.back());
}

int PrinterControlTable::lookup(QStringView candidate, QString* entryName) const
{
    if (candidate.isEmpty())
        return 0;
    for (const PrinterControlGroup& g : m_groups) {
        const QStringView compared = takesParameter(g.name) ? candidate.chopped(1) : candidate;
        // A parameter alone is no sequence; otherwise an entry with an empty value would hide
        // every single byte.
        if (compared.isEmpty())
            continue;
        for (const PrinterControlEntry& e : g.entries) {
            if (e.value == compared) {
                if (entryName)
                    *entryName = e.name;
                return 1;
            }
        }
    }
    return 0;
}

int PrinterControlTable::recognise(QByteArrayView text, qsizetype pos) const
{
    if (pos < 0 || pos >= text.size())
        return 0;
    if (m_indexStale)
        return recogniseByLookup(text, pos);
    const uchar b = uchar(text[pos]);
    if (isAsciiAlnum(b))
        return 0;
    // A byte listed alone wins, ESC included: it is hidden and what follows it is drawn.
    if (m_hiddenByte[b])
        return 1;
    if (b != kEsc)
        return 0;

    // The shortest listed sequence wins. A candidate of k + 1 bytes hits when ESC and its k
    // bytes are listed, or when ESC and its first k - 1 bytes are listed in an 'N' group.
    const std::array<char16_t, 256>& ansi = ansiChars();
    int node = 0;
    for (qsizetype k = 1; pos + k < text.size(); ++k) {
        if (m_escNodes[std::size_t(node)].parameterEnd)
            return int(k + 1);
        const char16_t c = ansi[uchar(text[pos + k])];
        const auto& children = m_escNodes[std::size_t(node)].children;
        const auto it = std::find_if(children.begin(), children.end(), [c](const auto& ch) { return ch.first == c; });
        if (it == children.end())
            return 0;
        node = it->second;
        if (m_escNodes[std::size_t(node)].sequenceEnd)
            return int(k + 1);
    }
    return 0;
}

void PrinterControlTable::clear()
{
    m_longestValue = 0;
    m_groups.clear();
    m_hiddenByte.fill(false);
    m_escNodes.assign(1, EscNode{});
    m_indexStale = false;
}

PrinterControlGroup& PrinterControlTable::group(const QString& name)
{
    const auto it = std::find_if(m_groups.begin(), m_groups.end(),
                                 [&name](const PrinterControlGroup& g) { return g.name == name; });
    if (it != m_groups.end())
        return *it;
    m_groups.push_back(PrinterControlGroup{ name, {} });
    return m_groups.back();
}

void PrinterControlTable::rebuildIndex()
{
    m_hiddenByte.fill(false);
    m_escNodes.assign(1, EscNode{});
    m_indexStale = false;
    for (const PrinterControlGroup& g : m_groups)
        for (const PrinterControlEntry& e : g.entries)
            index(g, e);
}

void PrinterControlTable::index(const PrinterControlGroup& group, const PrinterControlEntry& entry)
{
    const QString& value = entry.value;
    if (value.isEmpty())
        return;
    const bool parameter = takesParameter(group.name);
    if (!parameter && value.size() == 1) {
        const std::array<char16_t, 256>& ansi = ansiChars();
        for (std::size_t b = 0; b < ansi.size(); ++b)
            if (!isAsciiAlnum(uchar(b)) && ansi[b] == value.at(0).unicode())
                m_hiddenByte[b] = true;
    }
    // Only sequences that begin with ESC are ever formed from more than one byte.
    if (value.at(0) != QChar(kEsc))
        return;
    int node = 0;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const char16_t c = value.at(i).unicode();
        const auto& children = m_escNodes[std::size_t(node)].children;
        const auto it = std::find_if(children.begin(), children.end(), [c](const auto& ch) { return ch.first == c; });
        if (it != children.end()) {
            node = it->second;
            continue;
        }
        const int child = int(m_escNodes.size());
        m_escNodes.emplace_back();
        m_escNodes[std::size_t(node)].children.emplace_back(c, child);
        node = child;
    }
    (parameter ? m_escNodes[std::size_t(node)].parameterEnd : m_escNodes[std::size_t(node)].sequenceEnd) = true;
}

// The steps exactly as described, for a table that may have been changed through
// findOrAddGroup(): every candidate converted and looked up.
int PrinterControlTable::recogniseByLookup(QByteArrayView text, qsizetype pos) const
{
    const uchar b = uchar(text[pos]);
    if (isAsciiAlnum(b))
        return 0;
    if (lookup(codepage::fromAnsi(text.sliced(pos, 1))))
        return 1;
    if (b != kEsc)
        return 0;
    // No candidate longer than any value (plus its parameter) can hit.
    qsizetype longest = 0;
    for (const PrinterControlGroup& g : m_groups)
        for (const PrinterControlEntry& e : g.entries)
            longest = std::max(longest, e.value.size() + (takesParameter(g.name) ? 1 : 0));
    for (qsizetype len = 2; len <= longest && pos + len <= text.size(); ++len)
        if (lookup(codepage::fromAnsi(text.sliced(pos, len))))
            return int(len);
    return 0;
}
