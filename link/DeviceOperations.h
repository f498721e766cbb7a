#pragma once

#include <QByteArray>

#include "link/CommThreadParams.h"

class CComPort;
struct MeterContext;

// The four device operations. Each runs whole on the calling (worker) thread: opens the
// account's port, dials when the account uses a modem, does its work, hangs up, closes the port,
// shows its failure message (with the operation's caption), clears the stop word and calls
// host->finished(result). The result is also returned and kept in params.result: 0 completed,
// else the number of the message shown (1 without an account, 2 when the date range was
// cancelled, 12 out of memory).
//
// Progress goes to the host as status texts, a 0..100 position and, through
// OperationHost::setCounts, the items done out of the total (records; bytes for Get Report).
namespace comm {

inline constexpr int kOpGetArchive = 1;
inline constexpr int kOpGetReport = 2;
inline constexpr int kOpGetConfig = 3;
inline constexpr int kOpSetDateTime = 4;

// Reads the hourly archive into params.records, the daily and monthly archives into the
// database and the configuration into the account (and params.config).
int runGetArchive(CommThreadParams& params);
// The configuration memory into the account and params.config, the configuration archive into
// the database. An account without a serial number takes the meter's serial and address.
int runGetConfig(CommThreadParams& params);
// The meter's own report of the account's report settings (m_report: kind, contour, start and
// end) into params.reportBytes and the account's report text. Stop during reception is the
// normal end.
int runGetReport(CommThreadParams& params);
// Sets the meter's clock to params.when.
int runSetDateTime(CommThreadParams& params);
// By operation kind (1..4 above); any other kind gives 1.
int runOperation(int kind, CommThreadParams& params);

// "Сохранить": the last connection date, then every record read into the account's archive
// with the overwrite byte, then the archive sorted. Returns how many records were replaced.
int mergeRecords(CommThreadParams& params);

// Shared by Get Config and Get Archive on an open port: reads the parameter words and the
// configuration size; without a buffer returns 0 with `size` set; with a buffer shorter than
// the size returns -1 with `size` set; otherwise fills the buffer with the memory and reads the
// configuration archive into the database. Failures are thrown as OperationError.
int ReadConfiguration(CommThreadParams& params, CComPort& port, MeterContext& ctx, QByteArray* buffer, int& size);

} // namespace comm
