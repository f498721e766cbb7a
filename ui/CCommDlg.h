#pragma once

#include <functional>
#include <memory>
#include <thread>

#include <QDialog>

#include "app/OperationPace.h"
#include "app/Shell.h"
#include "link/CommThreadParams.h"

class CDevData;
class QLabel;
class QProgressBar;
class QPushButton;

// "Соединение с ТС": runs one device operation on a worker thread and shows its progress. The
// worker reaches the dialog only through queued calls; a completed operation closes the dialog
// with OK by itself, a stopped or failed one waits for "Сохранить" or "Отмена".
class CCommDlg : public QDialog
{
    Q_OBJECT

public:
    // The worker's job: runs the operation on the block, calls the host's finished() and
    // returns the result. By default the device operation of the request's kind.
    using Work = std::function<int(CommThreadParams& params)>;

    CCommDlg(CDevData& account, const DeviceOperationRequest& request, QWidget* parent = nullptr);
    // A worker still running is asked to stop and left to end on its own.
    ~CCommDlg() override;

    // The block the worker gets; the caller may adjust its inputs before the dialog shows.
    CommThreadParams& params();
    void setWork(Work work) { m_work = std::move(work); }

    // The operation's result once it ended; -1 while none.
    int operationResult() const { return m_result; }
    bool workerRunning() const { return m_running; }

    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* stopButton() const { return m_stop; }
    QLabel* modelLabel() const { return m_model; }
    QLabel* serialLabel() const { return m_serial; }
    QLabel* netAddressLabel() const { return m_netAddress; }
    QLabel* statusLabel() const { return m_status; }
    QLabel* paceLabel() const { return m_pace; }
    QProgressBar* progressBar() const { return m_progress; }

public slots:
    // "Сохранить": the records read go into the account.
    void accept() override;
    // "Отмена" and closing the window; ignored while the worker runs.
    void reject() override;
    // "Остановить"
    void stop();

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Bridge;
    friend class Bridge;

    void startWorker();
    void onFinished(int result);
    // Shows what the worker reported since the last call.
    void showUpdates();

    std::shared_ptr<Bridge> m_bridge;
    Work m_work;
    std::thread m_thread;
    bool m_started = false;
    bool m_running = false;
    int m_result = -1;
    OperationPace m_paceMeter;

    QLabel* m_model = nullptr;
    QLabel* m_serial = nullptr;
    QLabel* m_netAddress = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_pace = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_stop = nullptr;
};
