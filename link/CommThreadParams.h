#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "archive/ArchiveRecord.h"
#include "link/Exchange.h"
#include "link/Modem.h"
#include "link/OperationHost.h"

class ArchiveDatabase;
class CDevData;

// The block a device operation's worker shares with whoever started it. The caller fills the
// inputs, runs one operation (on its worker thread) and reads the outputs after the operation
// has called OperationHost::finished. While the worker runs, only the stop word (the host's) is
// written by both sides.
struct CommThreadParams
{
    // Inputs
    OperationHost* host = nullptr;
    CDevData* account = nullptr; // port, line, modem and retry settings; what is read lands here
    ArchiveDatabase* database = nullptr; // null when the program has none open
    std::uint8_t overwrite = 0; // for mergeRecords(): replace records already in the archive
    QDateTime when = QDateTime::currentDateTime(); // the caller's moment: the clock to set
    // Get Archive: whether the configuration is read on the way (a poll leaves it out once the
    // account has one), and the stamp key (archive::stampKey) of the newest record the account
    // holds: reading ends at the first record not newer than it, which is not taken again.
    bool readConfiguration = true;
    std::optional<std::uint64_t> newestHeldKey;
    // The same for the daily and monthly rows the database holds (calendar values): the row of
    // that stamp is read once more, since the meter may have closed it since, then reading ends.
    QDateTime newestDaily;
    QDateTime newestMonthly;

    // The COM-number map the port is opened through; empty: lorn2.ini of the working folder.
    QString portMapFile;
    // The guard times around "+++" and the date-and-hour search limit; only tests shorten them.
    comm::EscapeGuard escapeGuard;
    int findByHourLimitMs = comm::kFindByHourLimitMs;
    // A meter that never stops printing must not take all memory: reception ends with message
    // 102 once the report reaches this size. Only tests lower it.
    qsizetype reportBufferLimit = qsizetype(64) << 20;

    // Outputs
    int result = 0;
    QString caption; // the running operation's, for its questions
    QDateTime started; // set once the port is open
    std::vector<sctArcZap> records; // Get Archive: hourly records in the order read
    QByteArray config; // Get Archive, Get Config: the configuration memory read
    int cfgArchiveStored = 0; // configuration archive records written to the database
    int dayRecordsStored = 0; // daily and monthly records written to the database
    int monthRecordsStored = 0;
    QByteArray reportBytes; // Get Report: the bytes the meter printed
    qint64 exchanges = 0; // requests written, for the benchmark and the pace line
    qint64 lineBytes = 0; // bytes of those requests and of the replies accepted

    std::atomic<int>& stop() const { return host->stopWord(); }
};
