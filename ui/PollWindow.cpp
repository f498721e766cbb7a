#include "PollWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CLorn2Doc.h"
#include "app/OperationPace.h"
#include "base/MessageBox.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString stateText(PollResult::State state)
{
    switch (state) {
    case PollResult::State::Waiting: return u"Ожидание"_s;
    case PollResult::State::Running: return u"Опрос"_s;
    case PollResult::State::Ok: return u"Успешно"_s;
    case PollResult::State::Failed: return u"Ошибка"_s;
    case PollResult::State::Stopped: return u"Остановлен"_s;
    }
    return {};
}

} // namespace

PollWindow::PollWindow(CLorn2Doc& document, std::vector<int> accounts, PollPolicy policy, QWidget* parent)
    : QDialog(parent)
    , m_document(document)
    , m_accounts(std::move(accounts))
{
    setWindowTitle(u"Опрос ТС"_s);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setSizeGripEnabled(true);

    std::vector<Poller::Job> jobs;
    for (const int index : m_accounts)
        jobs.push_back(Poller::Job{index, document.accounts()[std::size_t(index)]});
    ArchiveDatabase* database = document.database();
    m_poller = std::make_unique<Poller>(std::move(jobs), policy, document.workingFolder(),
                                        database != nullptr && database->isOpen() ? database->path() : QString());
    m_startedMs.assign(m_accounts.size(), -1);
    m_fraction.assign(m_accounts.size(), 0.0);
    m_states.assign(m_accounts.size(), PollResult::State::Waiting);

    m_table = new QTableWidget(int(m_accounts.size()), ColCount, this);
    m_table->setHorizontalHeaderLabels(
        {u"ТС"_s, u"Порт"_s, u"Состояние"_s, u"Записей"_s, u"Записей/с"_s, u"Проверка"_s, u"Результат"_s});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    for (int c = 0; c < ColResult; ++c)
        m_table->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(ColResult, QHeaderView::Stretch);
    m_table->setWordWrap(false);
    for (std::size_t i = 0; i < m_accounts.size(); ++i) {
        const PollResult& r = m_poller->results()[i];
        const CDevData& acc = document.accounts()[std::size_t(m_accounts[i])];
        const QString name = u"%1 %2"_s.arg(acc.typeName(), QString::number(r.serial).rightJustified(5, u'0'));
        const QStringList cells{name, u"COM%1"_s.arg(r.port), stateText(r.state), u"0"_s, QString(), QString(), QString()};
        for (int c = 0; c < ColCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == ColRecords || c == ColRate)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(int(i), c, item);
        }
    }

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, int(m_accounts.size()));
    m_progress->setValue(0);
    m_progress->setFormat(u"%v из %m"_s);
    m_timeLeft = new QLabel(this);
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    m_stopButton = new QPushButton(u"Остановить"_s, this);
    m_closeButton = new QPushButton(u"Закрыть"_s, this);
    m_closeButton->setEnabled(false);
    connect(m_stopButton, &QPushButton::clicked, this, &PollWindow::stop);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_timeLeft, 1);
    buttons->addWidget(m_stopButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
    layout->addWidget(m_summary);
    resize(720, 360);

    m_ticker = new QTimer(this);
    m_ticker->setInterval(500);
    connect(m_ticker, &QTimer::timeout, this, &PollWindow::refreshTimes);

    Poller::Observer observer;
    observer.changed = [this](int job, const PollResult& r) {
        QMetaObject::invokeMethod(this, [this, job, r] { changed(job, r); }, Qt::QueuedConnection);
    };
    observer.finished = [this](int job, const PollResult& r, const CDevData& data) {
        // The worker goes on with the next account: the data are handed over as a copy.
        QMetaObject::invokeMethod(this, [this, job, r, data] { accountDone(job, r, data); }, Qt::QueuedConnection);
    };
    m_poller->setObserver(std::move(observer));
}

PollWindow::~PollWindow()
{
    stopAndWait();
}

bool PollWindow::start()
{
    m_lock = std::make_unique<PollLock>(m_document.workingFolder());
    if (!m_lock->acquire()) {
        MessageBox::error(m_lock->refusal());
        m_lock.reset();
        return false;
    }
    m_document.setPolling(m_accounts, true);
    m_clock.start();
    m_ticker->start();
    m_thread = std::thread([this] {
        m_poller->run();
        QMetaObject::invokeMethod(this, [this] { allDone(); }, Qt::QueuedConnection);
    });
    return true;
}

void PollWindow::stop()
{
    if (m_poller)
        m_poller->stop();
    m_stopButton->setEnabled(false);
}

void PollWindow::stopAndWait()
{
    if (!m_thread.joinable())
        return;
    m_poller->stop();
    m_thread.join();
    if (!m_done)
        m_document.setPolling(m_accounts, false);
}

