#include "CTimesetDlg.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

CTimesetDlg::CTimesetDlg(CDevData* account, Shell::ClockSetter setClock, ConnectionEditor editConnection,
                         QWidget* parent)
    : QDialog(parent)
    , m_account(account)
    , m_setClock(std::move(setClock))
    , m_editConnection(std::move(editConnection))
{
    setWindowTitle(u"Установка времени ТС"_s);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &CTimesetDlg::showNow);

    m_model = new QLabel(this);
    m_serial = new QLabel(this);
    m_netAddress = new QLabel(this);
    if (m_account != nullptr) {
        m_model->setText(m_account->typeName());
        m_serial->setText(fmt::text(u"%u", unsigned(m_account->m_serial)));
        m_netAddress->setText(fmt::text(u"%02X", unsigned(m_account->m_netAddress)));
    }
    auto* meterForm = new QFormLayout;
    meterForm->addRow(u"Модель ТС:"_s, m_model);
    meterForm->addRow(u"Серийный номер:"_s, m_serial);
    meterForm->addRow(u"Сетевой адрес:"_s, m_netAddress);
    auto* meterGroup = new QGroupBox(u"Теплосчётчик"_s, this);
    meterGroup->setLayout(meterForm);

    const QDateTime now = QDateTime::currentDateTime();
    m_time = new QTimeEdit(now.time(), this);
    m_time->setDisplayFormat(u"HH:mm:ss"_s);
    m_date = new QDateEdit(now.date(), this);
    m_date->setDisplayFormat(u"dd.MM.yyyy"_s);
    m_date->setCalendarPopup(true);
    m_userTime = new QRadioButton(u"Задать время"_s, this);
    m_systemTime = new QRadioButton(u"Системное время"_s, this);
    auto* group = new QButtonGroup(this);
    group->addButton(m_userTime);
    group->addButton(m_systemTime);
    m_userTime->setChecked(true);
    connect(m_userTime, &QRadioButton::clicked, this, &CTimesetDlg::useUserTime);
    connect(m_systemTime, &QRadioButton::clicked, this, &CTimesetDlg::useSystemTime);
    auto* pickers = new QHBoxLayout;
    pickers->addWidget(m_date);
    pickers->addWidget(m_time);
    pickers->addStretch(1);
    auto* timeLayout = new QVBoxLayout;
    timeLayout->addWidget(m_userTime);
    timeLayout->addWidget(m_systemTime);
    timeLayout->addLayout(pickers);
    auto* timeGroup = new QGroupBox(u"Время"_s, this);
    timeGroup->setLayout(timeLayout);

    auto* buttons = new QDialogButtonBox(this);
    m_set = buttons->addButton(u"Установить"_s, QDialogButtonBox::AcceptRole);
    m_close = buttons->addButton(u"Закрыть"_s, QDialogButtonBox::RejectRole);
    m_set->setEnabled(m_account != nullptr);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTimesetDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(meterGroup);
    layout->addWidget(timeGroup);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(340);
}

QDateTime CTimesetDlg::chosenDateTime() const
{
    return QDateTime(m_date->date(), m_time->time());
}

void CTimesetDlg::showNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_date->setDate(now.date());
    m_time->setTime(now.time());
}

void CTimesetDlg::followSystemClock()
{
    m_date->setEnabled(false);
    m_time->setEnabled(false);
    showNow();
    m_timer.start();
}

void CTimesetDlg::useSystemTime()
{
    if (!m_timer.isActive())
        followSystemClock();
}

void CTimesetDlg::useUserTime()
{
    m_timer.stop();
    m_date->setEnabled(true);
    m_time->setEnabled(true);
}

void CTimesetDlg::accept()
{
    if (m_account == nullptr || !m_setClock)
        return;
    if (m_account->m_connection.port < 1) {
        if (!m_editConnection || !m_editConnection(*m_account))
            return;
        if (m_account->Save() != S_OK) {
            MessageBox::error(LoadResString(108));
            return;
        }
    }
    const bool following = m_timer.isActive();
    // Stopped while the progress dialog runs, so the value cannot move under the operation.
    m_timer.stop();
    if (following)
        showNow(); // the last tick may be most of a second old
    const QDateTime when = chosenDateTime();
    const bool done = when.isValid() && m_setClock(when);
    if (following)
        followSystemClock();
    if (done)
        QDialog::accept();
}
