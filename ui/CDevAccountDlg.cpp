#include "CDevAccountDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "CParamDlg.h"
#include "FileDialog.h"
#include "base/CodePage.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/DeviceTypes.h"
#include "storage/Folders.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Offsets and sizes of the consumer fields in the configuration memory.
struct ConfigField
{
    int offset;
    int size;
};
constexpr ConfigField kConsumerField{312, 50};
constexpr ConfigField kPhoneField{362, 10};
constexpr ConfigField kConsumerIdField{372, 12};
constexpr ConfigField kAddressField{384, 41};
constexpr ConfigField kContactField{439, 45};

QString configText(const QByteArray& config, ConfigField field)
{
    if (field.offset >= config.size())
        return QString();
    QByteArrayView bytes = QByteArrayView(config).sliced(field.offset);
    bytes = bytes.first(std::min<qsizetype>(bytes.size(), field.size));
    const qsizetype zero = bytes.indexOf('\0');
    return codepage::fromAnsi(zero < 0 ? bytes : bytes.first(zero));
}

const QRegularExpression& hexByte()
{
    static const QRegularExpression re(u"^[0-9A-Fa-f]{1,2}$"_s);
    return re;
}

QString notYetTip(const QString& what)
{
    return what + u" появится в следующей версии программы."_s;
}

} // namespace

namespace ui {

ConsumerFields consumerFieldsFromConfig(const QByteArray& config)
{
    return {configText(config, kConsumerField), configText(config, kPhoneField),
            configText(config, kConsumerIdField), configText(config, kAddressField),
            configText(config, kContactField)};
}

} // namespace ui

CDevAccountDlg::CDevAccountDlg(const CDevData& record, bool newAccount, const QString& caption,
                               const QString& workingFolder, QWidget* parent)
    : QDialog(parent)
    , m_record(record)
    , m_newAccount(newAccount)
    , m_caption(caption)
    , m_workingFolder(workingFolder)
    , m_mapPath(record.m_mapFile)
{
    setWindowTitle(u"Параметры учётной записи"_s);

    m_serial = new QLineEdit(this);
    m_serial->setMaxLength(5);
    m_serial->setValidator(new QRegularExpressionValidator(QRegularExpression(u"^[0-9]{0,5}$"_s), m_serial));
    if (record.m_serial != 0 || !newAccount)
        m_serial->setText(QString::number(record.m_serial));
    m_type = new QComboBox(this);
    m_type->addItems(devtypes::displayNames());
    m_type->setCurrentIndex(record.m_type >= 1 && record.m_type <= m_type->count() ? record.m_type - 1 : -1);
    m_serial->setEnabled(newAccount);
    m_type->setEnabled(newAccount);
    m_netAddress = new QLineEdit(fmt::text(u"%02X", unsigned(record.m_netAddress & 0xFF)), this);
    m_netAddress->setMaxLength(2);
    m_netAddress->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"^[0-9A-Fa-f]{0,2}$"_s), m_netAddress));
    const int hexWidth = m_netAddress->fontMetrics().horizontalAdvance(u"WWWW"_s) + 16;
    m_netAddress->setMaximumWidth(hexWidth);
    m_serial->setMaximumWidth(hexWidth * 2);

    m_connectionButton = new QPushButton(u"Настройки связи с ТС..."_s, this);
    m_connectionButton->setEnabled(false);
    m_connectionButton->setToolTip(notYetTip(u"Настройка связи с ТС"_s));
    m_readButton = new QPushButton(u"Считать из ТС..."_s, this);
    m_readButton->setEnabled(false);
    m_readButton->setToolTip(notYetTip(u"Чтение полей из ТС"_s));
    for (QPushButton* button : {m_connectionButton, m_readButton})
        button->setAutoDefault(false);

    auto* meterForm = new QFormLayout;
    meterForm->addRow(u"Серийный номер:"_s, m_serial);
    meterForm->addRow(u"Тип:"_s, m_type);
    meterForm->addRow(u"Сетевой адрес:"_s, m_netAddress);
    auto* meterButtons = new QHBoxLayout;
    meterButtons->addWidget(m_connectionButton);
    meterButtons->addWidget(m_readButton);
    meterButtons->addStretch(1);
    auto* meterLayout = new QVBoxLayout;
    meterLayout->addLayout(meterForm);
    meterLayout->addLayout(meterButtons);
    auto* meterGroup = new QGroupBox(u"Теплосчётчик"_s, this);
    meterGroup->setLayout(meterLayout);

    m_consumer = new QLineEdit(record.m_consumer, this);
    m_phone = new QLineEdit(record.m_phone, this);
    m_consumerId = new QLineEdit(record.m_consumerId, this);
    m_address = new QLineEdit(record.m_address, this);
    m_contact = new QLineEdit(record.m_contact, this);
    auto* consumerForm = new QFormLayout;
    consumerForm->addRow(u"Название потребителя:"_s, m_consumer);
    consumerForm->addRow(u"Телефон:"_s, m_phone);
    consumerForm->addRow(u"Идентификатор абонента:"_s, m_consumerId);
    consumerForm->addRow(u"Адрес:"_s, m_address);
    consumerForm->addRow(u"Контактное лицо:"_s, m_contact);
    auto* consumerGroup = new QGroupBox(u"Потребитель"_s, this);
    consumerGroup->setLayout(consumerForm);

    m_map = new QLineEdit(mapDisplayName(m_mapPath), this);
    m_map->setReadOnly(true);
    m_mapButton = new QPushButton(u"Изменить..."_s, this);
    m_mapButton->setAutoDefault(false);
    connect(m_mapButton, &QPushButton::clicked, this, &CDevAccountDlg::chooseMap);
    connect(m_connectionButton, &QPushButton::clicked, this, &CDevAccountDlg::editConnection);
    connect(m_readButton, &QPushButton::clicked, this, &CDevAccountDlg::readFromDevice);
    auto* mapLayout = new QHBoxLayout;
    mapLayout->addWidget(m_map, 1);
    mapLayout->addWidget(m_mapButton);
    auto* mapGroup = new QGroupBox(u"Карта памяти"_s, this);
    mapGroup->setLayout(mapLayout);

    auto* reportLayout = new QVBoxLayout;
    for (std::size_t c = 0; c < m_printVolumes.size(); ++c) {
        m_printVolumes[c] = new QCheckBox(fmt::text(u"Печатать объем для контура %d", int(c) + 1), this);
        m_printVolumes[c]->setChecked(record.m_printVolumes[c]);
        reportLayout->addWidget(m_printVolumes[c]);
    }
    m_header = new QCheckBox(u"Использовать для заголовка учётную запись"_s, this);
    m_header->setChecked(record.m_useAccountForHeader);
    reportLayout->addWidget(m_header);
    auto* reportGroup = new QGroupBox(u"Отчёт"_s, this);
    reportGroup->setLayout(reportLayout);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_okButton->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDevAccountDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(meterGroup);
    layout->addWidget(consumerGroup);
    layout->addWidget(mapGroup);
    layout->addWidget(reportGroup);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

