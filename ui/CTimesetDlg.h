#pragma once

#include <functional>

#include <QDialog>
#include <QTimer>

#include "app/Shell.h"

class CDevData;
class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimeEdit;

// "Установка времени ТС": the date and time to set the meter's clock to, typed in or following
// the computer's clock. "Установить" hands the chosen value to the clock setter, which runs the
// operation behind the progress dialog; the dialog closes once the clock was set.
class CTimesetDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kTickMs = 1000;

    // Opens the connection dialog on the account; false on cancel.
    using ConnectionEditor = std::function<bool(CDevData& account)>;

    // `account` is the document's own record: a port chosen here goes into it and is saved.
    CTimesetDlg(CDevData* account, Shell::ClockSetter setClock, ConnectionEditor editConnection,
                QWidget* parent = nullptr);

    // The date-time "Установить" would send: the date picker's day with the time picker's time.
    QDateTime chosenDateTime() const;
    bool followsSystemClock() const { return m_timer.isActive(); }

    QTimeEdit* timeEdit() const { return m_time; }
    QDateEdit* dateEdit() const { return m_date; }
    QRadioButton* userTimeButton() const { return m_userTime; }
    QRadioButton* systemTimeButton() const { return m_systemTime; }
    QLabel* modelLabel() const { return m_model; }
    QLabel* serialLabel() const { return m_serial; }
    QLabel* netAddressLabel() const { return m_netAddress; }
    QPushButton* setButton() const { return m_set; }
    QPushButton* closeButton() const { return m_close; }

public slots:
    // "Установить"
    void accept() override;
    void useUserTime();
    void useSystemTime();

private:
    void showNow();
    void followSystemClock();

    CDevData* m_account;
    Shell::ClockSetter m_setClock;
    ConnectionEditor m_editConnection;
    QTimer m_timer;

    QTimeEdit* m_time = nullptr;
    QDateEdit* m_date = nullptr;
    QRadioButton* m_userTime = nullptr;
    QRadioButton* m_systemTime = nullptr;
    QLabel* m_model = nullptr;
    QLabel* m_serial = nullptr;
    QLabel* m_netAddress = nullptr;
    QPushButton* m_set = nullptr;
    QPushButton* m_close = nullptr;
};
