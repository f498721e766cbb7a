#include "CConParamsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "CParamDlg.h"
#include "CPortSettingsDlg.h"
#include "PortMapDlg.h"
#include "base/CodePage.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "link/CComPort.h"
#include "link/ComPortMap.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace ui {

QString stopBitsText(const DeviceControlBlock& dcb)
{
    if (dcb.StopBits == 1)
        return u"1.5"_s;
    return dcb.StopBits == 2 ? u"2"_s : u"1"_s;
}

QString parityText(const DeviceControlBlock& dcb)
{
    const QString unknown = u"Unknown"_s;
    if (dcbFlag(dcb, DcbFlag::fParity) != 0 || dcb.Parity != 0) {
        switch (dcb.Parity) {
        case 1:
            return LoadResString(126, unknown);
        case 2:
            return LoadResString(125, unknown);
        case 3:
            return LoadResString(127, unknown);
        case 4:
            return LoadResString(129, unknown);
        default:
            break;
        }
    }
    return LoadResString(124, unknown);
}

QString flowControlText(const DeviceControlBlock& dcb)
{
    QString text;
    if (dcbFlag(dcb, DcbFlag::fOutX) != 0 && dcbFlag(dcb, DcbFlag::fInX) != 0)
        text = LoadResString(130, u"XON/XOFF"_s);
    if (dcbFlag(dcb, DcbFlag::fOutxCtsFlow) != 0 && dcbFlag(dcb, DcbFlag::fRtsControl) == kRtsControlHandshake) {
        if (!text.isEmpty())
            text += u'+';
        text += LoadResString(131, u"RTS/CTS"_s);
    }
    return text.isEmpty() ? LoadResString(132, u"None"_s) : text;
}

} // namespace ui

namespace {

QLabel* valueLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(80);
    return label;
}

QLineEdit* numberEdit(int digits, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(fmt::text(u"^[0-9]{0,%d}$", digits)), edit));
    edit->setMaxLength(digits);
    return edit;
}

} // namespace

CConParamsDlg::CConParamsDlg(CDevData* account, const QStringList& ports, QWidget* parent)
    : QDialog(parent)
    , m_account(account)
    , m_dcb(account != nullptr ? account->m_connection.dcb : defaultDeviceControlBlock())
{
    setWindowTitle(u"Параметры связи"_s);

    m_model = new QLabel(this);
    m_serial = new QLabel(this);
    auto* meterForm = new QFormLayout;
    meterForm->addRow(u"Модель ТС:"_s, m_model);
    meterForm->addRow(u"Серийный номер:"_s, m_serial);

    m_port = new QComboBox(this);
    m_configure = new QPushButton(u"Настроить..."_s, this);
    m_configure->setAutoDefault(false);
    connect(m_configure, &QPushButton::clicked, this, &CConParamsDlg::configurePort);
    m_baud = valueLabel(this);
    m_dataBits = valueLabel(this);
    m_stopBits = valueLabel(this);
    m_parity = valueLabel(this);
    m_flow = valueLabel(this);
    m_editPorts = new QPushButton(u"Порты..."_s, this);
    m_editPorts->setAutoDefault(false);
    connect(m_editPorts, &QPushButton::clicked, this, &CConParamsDlg::editPortMap);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_port, 1);
    portRow->addWidget(m_editPorts);
    portRow->addWidget(m_configure);
    auto* lineGrid = new QGridLayout;
    lineGrid->addWidget(new QLabel(u"Скорость:"_s, this), 0, 0);
    lineGrid->addWidget(m_baud, 0, 1);
    lineGrid->addWidget(new QLabel(u"Чётность:"_s, this), 0, 2);
    lineGrid->addWidget(m_parity, 0, 3);
    lineGrid->addWidget(new QLabel(u"Бит данных:"_s, this), 1, 0);
    lineGrid->addWidget(m_dataBits, 1, 1);
    lineGrid->addWidget(new QLabel(u"Стоп-бит:"_s, this), 1, 2);
    lineGrid->addWidget(m_stopBits, 1, 3);
    lineGrid->addWidget(new QLabel(u"Контроль потока:"_s, this), 2, 0);
    lineGrid->addWidget(m_flow, 2, 1, 1, 3);
    auto* portLayout = new QVBoxLayout;
    portLayout->addLayout(portRow);
    portLayout->addLayout(lineGrid);
    auto* portGroup = new QGroupBox(u"COM порт"_s, this);
    portGroup->setLayout(portLayout);

    m_timeout = numberEdit(10, this);
    m_retries = numberEdit(10, this);
    auto* exchangeForm = new QFormLayout;
    exchangeForm->addRow(u"Время ожидания ответа (мс):"_s, m_timeout);
    exchangeForm->addRow(u"Количество повторов:"_s, m_retries);

    m_useModem = new QCheckBox(u"Использовать модем"_s, this);
    connect(m_useModem, &QCheckBox::toggled, this, &CConParamsDlg::enableModemFields);
    m_modemPhone = new QLineEdit(this);
    m_modemInit = new QLineEdit(this);
    auto* modemForm = new QFormLayout;
    modemForm->addRow(m_useModem);
    modemForm->addRow(u"Номер телефона:"_s, m_modemPhone);
    modemForm->addRow(u"Строка инициализации модема:"_s, m_modemInit);
    auto* modemGroup = new QGroupBox(u"Модем"_s, this);
    modemGroup->setLayout(modemForm);

    m_perContour = new QCheckBox(u"Поконтурное считывание архива"_s, this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &CConParamsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(meterForm);
    layout->addWidget(portGroup);
    layout->addLayout(exchangeForm);
    layout->addWidget(modemGroup);
    layout->addWidget(m_perContour);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(540);

    fillPorts(ports);

    if (m_account != nullptr) {
        m_port->setCurrentIndex(m_port->findData(fmt::text(u"COM%d", m_account->m_connection.port)));
        m_model->setText(m_account->typeName());
        m_serial->setText(fmt::text(u"%u", unsigned(m_account->m_serial)));
        m_timeout->setText(QString::number(m_account->m_answerTimeout));
        m_retries->setText(QString::number(m_account->m_retries));
        m_useModem->setChecked(m_account->m_useModem);
        m_modemPhone->setText(codepage::fromAnsi(m_account->m_modem.phone));
        m_modemInit->setText(codepage::fromAnsi(m_account->m_modem.initString));
        m_perContour->setChecked(m_account->m_perContourRead);
    }
    enableModemFields();
    showLineSettings();
}