QString CDevAccountDlg::mapDisplayName(const QString& mapPath)
{
    if (mapPath.isEmpty())
        return LoadResString(190, u"<No configuration>"_s);
    return QFileInfo(mapPath).fileName();
}

QString CDevAccountDlg::accountFolder() const
{
    return m_record.m_folder.isEmpty() ? m_record.accountFolder(m_workingFolder) : m_record.m_folder;
}

QString CDevAccountDlg::mapFolder() const
{
    if (m_mapPath.isEmpty())
        return m_workingFolder + u'/' + LoadResString(188, u"Maps"_s);
    // A name read from the account file has no folder: it lives in the account folder.
    if (!m_mapPath.contains(u'/'))
        return accountFolder();
    return QFileInfo(m_mapPath).absolutePath();
}

void CDevAccountDlg::chooseMap()
{
    FileDialogSpec request;
    request.title = LoadResString(189, u"Select MAP-file"_s);
    request.filter = LoadResString(202, u"Map-files (*.map)|*.map|All Files (*.*)|*.*||"_s);
    request.defaultExtension = u"map"_s;
    request.folder = mapFolder();
    const QString path = FileDialog::getOpenFileName(this, request);
    if (path.isEmpty())
        return;
    m_mapPath = path;
    m_mapChanged = true;
    m_map->setText(mapDisplayName(path));
}

void CDevAccountDlg::setConnectionEditor(ConnectionEditor editor)
{
    m_connectionEditor = std::move(editor);
    m_connectionButton->setEnabled(bool(m_connectionEditor));
    m_connectionButton->setToolTip(QString());
}

void CDevAccountDlg::setDeviceReader(DeviceReader reader)
{
    m_deviceReader = std::move(reader);
    m_readButton->setEnabled(bool(m_deviceReader));
    m_readButton->setToolTip(QString());
}

void CDevAccountDlg::editConnection()
{
    if (m_connectionEditor)
        m_connectionEditor(m_record);
}

