#include "ProfileStore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace {

// The name in `names` that equals `name` but for letter case, else `name` itself.
QString spelledAs(const QStringList& names, const QString& name)
{
    if (names.contains(name))
        return name;
    for (const QString& n : names) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    }
    return name;
}

// Leading decimal digits (or "0x" and hexadecimal digits) with an optional sign; what follows
// them is ignored, as the profile functions do. No digits at all: not a number.
bool parseProfileInt(QStringView text, long long& out)
{
    text = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    int base = 10;
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    unsigned long long value = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0 || digit >= base)
            break;
        any = true;
        if (value < (1ull << 56))
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    if (!any)
        return false;
    out = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
    return true;
}

} // namespace

ProfileStore::ProfileStore(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

ProfileStore::~ProfileStore()
{
    m_settings->sync();
}

long long ProfileStore::readInt(const QString& section, const QString& key, long long defaultValue) const
{
    const QVariant v = m_settings->value(fullKey(section, key));
    if (!v.isValid())
        return defaultValue;
    long long n = 0;
    return parseProfileInt(v.toString(), n) ? n : defaultValue;
}

QString ProfileStore::readString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QVariant v = m_settings->value(fullKey(section, key));
    // A value with a comma comes back from the INI reader as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(u", "_s);
    return v.isValid() ? v.toString() : defaultValue;
}

bool ProfileStore::writeInt(const QString& section, const QString& key, long long value)
{
    m_settings->setValue(fullKey(section, key), QString::number(value));
    return m_settings->status() == QSettings::NoError;
}

bool ProfileStore::writeString(const QString& section, const QString& key, const QString& value)
{
    m_settings->setValue(fullKey(section, key), value);
    return m_settings->status() == QSettings::NoError;
}

void ProfileStore::sync()
{
    m_settings->sync();
}

// Section and key names are compared without regard to case, as the Windows profile functions
// do, and a name the file already has keeps its spelling when written.
QString ProfileStore::fullKey(const QString& section, const QString& key) const
{
    const QString group = spelledAs(m_settings->childGroups(), section);
    m_settings->beginGroup(group);
    const QString name = spelledAs(m_settings->childKeys(), key);
    m_settings->endGroup();
    return group + u'/' + name;
}

QString ProfileStore::path() const
{
    return m_settings->fileName();
}

QStringList ProfileStore::keys(const QString& section) const
{
    m_settings->beginGroup(spelledAs(m_settings->childGroups(), section));
    const QStringList k = m_settings->childKeys();
    m_settings->endGroup();
    return k;
}

QString ProfileStore::userIniPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/lorn2/lorn2.ini"_s;
}
