#pragma once

#include <cstdint>

#include <QDialog>

#include "base/ConnectionBlock.h"

class QComboBox;
class QPushButton;

// The port settings dialog of "Настроить...": baud rate, data bits, parity, stop bits and flow
// control of one line-settings block. Every other field of the block is kept as it came.
class CPortSettingsDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr std::uint32_t kMinBaud = 50;
    static constexpr std::uint32_t kMaxBaud = 4000000;

    // Flow control choices in list order.
    enum Flow { FlowNone, FlowXonXoff, FlowRtsCts, FlowBoth };

    CPortSettingsDlg(const QString& portName, const DeviceControlBlock& dcb, QWidget* parent = nullptr);

    // The edited block once the dialog is accepted; the given one until then.
    const DeviceControlBlock& dcb() const { return m_dcb; }

    // The flow control choice a block stands for, and the block with a choice applied.
    static Flow flowOf(const DeviceControlBlock& dcb);
    static void applyFlow(DeviceControlBlock& dcb, Flow flow);

    QComboBox* baudBox() const { return m_baud; }
    QComboBox* dataBitsBox() const { return m_dataBits; }
    QComboBox* parityBox() const { return m_parity; }
    QComboBox* stopBitsBox() const { return m_stopBits; }
    QComboBox* flowBox() const { return m_flow; }
    QPushButton* defaultsButton() const { return m_defaults; }

public slots:
    void accept() override;
    // "Восстановить умолчания": the settings of a new account's line.
    void restoreDefaults();

private:
    void showBlock(const DeviceControlBlock& dcb);

    DeviceControlBlock m_dcb;
    QComboBox* m_baud = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_flow = nullptr;
    QPushButton* m_defaults = nullptr;
};
