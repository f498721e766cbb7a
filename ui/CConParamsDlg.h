#pragma once

#include <QDialog>
#include <QStringList>

#include "base/ConnectionBlock.h"

class CDevData;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

// How the connection dialog shows a line-settings block.
QString stopBitsText(const DeviceControlBlock& dcb);
QString parityText(const DeviceControlBlock& dcb);
QString flowControlText(const DeviceControlBlock& dcb);

} // namespace ui

// "Параметры связи": the port, line settings, reply timeout, retries, modem and per-contour
// reading of one account. OK refuses a field out of range or a missing port and keeps the
// dialog open; otherwise the values go into the account, which the caller then saves.
class CConParamsDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxAnswerTimeout = 86400000; // ms, one day
    static constexpr int kMinRetries = 1;
    static constexpr int kMaxRetries = 65535;

    // `ports` are port names as the COM-number map lists them; the dialog sorts them by number.
    // Without an account the dialog edits nothing but its own copy.
    CConParamsDlg(CDevData* account, const QStringList& ports, QWidget* parent = nullptr);

    // The port names of the machine's COM-number map, in the map's order.
    static QStringList machinePorts();

    // The line settings as edited so far.
    const DeviceControlBlock& lineSettings() const { return m_dcb; }

    QLabel* modelLabel() const { return m_model; }
    QLabel* serialLabel() const { return m_serial; }
    QComboBox* portBox() const { return m_port; }
    QPushButton* configureButton() const { return m_configure; }
    QPushButton* portMapButton() const { return m_editPorts; }
    QLabel* baudLabel() const { return m_baud; }
    QLabel* dataBitsLabel() const { return m_dataBits; }
    QLabel* stopBitsLabel() const { return m_stopBits; }
    QLabel* parityLabel() const { return m_parity; }
    QLabel* flowLabel() const { return m_flow; }
    QLineEdit* timeoutEdit() const { return m_timeout; }
    QLineEdit* retriesEdit() const { return m_retries; }
    QCheckBox* modemBox() const { return m_useModem; }
    QLineEdit* modemPhoneEdit() const { return m_modemPhone; }
    QLineEdit* modemInitEdit() const { return m_modemInit; }
    QCheckBox* perContourBox() const { return m_perContour; }

public slots:
    void accept() override;
    // "Настроить...": the port settings dialog on the copy of the line settings.
    void configurePort();

private:
    void fillPorts(const QStringList& ports);
    void editPortMap();
    void showLineSettings();
    void enableModemFields();
    // The selected port's number; shows 121, 122 or 123 when there is none.
    bool selectedPort(int& number, bool needNumber);
    // The field's number when it lies in [min, max]; else the range message on that field.
    bool takeNumber(QLineEdit* edit, qint64 min, qint64 max, qint64& value);

    CDevData* m_account;
    DeviceControlBlock m_dcb;

    QLabel* m_model = nullptr;
    QLabel* m_serial = nullptr;
    QComboBox* m_port = nullptr;
    QPushButton* m_configure = nullptr;
    QPushButton* m_editPorts = nullptr;
    QLabel* m_baud = nullptr;
    QLabel* m_dataBits = nullptr;
    QLabel* m_stopBits = nullptr;
    QLabel* m_parity = nullptr;
    QLabel* m_flow = nullptr;
    QLineEdit* m_timeout = nullptr;
    QLineEdit* m_retries = nullptr;
    QCheckBox* m_useModem = nullptr;
    QLineEdit* m_modemPhone = nullptr;
    QLineEdit* m_modemInit = nullptr;
    QCheckBox* m_perContour = nullptr;
};
