#include "CCommDlg.h"

#include <condition_variable>
#include <mutex>
#include <system_error>

#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "CSelectArcDateDlg.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "link/DeviceOperations.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

// The worker's side of the dialog. Everything the worker reports is kept here under the lock and
// shown by one queued call at a time, so a fast operation cannot flood the event queue. Once the
// dialog is gone the reports go nowhere and questions are answered "cancel".
class CCommDlg::Bridge : public OperationHost
{
public:
    explicit Bridge(CCommDlg* dialog)
        : m_dialog(dialog)
    {
        params.host = this;
        m_clock.start();
    }

    void detach()
    {
        std::lock_guard lock(m_mutex);
        m_dialog = nullptr;
        m_answered.notify_all();
    }

    void setStatus(const QString& text) override
    {
        std::lock_guard lock(m_mutex);
        m_pending.status = text;
        m_pending.hasStatus = true;
        postLocked();
    }

    void setProgress(int position) override
    {
        std::lock_guard lock(m_mutex);
        m_pending.progress = position;
        postLocked();
    }

    void setCounts(qint64 done, qint64 total, CountUnit unit) override
    {
        std::lock_guard lock(m_mutex);
        m_pending.done = done;
        m_pending.total = total;
        m_pending.unit = unit;
        m_pending.countsAt = m_clock.elapsed();
        m_pending.hasCounts = true;
        postLocked();
    }

    void setCaption(const QString& caption) override
    {
        std::lock_guard lock(m_mutex);
        m_pending.caption = caption;
        postLocked();
    }

    std::atomic<int>& stopWord() override { return m_stop; }

    std::optional<DateRange> askDateRange(QDate proposedStart, std::optional<QDate> proposedEnd) override
    {
        std::unique_lock lock(m_mutex);
        if (m_dialog == nullptr)
            return std::nullopt;
        auto answer = std::make_shared<std::optional<std::optional<DateRange>>>();
        QMetaObject::invokeMethod(
            m_dialog,
            [this, answer, proposedStart, proposedEnd, dialog = m_dialog] {
                CSelectArcDateDlg dates(proposedStart, proposedEnd, dialog);
                std::optional<DateRange> range;
                if (dates.exec() == QDialog::Accepted)
                    range = DateRange{dates.start(), dates.end()};
                std::lock_guard inner(m_mutex);
                *answer = range;
                m_answered.notify_all();
            },
            Qt::QueuedConnection);
        m_answered.wait(lock, [&] { return answer->has_value() || m_dialog == nullptr; });
        return answer->has_value() ? **answer : std::nullopt;
    }

    void finished(int result) override
    {
        std::lock_guard lock(m_mutex);
        m_finishedCalled = true;
        if (m_dialog != nullptr)
            QMetaObject::invokeMethod(m_dialog, [dialog = m_dialog, result] { dialog->onFinished(result); },
                                      Qt::QueuedConnection);
    }

    bool finishedCalled()
    {
        std::lock_guard lock(m_mutex);
        return m_finishedCalled;
    }

    struct Updates
    {
        QString status;
        bool hasStatus = false;
        int progress = -1;
        qint64 done = 0;
        qint64 total = 0;
        CountUnit unit = CountUnit::Records;
        qint64 countsAt = 0;
        bool hasCounts = false;
        QString caption;
    };

    Updates takeUpdates()
    {
        std::lock_guard lock(m_mutex);
        Updates taken = std::move(m_pending);
        m_pending = Updates{};
        m_posted = false;
        return taken;
    }

