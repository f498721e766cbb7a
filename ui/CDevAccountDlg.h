#pragma once

#include <array>
#include <functional>

#include <QDialog>

#include "storage/CDevData.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

// The consumer fields the meter keeps in its configuration memory: fixed windows-1251 fields,
// each ending at its first zero byte. Fields beyond the bytes given stay empty or short.
struct ConsumerFields
{
    QString consumer;
    QString phone;
    QString consumerId;
    QString address;
    QString contact;
};
ConsumerFields consumerFieldsFromConfig(const QByteArray& config);

} // namespace ui

// "Параметры учётной записи": edits an account record. OK checks the fields, keeps the dialog
// open with a message on a bad one, and copies a changed map file into an existing account's
// folder. The edited record is `record()` once the dialog is accepted.
class CDevAccountDlg : public QDialog
{
    Q_OBJECT

public:
    // `newAccount` enables the serial number and the type; message boxes carry `caption`.
    CDevAccountDlg(const CDevData& record, bool newAccount, const QString& caption, const QString& workingFolder,
                   QWidget* parent = nullptr);

    const CDevData& record() const { return m_record; }

    // The map file as the record will name it, and whether it was chosen in this dialog.
    const QString& mapPath() const { return m_mapPath; }
    bool mapChanged() const { return m_mapChanged; }
    // The text the map field shows for a map name.
    static QString mapDisplayName(const QString& mapPath);

    // Takes what a device operation read into `read`: serial number, network address and the
    // consumer fields from its configuration memory. Without configuration bytes it says so.
    bool takeFieldsFromDevice(const CDevData& read);

    // Opens the connection dialog on a record; false on cancel. Enables "Настройки связи с ТС...".
    using ConnectionEditor = std::function<bool(CDevData& record)>;
    void setConnectionEditor(ConnectionEditor editor);
    // Runs Get Archive on a record behind the progress dialog; true when it ended with OK.
    // Enables "Считать из ТС...".
    using DeviceReader = std::function<bool(CDevData& record)>;
    void setDeviceReader(DeviceReader reader);

    QLineEdit* serialEdit() const { return m_serial; }
    QComboBox* typeBox() const { return m_type; }
    QLineEdit* netAddressEdit() const { return m_netAddress; }
    QLineEdit* consumerEdit() const { return m_consumer; }
    QLineEdit* phoneEdit() const { return m_phone; }
    QLineEdit* consumerIdEdit() const { return m_consumerId; }
    QLineEdit* addressEdit() const { return m_address; }
    QLineEdit* contactEdit() const { return m_contact; }
    QLineEdit* mapEdit() const { return m_map; }
    QPushButton* mapButton() const { return m_mapButton; }
    QCheckBox* printVolumeBox(int contour) const { return m_printVolumes.at(std::size_t(contour)); }
    QCheckBox* headerBox() const { return m_header; }
    QPushButton* connectionButton() const { return m_connectionButton; }
    QPushButton* readButton() const { return m_readButton; }
    QPushButton* okButton() const { return m_okButton; }

public slots:
    void accept() override;
    // "Изменить...": the map chooser.
    void chooseMap();
    // "Настройки связи с ТС..."
    void editConnection();
    // "Считать из ТС...": the consumer fields as the meter keeps them.
    void readFromDevice();

private:
    QString accountFolder() const;
    // Where the map chooser starts.
    QString mapFolder() const;
    bool refuse(QWidget* field, const QString& text);
    // Copies the chosen map into the account folder; shows the failure.
    bool copyMapIntoFolder(const QString& folder);

    CDevData m_record;
    ConnectionEditor m_connectionEditor;
    DeviceReader m_deviceReader;
    bool m_newAccount;
    QString m_caption;
    QString m_workingFolder;
    QString m_mapPath;
    bool m_mapChanged = false;

    QLineEdit* m_serial = nullptr;
    QComboBox* m_type = nullptr;
    QLineEdit* m_netAddress = nullptr;
    QLineEdit* m_consumer = nullptr;
    QLineEdit* m_phone = nullptr;
    QLineEdit* m_consumerId = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_contact = nullptr;
    QLineEdit* m_map = nullptr;
    QPushButton* m_mapButton = nullptr;
    std::array<QCheckBox*, 3> m_printVolumes{};
    QCheckBox* m_header = nullptr;
    QPushButton* m_connectionButton = nullptr;
    QPushButton* m_readButton = nullptr;
    QPushButton* m_okButton = nullptr;
};
