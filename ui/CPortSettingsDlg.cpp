#include "CPortSettingsDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "CParamDlg.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "link/CComPort.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::uint32_t kBauds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                    19200, 38400, 57600, 115200, 128000, 230400, 256000};

} // namespace

CPortSettingsDlg::CPortSettingsDlg(const QString& portName, const DeviceControlBlock& dcb, QWidget* parent)
    : QDialog(parent)
    , m_dcb(dcb)
{
    setWindowTitle(u"Свойства: "_s + portName);

    // Editable: termios reaches rates outside the usual list, and a meter may use one.
    m_baud = new QComboBox(this);
    m_baud->setEditable(true);
    for (const std::uint32_t baud : kBauds)
        m_baud->addItem(QString::number(baud));
    m_baud->lineEdit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"^[0-9]{0,7}$"_s), m_baud->lineEdit()));
    m_dataBits = new QComboBox(this);
    for (int bits = 5; bits <= 8; ++bits)
        m_dataBits->addItem(QString::number(bits), bits);
    m_parity = new QComboBox(this);
    // In the order of the block's values 0..4.
    for (const int id : {124, 126, 125, 127, 129})
        m_parity->addItem(LoadResString(id));
    m_stopBits = new QComboBox(this);
    m_stopBits->addItems({u"1"_s, u"1.5"_s, u"2"_s});
    m_flow = new QComboBox(this);
    m_flow->addItems({LoadResString(132), LoadResString(130), LoadResString(131),
                      LoadResString(130) + u'+' + LoadResString(131)});

    auto* form = new QFormLayout;
    form->addRow(u"Бит в секунду:"_s, m_baud);
    form->addRow(u"Биты данных:"_s, m_dataBits);
    form->addRow(u"Чётность:"_s, m_parity);
    form->addRow(u"Стоповые биты:"_s, m_stopBits);
    form->addRow(u"Управление потоком:"_s, m_flow);

    m_defaults = new QPushButton(u"Восстановить умолчания"_s, this);
    m_defaults->setAutoDefault(false);
    connect(m_defaults, &QPushButton::clicked, this, &CPortSettingsDlg::restoreDefaults);
    auto* defaultsRow = new QHBoxLayout;
    defaultsRow->addStretch(1);
    defaultsRow->addWidget(m_defaults);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPortSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(defaultsRow);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(320);

    showBlock(m_dcb);
}

CPortSettingsDlg::Flow CPortSettingsDlg::flowOf(const DeviceControlBlock& dcb)
{
    const bool software = dcbFlag(dcb, DcbFlag::fOutX) != 0 && dcbFlag(dcb, DcbFlag::fInX) != 0;
    const bool hardware
        = dcbFlag(dcb, DcbFlag::fOutxCtsFlow) != 0 && dcbFlag(dcb, DcbFlag::fRtsControl) == kRtsControlHandshake;
    if (software && hardware)
        return FlowBoth;
    if (software)
        return FlowXonXoff;
    return hardware ? FlowRtsCts : FlowNone;
}

void CPortSettingsDlg::applyFlow(DeviceControlBlock& dcb, Flow flow)
{
    const bool software = flow == FlowXonXoff || flow == FlowBoth;
    const bool hardware = flow == FlowRtsCts || flow == FlowBoth;
    setDcbFlag(dcb, DcbFlag::fOutX, software ? 1 : 0);
    setDcbFlag(dcb, DcbFlag::fInX, software ? 1 : 0);
    setDcbFlag(dcb, DcbFlag::fOutxCtsFlow, hardware ? 1 : 0);
    if (hardware)
        setDcbFlag(dcb, DcbFlag::fRtsControl, kRtsControlHandshake);
    else if (dcbFlag(dcb, DcbFlag::fRtsControl) == kRtsControlHandshake)
        setDcbFlag(dcb, DcbFlag::fRtsControl, kRtsControlEnable);
}

void CPortSettingsDlg::showBlock(const DeviceControlBlock& dcb)
{
    m_baud->setCurrentText(QString::number(dcb.BaudRate));
    m_dataBits->setCurrentIndex(m_dataBits->findData(int(dcb.ByteSize)));
    m_parity->setCurrentIndex(dcb.Parity <= 4 ? dcb.Parity : 0);
    m_stopBits->setCurrentIndex(dcb.StopBits <= 2 ? dcb.StopBits : 0);
    m_flow->setCurrentIndex(flowOf(dcb));
}

void CPortSettingsDlg::restoreDefaults()
{
    DeviceControlBlock defaults = m_dcb;
    const DeviceControlBlock fresh = defaultDeviceControlBlock();
    defaults.BaudRate = fresh.BaudRate;
    defaults.ByteSize = fresh.ByteSize;
    defaults.Parity = fresh.Parity;
    defaults.StopBits = fresh.StopBits;
    applyFlow(defaults, FlowNone);
    showBlock(defaults);
}

void CPortSettingsDlg::accept()
{
    bool ok = false;
    const qulonglong baud = m_baud->currentText().toULongLong(&ok);
    if (!ok || baud < kMinBaud || baud > kMaxBaud) {
        MessageBox::show(CParamDlg::rangeMessage(int(kMinBaud), int(kMaxBaud)), MbIcon::Warning);
        m_baud->setFocus(Qt::OtherFocusReason);
        m_baud->lineEdit()->selectAll();
        return;
    }
    DeviceControlBlock edited = m_dcb;
    edited.BaudRate = std::uint32_t(baud);
    // A block from the account file may hold data bits outside 5..8; left unchosen, they stay.
    if (m_dataBits->currentIndex() >= 0)
        edited.ByteSize = std::uint8_t(m_dataBits->currentData().toInt());
    edited.Parity = std::uint8_t(m_parity->currentIndex());
    setDcbFlag(edited, DcbFlag::fParity, edited.Parity != 0 ? 1 : 0);
    edited.StopBits = std::uint8_t(m_stopBits->currentIndex());
    applyFlow(edited, Flow(m_flow->currentIndex()));
    m_dcb = edited;
    QDialog::accept();
}
