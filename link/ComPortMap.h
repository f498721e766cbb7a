#pragma once

#include <map>

#include <QList>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace comm {

// The number after a leading "COM" (digits up to the first other character), or -1 when the
// name does not begin with "COM" or no digit follows.
int ComPortNumber(QStringView name);

// The maker and model of the serial adapter at `path` among `devices`, empty when unknown.
QString adapterName(const QString& path, const QList<QSerialPortInfo>& devices);

// Names as a port list shows them: ascending by ComPortNumber, equal numbers in given order.
void SortComPorts(QStringList& names);

// COM numbers for the machine's serial devices: section "SerialComm" of the settings file, keys
// "COM1", "COM2", ... with device paths as values. A device once numbered keeps its number, as
// Windows remembers the COM numbers of adapters; entries made by hand (a simulator's link)
// stay even though no scan finds them.
class ComPortMap
{
public:
    static constexpr int kMaxPort = 255;

    // lorn2.ini in the current directory, which is the programs' working folder.
    static QString defaultSettingsPath();

    explicit ComPortMap(QString settingsPath = defaultSettingsPath());

    // Every "COMn" key with its device path, by number.
    std::map<int, QString> entries() const;
    // Empty when the map has no such port.
    QString devicePath(int port) const;

    // Gives each path that the map lacks the lowest free number and writes it in; returns how
    // many were added. Paths are taken in name order so numbering does not depend on the scan.
    int addDevices(QStringList paths);
    // addDevices with the serial devices present on the machine.
    int refresh();

    // The map's port names (keys longer than 3 characters, "COM" and a digit first), after a
    // refresh, in the map's key order.
    QStringList EnumComPorts();

    // Sets what a COM number stands for (a device path or a network target), replacing what it
    // stood for; the key keeps the spelling it has in the file. False when it cannot be written.
    bool setEntry(int port, const QString& target);
    // Takes a COM number out of the map; false when the map had no such number.
    bool removeEntry(int port);

    const QString& settingsPath() const { return m_path; }

private:
    QString m_path;
};

} // namespace comm