void CConParamsDlg::fillPorts(const QStringList& ports)
{
    QStringList sorted = ports;
    comm::SortComPorts(sorted);
    m_port->clear();
    // Each number with what it stands for: a device (and its adapter) or a network port.
    const std::map<int, QString> entries = comm::ComPortMap().entries();
    const QList<QSerialPortInfo> devices = QSerialPortInfo::availablePorts();
    for (const QString& name : sorted) {
        QString label = name;
        const auto entry = entries.find(comm::ComPortNumber(name));
        if (entry != entries.end()) {
            label += u" — "_s + entry->second;
            const QString adapter = comm::adapterName(entry->second, devices);
            if (!adapter.isEmpty())
                label += u" ("_s + adapter + u')';
        }
        m_port->addItem(label, name);
    }
    m_port->setCurrentIndex(-1);
}

void CConParamsDlg::editPortMap()
{
    const QString chosen = m_port->currentData().toString();
    PortMapDlg dialog(comm::ComPortMap::defaultSettingsPath(), this);
    dialog.exec();
    fillPorts(machinePorts());
    m_port->setCurrentIndex(m_port->findData(chosen));
}

QStringList CConParamsDlg::machinePorts()
{
    comm::ComPortMap map;
    return map.EnumComPorts();
}

void CConParamsDlg::showLineSettings()
{
    m_baud->setText(fmt::text(u"%u", m_dcb.BaudRate));
    m_dataBits->setText(fmt::text(u"%u", unsigned(m_dcb.ByteSize)));
    m_stopBits->setText(ui::stopBitsText(m_dcb));
    m_parity->setText(ui::parityText(m_dcb));
    m_flow->setText(ui::flowControlText(m_dcb));
}

void CConParamsDlg::enableModemFields()
{
    const bool on = m_useModem->isChecked();
    m_modemPhone->setEnabled(on);
    m_modemInit->setEnabled(on);
}

bool CConParamsDlg::selectedPort(int& number, bool needNumber)
{
    const int index = m_port->currentIndex();
    if (index < 0) {
        MessageBox::error(LoadResString(121));
        return false;
    }
    const QString name = m_port->itemData(index).toString();
    if (name.isEmpty()) {
        MessageBox::error(LoadResString(122));
        return false;
    }
    number = comm::ComPortNumber(name);
    if (needNumber && number < 0) {
        MessageBox::error(LoadResString(123));
        return false;
    }
    return true;
}

void CConParamsDlg::configurePort()
{
    int number = 0;
    if (!selectedPort(number, false))
        return;
    CPortSettingsDlg dialog(m_port->currentData().toString(), m_dcb, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_dcb = dialog.dcb();
    showLineSettings();
}

bool CConParamsDlg::takeNumber(QLineEdit* edit, qint64 min, qint64 max, qint64& value)
{
    bool ok = false;
    value = edit->text().toLongLong(&ok);
    if (ok && value >= min && value <= max)
        return true;
    MessageBox::show(CParamDlg::rangeMessage(int(min), int(max)), MbIcon::Warning);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    return false;
}

void CConParamsDlg::accept()
{
    qint64 timeout = 0;
    qint64 retries = 0;
    if (!takeNumber(m_timeout, 0, kMaxAnswerTimeout, timeout) || !takeNumber(m_retries, kMinRetries, kMaxRetries, retries))
        return;
    int port = 0;
    if (!selectedPort(port, true))
        return;
    if (m_account != nullptr) {
        m_account->m_connection.port = port;
        m_account->m_connection.dcb = m_dcb;
        m_account->m_answerTimeout = int(timeout);
        m_account->m_retries = int(retries);
        m_account->m_useModem = m_useModem->isChecked();
        m_account->m_modem.useModem = m_account->m_useModem;
        m_account->m_modem.phone = codepage::toAnsi(m_modemPhone->text());
        m_account->m_modem.initString = codepage::toAnsi(m_modemInit->text());
        m_account->m_perContourRead = m_perContour->isChecked();
    }
    QDialog::accept();
}
