#pragma once

#include <memory>
#include <thread>
#include <vector>

#include <QDialog>
#include <QElapsedTimer>

#include "app/Poller.h"

class CLorn2Doc;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

// The poll of many accounts beside the main window: a row per account (state, records read,
// records per second, result), the overall progress with the time left, "Остановить", and the
// summary at the end. Each account's new records reach the document as soon as it is done.
class PollWindow : public QDialog
{
    Q_OBJECT

public:
    enum Column { ColAccount, ColPort, ColState, ColRecords, ColRate, ColQuality, ColResult, ColCount };

    PollWindow(CLorn2Doc& document, std::vector<int> accounts, PollPolicy policy, QWidget* parent = nullptr);
    ~PollWindow() override;

    // Takes the working folder's poll lock and starts; false (with the message shown) when
    // another poll holds it.
    bool start();
    bool running() const { return m_thread.joinable() && !m_done; }
    void stop();
    // Stops and waits for the lines to let go, for the main window's exit.
    void stopAndWait();

    QTableWidget* table() const { return m_table; }
    QProgressBar* progress() const { return m_progress; }
    QLabel* summary() const { return m_summary; }
    QPushButton* stopButton() const { return m_stopButton; }

signals:
    void pollEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void changed(int job, const PollResult& result);
    void accountDone(int job, const PollResult& result, const CDevData& data);
    void allDone();
    void refreshTimes();

    CLorn2Doc& m_document;
    std::vector<int> m_accounts;
    std::unique_ptr<Poller> m_poller;
    std::unique_ptr<PollLock> m_lock;
    std::thread m_thread;
    bool m_done = false;
    QElapsedTimer m_clock;
    std::vector<qint64> m_startedMs; // per job, when its current try began; -1: not running
    std::vector<double> m_fraction;  // per job, how much of it is done, 0..1
    std::vector<PollResult::State> m_states; // per job, as the last report said

    QTableWidget* m_table = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_timeLeft = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QTimer* m_ticker = nullptr;
};