    CommThreadParams params;

private:
    void postLocked()
    {
        if (m_posted || m_dialog == nullptr)
            return;
        m_posted = true;
        QMetaObject::invokeMethod(m_dialog, [dialog = m_dialog] { dialog->showUpdates(); }, Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    std::condition_variable m_answered;
    CCommDlg* m_dialog;
    std::atomic<int> m_stop{kRunning};
    QElapsedTimer m_clock;
    Updates m_pending;
    bool m_posted = false;
    bool m_finishedCalled = false;
};

CCommDlg::CCommDlg(CDevData& account, const DeviceOperationRequest& request, QWidget* parent)
    : QDialog(parent)
    , m_bridge(std::make_shared<Bridge>(this))
{
    setWindowTitle(u"Соединение с ТС"_s);
    setModal(true);

    CommThreadParams& p = m_bridge->params;
    p.account = &account;
    p.database = request.database;
    p.overwrite = request.overwrite;
    if (request.when.isValid())
        p.when = request.when;
    const int kind = int(request.kind);
    m_work = [kind](CommThreadParams& params) { return comm::runOperation(kind, params); };

    m_model = new QLabel(account.typeName(), this);
    m_serial = new QLabel(QString::number(account.m_serial), this);
    m_netAddress = new QLabel(fmt::text(u"%02X", account.m_netAddress), this);
    m_status = new QLabel(this);
    m_status->setMinimumWidth(360);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_pace = new QLabel(this);

    m_save = new QPushButton(u"Сохранить"_s, this);
    m_cancel = new QPushButton(u"Отмена"_s, this);
    m_stop = new QPushButton(u"Остановить"_s, this);
    for (QPushButton* button : {m_save, m_cancel, m_stop}) {
        button->setEnabled(false);
        button->setAutoDefault(false);
    }
    connect(m_save, &QPushButton::clicked, this, &CCommDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CCommDlg::reject);
    connect(m_stop, &QPushButton::clicked, this, &CCommDlg::stop);

    auto* device = new QGridLayout;
    device->addWidget(new QLabel(u"Модель:"_s, this), 0, 0);
    device->addWidget(m_model, 0, 1);
    device->addWidget(new QLabel(u"Серийный номер:"_s, this), 1, 0);
    device->addWidget(m_serial, 1, 1);
    device->addWidget(new QLabel(u"Сетевой адрес:"_s, this), 2, 0);
    device->addWidget(m_netAddress, 2, 1);
    device->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(device);
    layout->addSpacing(8);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(m_pace);
    layout->addSpacing(8);
    layout->addLayout(buttons);
}

CCommDlg::~CCommDlg()
{
    m_bridge->detach();
    if (m_thread.joinable()) {
        // The worker keeps its own reference to the block and ends at its next exchange.
        m_bridge->stopWord().store(OperationHost::kStopAsked);
        m_thread.detach();
    }
}

CommThreadParams& CCommDlg::params()
{
    return m_bridge->params;
}

void CCommDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        // Once the dialog is up, so the worker's first questions have a window to sit on.
        QMetaObject::invokeMethod(this, &CCommDlg::startWorker, Qt::QueuedConnection);
    }
}

void CCommDlg::startWorker()
{
    try {
        m_running = true;
        m_thread = std::thread([bridge = m_bridge, work = m_work] {
            const int result = work(bridge->params);
            // A job that did not report its end still ends the dialog's wait.
            if (!bridge->finishedCalled())
                bridge->finished(result);
        });
        m_stop->setEnabled(true);
    } catch (const std::system_error&) {
        m_running = false;
        m_cancel->setEnabled(true);
    }
}

void CCommDlg::showUpdates()
{
    Bridge::Updates updates = m_bridge->takeUpdates();
    if (!updates.caption.isEmpty())
        setWindowTitle(updates.caption);
    if (updates.hasStatus) {
        m_status->setText(updates.status);
        m_paceMeter.status(updates.status);
    }
    if (updates.progress >= 0)
        m_progress->setValue(std::clamp(updates.progress, 0, 100));
    if (updates.hasCounts) {
        m_paceMeter.sample(updates.countsAt, updates.done, updates.total, updates.unit);
        m_pace->setText(m_paceMeter.text());
    }
}

void CCommDlg::onFinished(int result)
{
    if (!m_running)
        return;
    showUpdates();
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
    m_result = result;
    m_stop->setEnabled(false);
    m_save->setEnabled(result == 0 || !m_bridge->params.records.empty());
    m_cancel->setEnabled(true);
    // Nothing is left to wait for.
    m_pace->clear();
    if (result == 0)
        QMetaObject::invokeMethod(this, &CCommDlg::accept, Qt::QueuedConnection);
}

void CCommDlg::stop()
{
    if (!m_running)
        return;
    m_stop->setEnabled(false);
    m_bridge->stopWord().store(OperationHost::kStopAsked);
}

void CCommDlg::accept()
{
    if (m_running || !isVisible())
        return;
    if (!m_bridge->params.records.empty())
        comm::mergeRecords(m_bridge->params);
    QDialog::accept();
}

void CCommDlg::reject()
{
    // Until the worker has ended (or could not start) there is nothing to close on.
    if (m_running || (m_started && !m_cancel->isEnabled()))
        return;
    if (!m_bridge->params.records.empty()) {
        const MbAnswer answer = MessageBox::question(
            LoadResString(142, u"Some archive records read. Are you sure want to discard them?"_s));
        if (answer != MbAnswer::Yes)
            return;
    }
    QDialog::reject();
}
