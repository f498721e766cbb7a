#include "AccountXml.h"

#include <algorithm>
#include <array>
#include <vector>

#include <QXmlStreamReader>

#include "base/Format.h"

using namespace Qt::Literals::StringLiterals;

namespace accountxml {

namespace {

// An account file is a few kilobytes; these bounds leave room for any real one. Beyond them
// the DOM builder's cost grows with the square of nesting depth and attribute count.
constexpr qsizetype kMaxInput = 16 * 1024 * 1024;
constexpr int kMaxDepth = 64;
constexpr qsizetype kMaxAttributes = 64;

constexpr qsizetype kBase64Line = 76;

bool allowedInXml(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Character data. CR LF and lone LF are written as CR LF: the reader turns both back into LF,
// and the Base64 lines of "Config" keep the CR LF they were written with when a file is
// rewritten. A lone CR is escaped, else the reader would turn it into LF.
void appendText(QString& out, QStringView text, bool attribute)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
            continue;
        }
        if (c.isSurrogate() || !allowedInXml(c.unicode()))
            continue;
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;"_s;
            break;
        case u'<':
            out += u"&lt;"_s;
            break;
        case u'>':
            out += u"&gt;"_s;
            break;
        case u'"':
            out += attribute ? u"&quot;"_s : u"\""_s;
            break;
        case u'\t':
            out += attribute ? u"&#9;"_s : u"\t"_s;
            break;
        case u'\n':
            out += attribute ? u"&#10;"_s : u"\r\n"_s;
            break;
        case u'\r':
            if (!attribute && i + 1 < text.size() && text[i + 1] == u'\n') {
                out += u"\r\n"_s;
                ++i;
            } else {
                out += u"&#13;"_s;
            }
            break;
        default:
            out += c;
            break;
        }
    }
}

int attributeRank(const QString& name)
{
    if (name == u"size")
        return 0;
    if (name == u"binarySize")
        return 1;
    return 2;
}

void appendNode(QString& out, const QDomNode& node, int depth);

void appendIndent(QString& out, int depth)
{
    out += u"\r\n"_s;
    out += QString(depth, u'\t');
}

void appendElement(QString& out, const QDomElement& e, int depth)
{
    out += u'<' + e.tagName();
    const QDomNamedNodeMap attrs = e.attributes();
    std::vector<QDomAttr> sorted;
    for (int i = 0; i < attrs.count(); ++i)
        sorted.push_back(attrs.item(i).toAttr());
    std::sort(sorted.begin(), sorted.end(), [](const QDomAttr& a, const QDomAttr& b) {
        const int ra = attributeRank(a.name());
        const int rb = attributeRank(b.name());
        return ra != rb ? ra < rb : a.name() < b.name();
    });
    for (const QDomAttr& a : sorted) {
        out += u' ' + a.name() + u"=\""_s;
        appendText(out, a.value(), true);
        out += u'"';
    }
    const QDomNodeList children = e.childNodes();
    if (children.isEmpty()) {
        out += u"/>"_s;
        return;
    }
    out += u'>';
    bool structured = false;
    for (int i = 0; i < children.count(); ++i) {
        const QDomNode child = children.at(i);
        if (child.isText()) { // CDATA sections are text nodes too
            appendText(out, child.nodeValue(), false);
        } else {
            appendIndent(out, depth + 1);
            appendNode(out, child, depth + 1);
            structured = true;
        }
    }
    if (structured)
        appendIndent(out, depth);
    out += u"</"_s + e.tagName() + u'>';
}

void appendNode(QString& out, const QDomNode& node, int depth)
{
    if (node.isElement()) {
        appendElement(out, node.toElement(), depth);
    } else if (node.isComment()) {
        // "--" may not appear inside a comment.
        QString text = node.nodeValue();
        text.replace(u"--"_s, u"- -"_s);
        out += u"<!--"_s + text + u"-->"_s;
    } else if (node.isProcessingInstruction()) {
        const QDomProcessingInstruction pi = node.toProcessingInstruction();
        out += u"<?"_s + pi.target() + u' ' + pi.data() + u"?>"_s;
    }
}

} // namespace

bool parse(const QByteArray& xml, QDomDocument& doc)
{
    if (xml.size() > kMaxInput)
        return false;
    // The DOM builder drops text made only of blanks, but a value of blanks is a value: leaf
    // elements holding such text are found on this first pass and given it back afterwards.
    struct BlankLeaf
    {
        std::vector<int> path; // element index among its parent's child elements, from the root
        QString text;
    };
    std::vector<BlankLeaf> blankLeaves;
    std::vector<int> path;
    std::vector<int> childCount{0};
    QString leafText;
    bool leaf = false;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (int(path.size()) + 1 > kMaxDepth || reader.attributes().size() > kMaxAttributes)
                return false;
            path.push_back(childCount.back()++);
            childCount.push_back(0);
            leafText.clear();
            leaf = true;
            break;
        case QXmlStreamReader::Characters:
            if (leaf)
                leafText += reader.text();
            break;
        case QXmlStreamReader::EndElement:
            if (leaf && !leafText.isEmpty() && leafText.trimmed().isEmpty())
                blankLeaves.push_back({path, leafText});
            leaf = false;
            path.pop_back();
            childCount.pop_back();
            break;
        default:
            break;
        }
    }
    if (reader.hasError() || !doc.setContent(xml))
        return false;
    for (const BlankLeaf& b : blankLeaves) {
        QDomElement e;
        QDomNode parent = doc;
        for (const int index : b.path) {
            e = parent.firstChildElement();
            for (int i = 0; i < index && !e.isNull(); ++i)
                e = e.nextSiblingElement();
            if (e.isNull())
                break;
            parent = e;
        }
        if (!e.isNull() && !e.hasChildNodes())
            e.appendChild(doc.createTextNode(b.text));
    }
    return true;
}