void CDevAccountDlg::readFromDevice()
{
    if (!m_deviceReader)
        return;
    if (m_type->currentIndex() < 0) {
        MessageBox::error(LoadResString(107, u"Select device type"_s), m_caption);
        return;
    }
    m_record.m_type = m_type->currentIndex() + 1;
    // The meter on the line is checked against the number typed in, not the one the dialog
    // opened with (none, for a new account).
    bool ok = false;
    const int serial = m_serial->text().toInt(&ok);
    if (ok && serial > 0 && serial <= CDevData::kMaxSerial)
        m_record.m_serial = serial;
    const int address = m_netAddress->text().toInt(&ok, 16);
    if (ok)
        m_record.m_netAddress = address;
    if (m_record.m_connection.port < 1 && (!m_connectionEditor || !m_connectionEditor(m_record)))
        return;
    if (!m_deviceReader(m_record))
        return;
    takeFieldsFromDevice(m_record);
}

bool CDevAccountDlg::takeFieldsFromDevice(const CDevData& read)
{
    if (read.m_config.isEmpty()) {
        MessageBox::error(LoadResString(180, u"Config is not loaded"_s), m_caption);
        return false;
    }
    m_serial->setText(QString::number(read.m_serial));
    m_netAddress->setText(fmt::text(u"%02X", unsigned(read.m_netAddress & 0xFF)));
    const ui::ConsumerFields fields = ui::consumerFieldsFromConfig(read.m_config);
    m_consumer->setText(fields.consumer);
    m_phone->setText(fields.phone);
    m_consumerId->setText(fields.consumerId);
    m_address->setText(fields.address);
    m_contact->setText(fields.contact);
    return true;
}

bool CDevAccountDlg::refuse(QWidget* field, const QString& text)
{
    MessageBox::show(text, MbIcon::Warning, MbButtons::Ok, m_caption);
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->selectAll();
    return false;
}

bool CDevAccountDlg::copyMapIntoFolder(const QString& folder)
{
    // Choosing the map that is already there is harmless; a failed copy leaves the old map in place.
    QString error;
    if (folders::copyReplacing(m_mapPath, folders::join(folder, QFileInfo(m_mapPath).fileName()), &error))
        return true;
    MessageBox::error(LoadResString(191, u"Failed to copy map file: "_s) + error, m_caption);
    return false;
}

void CDevAccountDlg::accept()
{
    CDevData edited = m_record;
    if (m_type->currentIndex() < 0) {
        MessageBox::error(LoadResString(107, u"Select device type"_s), m_caption);
        m_type->setFocus(Qt::OtherFocusReason);
        return;
    }
    edited.m_type = m_type->currentIndex() + 1;
    if (m_newAccount) {
        bool ok = false;
        const int serial = m_serial->text().trimmed().toInt(&ok);
        if (!ok || serial < 1 || serial > CDevData::kMaxSerial) {
            refuse(m_serial, CParamDlg::rangeMessage(1, CDevData::kMaxSerial));
            return;
        }
        edited.m_serial = serial;
    }
    const QString hex = m_netAddress->text().trimmed();
    if (!hexByte().match(hex).hasMatch()) {
        refuse(m_netAddress, u"Введите сетевой адрес: две шестнадцатеричные цифры, от 00 до FF."_s);
        return;
    }
    edited.m_netAddress = hex.toInt(nullptr, 16);
    edited.m_consumer = m_consumer->text();
    edited.m_phone = m_phone->text();
    edited.m_consumerId = m_consumerId->text();
    edited.m_address = m_address->text();
    edited.m_contact = m_contact->text();
    for (std::size_t c = 0; c < m_printVolumes.size(); ++c)
        edited.m_printVolumes[c] = m_printVolumes[c]->isChecked();
    edited.m_useAccountForHeader = m_header->isChecked();

    if (m_mapChanged) {
        const QString folder = accountFolder();
        if (m_newAccount || !QFileInfo(folder).isDir()) {
            // Adding the account copies the map into the folder it creates and parses the copy.
            edited.m_mapFile = m_mapPath;
            edited.m_mapChanged = true;
            edited.m_mapLoaded = edited.m_map.LoadFile(m_mapPath);
        } else {
            if (!copyMapIntoFolder(folder))
                return;
            // The map in use stays until the next start, which reads the new one by this name.
            edited.m_mapFile = QFileInfo(m_mapPath).fileName();
            edited.m_mapChanged = false;
            MessageBox::show(LoadResString(223), MbIcon::Information, MbButtons::Ok, m_caption);
        }
    }
    m_record = std::move(edited);
    QDialog::accept();
}
