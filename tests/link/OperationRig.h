#pragma once

#include <csignal>
#include <functional>
#include <optional>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include "TestSupport.h"
#include "link/DeviceOperations.h"
#include "storage/ArchiveDatabase.h"
#include "storage/CDevData.h"

// A host that records what an operation shows and answers from a script.
class ScriptedHost : public OperationHost
{
public:
    QStringList statuses;
    std::vector<int> positions;
    std::vector<std::pair<qint64, qint64>> counts; // done, total
    std::vector<CountUnit> units;
    QString caption;
    std::optional<DateRange> range;
    int askedRanges = 0;
    std::optional<int> finishedWith;
    // Asks to stop as soon as a status satisfies it.
    std::function<bool(const QString&)> stopWhen;
    std::atomic<int> stop{ 0 };

    void setStatus(const QString& text) override
    {
        statuses << text;
        if (stopWhen && stopWhen(text))
            stop.store(kStopAsked);
    }
    void setProgress(int position) override { positions.push_back(position); }
    void setCounts(qint64 done, qint64 total, CountUnit unit) override
    {
        counts.emplace_back(done, total);
        units.push_back(unit);
    }
    void setCaption(const QString& text) override { caption = text; }
    std::atomic<int>& stopWord() override { return stop; }
    std::optional<DateRange> askDateRange(QDate, std::optional<QDate>) override
    {
        ++askedRanges;
        return range;
    }
    void finished(int result) override { finishedWith = result; }
};

// lorn2-metersim on a link in a temporary folder, mapped to COM7, with its log; an account and
// an open database beside it.
class OperationRig
{
public:
    static constexpr int kPort = 7;

    OperationRig()
    {
        link = dir.filePath(QStringLiteral("meter"));
        logPath = dir.filePath(QStringLiteral("meter.log"));
        mapFile = dir.filePath(QStringLiteral("lorn2.ini"));
        QSettings(mapFile, QSettings::IniFormat).setValue(QStringLiteral("SerialComm/COM7"), link);
        db.open(dir.filePath(QStringLiteral("lorn2.sqlite")));
        db.ensureTables();

        account.m_serial = 12345;
        account.m_type = 1;
        account.m_netAddress = 1;
        account.m_connection.port = kPort;
        account.m_connection.dcb = defaultDeviceControlBlock();
        account.m_retries = 2;
        account.m_answerTimeout = 400;
        account.m_folder = dir.filePath(QStringLiteral("acc"));

        params.host = &host;
        params.account = &account;
        params.database = &db;
        params.portMapFile = mapFile;
    }

    ~OperationRig()
    {
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGTERM);
            if (!process.waitForFinished(3000)) {
                process.kill();
                process.waitForFinished(2000);
            }
        }
    }

    bool start(QStringList args)
    {
        const QString meterFile = dir.filePath(QStringLiteral("meter.ini"));
        testsupport::writeFile(meterFile, "Clock = " + clock.toUtf8() + "\n" + meterLines.toUtf8());
        args = QStringList{ QStringLiteral("--link"),  link,     QStringLiteral("--log"), logPath,
                            QStringLiteral("--meter"), meterFile }
            + args;
        process.start(testsupport::binary(QStringLiteral("lorn2-metersim")), args);
        if (!process.waitForStarted(5000))
            return false;
        while (!process.canReadLine())
            if (!process.waitForReadyRead(5000))
                return false;
        return process.readLine().trimmed() == QFile::encodeName(link);
    }

    // The simulator's log lines of one kind ("<", ">", "#", "modem <"), their text only.
    QStringList log(const QString& kind) const
    {
        QStringList out;
        const QString marker = QLatin1Char(' ') + kind + QLatin1Char(' ');
        for (const QString& line : QString::fromUtf8(testsupport::readFile(logPath)).split(QLatin1Char('\n'))) {
            // "yyyy-MM-dd HH:mm:ss.zzz KIND text"
            if (line.mid(23, marker.size()) == marker)
                out << line.mid(23 + marker.size());
        }
        return out;
    }
    QStringList notes() const { return log(QStringLiteral("#")); }
    QStringList notesStartingWith(const QString& prefix) const
    {
        return notes().filter(QRegularExpression(u'^' + QRegularExpression::escape(prefix)));
    }

    // The meter's clock, where its archives end.
    QString clock = QStringLiteral("2024-03-10 12:00:00");
    // Further "key = value" lines of the meter file.
    QString meterLines;
    QTemporaryDir dir;
    QString link;
    QString logPath;
    QString mapFile;
    QProcess process;
    ArchiveDatabase db;
    CDevData account;
    ScriptedHost host;
    CommThreadParams params;
    testsupport::MessageRecorder messages;
};