QByteArray serialize(const QDomDocument& doc)
{
    // Whatever declaration a file came with, it is written back as UTF-8.
    QString out = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"_s;
    const QDomNodeList children = doc.childNodes();
    for (int i = 0; i < children.count(); ++i) {
        const QDomNode child = children.at(i);
        if (child.isProcessingInstruction() && child.toProcessingInstruction().target() == u"xml")
            continue;
        if (!child.isElement() && !child.isComment() && !child.isProcessingInstruction())
            continue;
        out += u"\r\n"_s;
        appendNode(out, child, 0);
    }
    out += u"\r\n"_s;
    return out.toUtf8();
}

std::int64_t leadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    constexpr std::int64_t kCeiling = std::int64_t(1) << 40;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min(kCeiling, value * 10 + (text[i].unicode() - u'0'));
    return negative ? -value : value;
}

QString portText(int port)
{
    return fmt::text(u"COM%d", port);
}

std::optional<int> portFromText(QStringView text)
{
    if (!text.startsWith(u"COM"_s, Qt::CaseInsensitive))
        return std::nullopt;
    const std::int64_t n = leadingNumber(text.sliced(3));
    if (n <= 0 || n > 0x7FFFFFFF)
        return std::nullopt;
    return int(n);
}

QString stopBitsText(int code)
{
    switch (code) {
    case 1:
        return u"1.5"_s;
    case 2:
        return u"2"_s;
    default:
        return u"1"_s;
    }
}

int stopBitsFromText(QStringView text)
{
    const QStringView t = text.trimmed();
    if (t == u"1.5" || t == u"1,5")
        return 1;
    if (t == u"2")
        return 2;
    return 0;
}

namespace {

const std::array<QStringView, 5> kParityNames = {u"None", u"Odd", u"Even", u"Mark", u"Space"};

} // namespace

QString parityText(int code)
{
    return code >= 0 && code < int(kParityNames.size()) ? kParityNames[std::size_t(code)].toString() : u"None"_s;
}

int parityFromText(QStringView text)
{
    const QStringView t = text.trimmed();
    for (std::size_t i = 0; i < kParityNames.size(); ++i) {
        if (t.compare(kParityNames[i], Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return 0;
}

QString flowControlText(const DeviceControlBlock& dcb)
{
    const bool software = dcbFlag(dcb, DcbFlag::fOutX) != 0 && dcbFlag(dcb, DcbFlag::fInX) != 0;
    const bool hardware = dcbFlag(dcb, DcbFlag::fOutxCtsFlow) != 0 && dcbFlag(dcb, DcbFlag::fRtsControl) == 2;
    if (software && hardware)
        return u"XON/XOFF+RTS/CTS"_s;
    if (software)
        return u"XON/XOFF"_s;
    if (hardware)
        return u"RTS/CTS"_s;
    return u"None"_s;
}

void applyFlowControl(QStringView text, DeviceControlBlock& dcb)
{
    // "Software" and "Hardware" contain "Soft" and "Hard".
    if (text.contains(u"XON/XOFF"_s) || text.contains(u"Soft"_s)) {
        setDcbFlag(dcb, DcbFlag::fOutX, 1);
        setDcbFlag(dcb, DcbFlag::fInX, 1);
    }
    if (text.contains(u"RTS/CTS"_s) || text.contains(u"Hard"_s)) {
        setDcbFlag(dcb, DcbFlag::fOutxCtsFlow, 1);
        setDcbFlag(dcb, DcbFlag::fRtsControl, 2);
    }
}

QString configText(const QByteArray& bytes)
{
    const QByteArray base64 = bytes.toBase64();
    QString text;
    text.reserve(base64.size() + base64.size() / kBase64Line * 2 + 2);
    for (qsizetype pos = 0; pos < base64.size(); pos += kBase64Line) {
        if (pos > 0)
            text += u"\r\n"_s;
        text += QLatin1StringView(base64.mid(pos, kBase64Line));
    }
    return text;
}

std::optional<QByteArray> configFromElement(const QDomElement& config)
{
    if (config.isNull() || !config.hasAttribute(u"size"_s) || !config.hasAttribute(u"binarySize"_s))
        return std::nullopt;
    const std::int64_t size = leadingNumber(config.attribute(u"size"_s));
    const std::int64_t binarySize = leadingNumber(config.attribute(u"binarySize"_s));
    const QString text = config.text();
    if (size < 1 || text.isEmpty())
        return std::nullopt;
    QByteArray base64;
    base64.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u' ' || c == u'\t')
            continue;
        if (c.unicode() > 0x7F)
            return std::nullopt;
        base64 += char(c.unicode());
    }
    const QByteArray::FromBase64Result decoded
        = QByteArray::fromBase64Encoding(base64, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    // The old reader decoded into a buffer of "size" bytes.
    const std::int64_t length = decoded.decoded.size();
    if (length > size || length != binarySize)
        return std::nullopt;
    return decoded.decoded;
}

} // namespace accountxml
