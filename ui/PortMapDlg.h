#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

// "COM-порты": what each COM number of the map stands for, a serial device or a network port
// (raw TCP or RFC 2217), added, changed and removed in the settings file's map.
class PortMapDlg : public QDialog
{
    Q_OBJECT

public:
    explicit PortMapDlg(const QString& settingsPath, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    QSpinBox* numberBox() const { return m_number; }
    QComboBox* kindBox() const { return m_kind; }
    QLineEdit* targetEdit() const { return m_target; }
    QSpinBox* tcpPortBox() const { return m_tcpPort; }
    QPushButton* writeButton() const { return m_write; }
    QPushButton* removeButton() const { return m_remove; }

    // "Записать": the form's entry into the map; false (with a message) when it is no target.
    bool writeEntry();
    // "Удалить": the selected row's number out of the map.
    bool removeSelected();

private:
    void reload();
    void showRow(int row);
    void kindChanged();

    QString m_path;
    QTableWidget* m_table = nullptr;
    QSpinBox* m_number = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_target = nullptr;
    QSpinBox* m_tcpPort = nullptr;
    QPushButton* m_write = nullptr;
    QPushButton* m_remove = nullptr;
};