void PollWindow::closeEvent(QCloseEvent* event)
{
    // Closing a running poll would leave lines half read; "Остановить" first.
    if (running()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void PollWindow::changed(int job, const PollResult& r)
{
    if (r.state == PollResult::State::Running && m_startedMs[std::size_t(job)] < 0)
        m_startedMs[std::size_t(job)] = m_clock.elapsed();
    m_states[std::size_t(job)] = r.state;
    m_table->item(job, ColState)->setText(stateText(r.state));
    if (r.state == PollResult::State::Running) {
        // The operation's own status text says where it is, as its progress dialog would.
        m_table->item(job, ColResult)->setText(r.status);
        m_table->item(job, ColRecords)->setText(QString::number(r.recordsRead));
        const qint64 since = m_startedMs[std::size_t(job)];
        const double seconds = since >= 0 ? double(m_clock.elapsed() - since) / 1000.0 : 0.0;
        if (seconds > 0.5 && r.recordsRead > 0)
            m_table->item(job, ColRate)->setText(QString::number(double(r.recordsRead) / seconds, 'f', 1));
        if (r.recordsTotal > 0)
            m_fraction[std::size_t(job)] = std::min(0.99, double(r.recordsRead) / double(r.recordsTotal));
    }
}

void PollWindow::accountDone(int job, const PollResult& r, const CDevData& data)
{
    m_startedMs[std::size_t(job)] = -1;
    m_states[std::size_t(job)] = r.state;
    m_table->item(job, ColState)->setText(stateText(r.state));
    m_table->item(job, ColRecords)->setText(QString::number(r.newRecords));
    m_table->item(job, ColRate)->setText(r.seconds > 0 && r.newRecords > 0
                                             ? QString::number(double(r.newRecords) / r.seconds, 'f', 1)
                                             : QString());
    m_table->item(job, ColResult)->setText(r.message.isEmpty() ? (r.state == PollResult::State::Ok ? u"OK"_s : QString())
                                                               : QString(r.message).replace(u'\n', u"; "_s));
    m_table->item(job, ColResult)->setToolTip(r.message);
    // The check of the records this poll brought: a user sees at once which meter to look at.
    QTableWidgetItem* quality = m_table->item(job, ColQuality);
    if (r.qualityProblems < 0) {
        quality->setText(QString());
    } else if (r.qualityProblems == 0) {
        quality->setText(u"замечаний нет"_s);
        quality->setForeground(palette().color(QPalette::Text));
    } else {
        quality->setText(u"замечаний: %1"_s.arg(r.qualityProblems));
        quality->setForeground(QColor(0xc0, 0x20, 0x20));
    }
    quality->setToolTip(r.qualityText);
    m_fraction[std::size_t(job)] = r.state == PollResult::State::Failed ? 0.0 : 1.0;
    const QStyle::StandardPixmap icon = r.state == PollResult::State::Ok
        ? QStyle::SP_DialogApplyButton
        : (r.state == PollResult::State::Failed ? QStyle::SP_MessageBoxCritical : QStyle::SP_MediaStop);
    m_table->item(job, ColAccount)->setIcon(style()->standardIcon(icon));
    // Even a failed try saved what it read; a later try of the round replaces this result.
    m_document.pollFinished(m_accounts[std::size_t(job)], r, data);
    refreshTimes();
}

void PollWindow::refreshTimes()
{
    int done = 0;
    double fraction = 0;
    for (std::size_t i = 0; i < m_states.size(); ++i) {
        const PollResult::State state = m_states[i];
        done += state == PollResult::State::Ok || state == PollResult::State::Failed
                || state == PollResult::State::Stopped
            ? 1
            : 0;
        fraction += m_fraction[i];
    }
    fraction /= std::max(1, m_table->rowCount());
    m_progress->setValue(done);
    const qint64 elapsed = m_clock.isValid() ? m_clock.elapsed() : 0;
    if (m_done) {
        m_timeLeft->setText(u"Время опроса: "_s + OperationPace::formatDuration(elapsed));
    } else if (fraction > 0.01 && elapsed > 2000) {
        // Lines run side by side, so the part done so far sets the pace of the rest.
        const auto left = qint64(double(elapsed) * (1.0 - fraction) / fraction);
        m_timeLeft->setText(u"Прошло %1, осталось около %2"_s.arg(OperationPace::formatDuration(elapsed),
                                                                  OperationPace::formatDuration(left)));
    } else {
        m_timeLeft->setText(u"Прошло "_s + OperationPace::formatDuration(elapsed));
    }
}

void PollWindow::allDone()
{
    if (m_thread.joinable())
        m_thread.join();
    m_done = true;
    m_ticker->stop();
    m_document.setPolling(m_accounts, false);
    const std::vector<PollResult>& results = m_poller->results();
    for (std::size_t i = 0; i < results.size(); ++i) {
        // Accounts a stop left untried never reached accountDone.
        if (results[i].state == PollResult::State::Stopped && results[i].attempts == 0) {
            m_states[i] = results[i].state;
            m_table->item(int(i), ColState)->setText(stateText(results[i].state));
            m_table->item(int(i), ColResult)->setText(results[i].message);
        }
    }
    QString error;
    polllog::append(m_document.workingFolder(), results, QDateTime::currentDateTime(), &error);
    m_lock.reset();
    int ok = 0, failed = 0, stopped = 0, records = 0;
    for (const PollResult& r : results) {
        ok += r.state == PollResult::State::Ok ? 1 : 0;
        failed += r.state == PollResult::State::Failed ? 1 : 0;
        stopped += r.state == PollResult::State::Stopped ? 1 : 0;
        records += r.newRecords;
    }
    QString text = u"Опрошено ТС: %1 из %2. Новых записей: %3."_s.arg(ok).arg(results.size()).arg(records);
    if (failed > 0)
        text += u" С ошибками: %1."_s.arg(failed);
    if (stopped > 0)
        text += u" Остановлено: %1."_s.arg(stopped);
    if (!error.isEmpty())
        text += u" Журнал опроса не записан: "_s + error;
    m_summary->setText(text);
    refreshTimes();
    m_stopButton->setEnabled(false);
    m_closeButton->setEnabled(true);
    emit pollEnded();
}
