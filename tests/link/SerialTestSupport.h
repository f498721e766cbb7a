#pragma once

#include <memory>

#include <QSettings>
#include <QTemporaryDir>

#include "PtyPeer.h"
#include "link/CComPort.h"

// A port opened as COM7 through a COM-number map in a temporary folder, its far end a PtyPeer.
struct PtyLine
{
    static constexpr int kPort = 7;

    QTemporaryDir dir;
    PtyPeer peer;
    CComPort port;

    explicit PtyLine(std::uint32_t answerTimeout = 100, DeviceControlBlock dcb = defaultDeviceControlBlock())
    {
        const QString ini = dir.filePath(QStringLiteral("lorn2.ini"));
        {
            QSettings settings(ini, QSettings::IniFormat);
            settings.setValue(QStringLiteral("SerialComm/COM7"), peer.slavePath());
        }
        port.setMapFile(ini);
        port.setPort(kPort);
        port.SetState(dcb);
        if (port.Open())
            port.SetTimeouts(exchangeTimeouts(answerTimeout));
    }
};
