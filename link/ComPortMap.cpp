#include "ComPortMap.h"

#include <algorithm>

#include <QDir>
#include <QSerialPortInfo>
#include <QSettings>

using namespace Qt::Literals::StringLiterals;

namespace comm {

namespace {

const QString kSection = u"SerialComm"_s;

bool isPortName(const QString& name)
{
    return name.size() > 3 && name.startsWith(u"COM"_s) && name[3].isDigit();
}

} // namespace

int ComPortNumber(QStringView name)
{
    if (!name.startsWith(u"COM"))
        return -1;
    qsizetype end = 3;
    while (end < name.size() && name[end] >= u'0' && name[end] <= u'9')
        ++end;
    if (end == 3)
        return -1;
    // Clamp absurdly long digit runs instead of overflowing; such a port never opens anyway.
    long long n = 0;
    for (qsizetype i = 3; i < end && n <= 0x7FFFFFFF; ++i)
        n = n * 10 + (name[i].unicode() - u'0');
    return int(std::min<long long>(n, 0x7FFFFFFF));
}

void SortComPorts(QStringList& names)
{
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return ComPortNumber(a) < ComPortNumber(b); });
}

QString ComPortMap::defaultSettingsPath()
{
    return QDir::current().filePath(u"lorn2.ini"_s);
}

QString adapterName(const QString& path, const QList<QSerialPortInfo>& devices)
{
    for (const QSerialPortInfo& info : devices) {
        if (info.systemLocation() == path)
            return QStringList{info.manufacturer(), info.description()}.join(u' ').trimmed();
    }
    return {};
}

ComPortMap::ComPortMap(QString settingsPath)
    : m_path(std::move(settingsPath))
{
}

std::map<int, QString> ComPortMap::entries() const
{
    std::map<int, QString> result;
    QSettings settings(m_path, QSettings::IniFormat);
    settings.beginGroup(kSection);
    const QStringList keys = settings.childKeys();
    for (const QString& key : keys) {
        if (!isPortName(key))
            continue;
        const int n = ComPortNumber(key);
        const QString path = settings.value(key).toString();
        // "COM7" and "COM07" name the same number; the first key in the file's order wins.
        if (n > 0 && !path.isEmpty())
            result.emplace(n, path);
    }
    return result;
}

QString ComPortMap::devicePath(int port) const
{
    const std::map<int, QString> map = entries();
    const auto it = map.find(port);
    return it == map.end() ? QString() : it->second;
}

int ComPortMap::addDevices(QStringList paths)
{
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    std::map<int, QString> map = entries();
    QStringList known;
    for (const auto& [n, path] : map)
        known << path;

    QSettings settings(m_path, QSettings::IniFormat);
    settings.beginGroup(kSection);
    int added = 0;
    int next = 1;
    for (const QString& path : paths) {
        if (path.isEmpty() || known.contains(path))
            continue;
        while (map.count(next) != 0)
            ++next;
        if (next > kMaxPort)
            break;
        map.emplace(next, path);
        settings.setValue(u"COM"_s + QString::number(next), path);
        known << path;
        ++added;
    }
    settings.endGroup();
    settings.sync();
    return added;
}

int ComPortMap::refresh()
{
    QStringList paths;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        paths << info.systemLocation();
    return addDevices(paths);
}

QStringList ComPortMap::EnumComPorts()
{
    refresh();
    QSettings settings(m_path, QSettings::IniFormat);
    settings.beginGroup(kSection);
    QStringList names;
    const QStringList keys = settings.childKeys();
    for (const QString& key : keys) {
        if (isPortName(key))
            names << key;
    }
    return names;
}

bool ComPortMap::setEntry(int port, const QString& target)
{
    if (port < 1 || port > kMaxPort || target.isEmpty())
        return false;
    QSettings settings(m_path, QSettings::IniFormat);
    settings.beginGroup(kSection);
    // "COM07" and "COM7" are one port: the value goes where the file already keeps it.
    QString key = u"COM"_s + QString::number(port);
    for (const QString& k : settings.childKeys()) {
        if (isPortName(k) && ComPortNumber(k) == port) {
            key = k;
            break;
        }
    }
    settings.setValue(key, target);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool ComPortMap::removeEntry(int port)
{
    QSettings settings(m_path, QSettings::IniFormat);
    settings.beginGroup(kSection);
    bool removed = false;
    for (const QString& k : settings.childKeys()) {
        if (isPortName(k) && ComPortNumber(k) == port) {
            settings.remove(k);
            removed = true;
        }
    }
    settings.endGroup();
    settings.sync();
    return removed && settings.status() == QSettings::NoError;
}

} // namespace comm
