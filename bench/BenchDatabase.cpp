// Exporting an account's daily records into a database that already holds many other meters
// must cost the same per record at the end as at the start: the upsert finds its row through the
// key index. An export is one transaction with a savepoint a row, so the file syncs once.

#include <chrono>
#include <cstdio>
#include <vector>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QDate>
#include <QTemporaryDir>

#include "archive/DayMonRecord.h"
#include "PgCluster.h"
#include "storage/ArchiveDatabase.h"
#include "storage/PgConnection.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kType = 1;
constexpr int kOtherMeters = 200;
constexpr int kOtherRowsEach = 1000;
constexpr int kExported = 20000;

sctArcZap dailyRecord(QDate day, float q)
{
    sctArcZap r;
    r.year = std::uint8_t(day.year() - 2000);
    r.month = std::uint8_t(day.month());
    r.day = std::uint8_t(day.day());
    r.Event = archive::kEventDaily;
    r.Q[0] = q;
    return r;
}

// The other meters' rows in one transaction, as fast as the library takes them.
bool fillOtherMeters(sqlite3* db)
{
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO ARCRECS(DEVTYPE, SERNUM, RECTYPE, DATETIME, ARCREC) VALUES(?, ?, ?, ?, ?)", -1,
                       &insert, nullptr);
    bool ok = insert != nullptr;
    const QDate first(2010, 1, 1);
    for (int serial = 1; ok && serial <= kOtherMeters; ++serial) {
        for (int i = 0; ok && i < kOtherRowsEach; ++i) {
            const u_data_daymon_full blob = archive::toDayMon(dailyRecord(first.addDays(i), float(i)));
            const QByteArray date = first.addDays(i).toString(u"yyyy-MM-dd 00:00"_s).toUtf8();
            sqlite3_bind_int(insert, 1, kType);
            sqlite3_bind_int(insert, 2, serial);
            sqlite3_bind_int(insert, 3, archive::kEventDaily);
            sqlite3_bind_text(insert, 4, date.constData(), int(date.size()), SQLITE_TRANSIENT);
            sqlite3_bind_blob(insert, 5, blob.bytes.data(), int(blob.bytes.size()), SQLITE_TRANSIENT);
            ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
        }
    }
    sqlite3_finalize(insert);
    return sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
}

// Exports 20,000 daily rows of one meter in two halves and reports both.
void exportRun(benchmark::State& state, ArchiveDatabase& db, const char* name)
{
    std::vector<sctArcZap> records;
    records.reserve(kExported);
    for (int i = 0; i < kExported; ++i)
        records.push_back(dailyRecord(QDate(2000, 1, 1).addDays(i), float(i)));
    const std::span<const sctArcZap> all(records);
    const std::size_t half = records.size() / 2;

    using Clock = std::chrono::steady_clock;
    double firstHalf = 0;
    double secondHalf = 0;
    int added = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        added = archivedb::exportDayMonArchives(db, kType, 5000, u"Karna1"_s, all.first(half)).added;
        const auto t1 = Clock::now();
        added += archivedb::exportDayMonArchives(db, kType, 5000, u"Karna1"_s, all.subspan(half)).added;
        const auto t2 = Clock::now();
        firstHalf = std::chrono::duration<double>(t1 - t0).count();
        secondHalf = std::chrono::duration<double>(t2 - t1).count();
    }
    if (added != kExported) {
        state.SkipWithError("not every record was stored");
        return;
    }
    state.counters["rows/s"] = double(kExported) / (firstHalf + secondHalf);
    state.counters["first_half_s"] = firstHalf;
    state.counters["second_half_s"] = secondHalf;
    state.counters["second/first"] = secondHalf / firstHalf;
    std::printf("%s: %d rows over %d existing: first half %.2f s, second half %.2f s (x%.2f, at most x1.5), "
                "%.0f rows/s\n",
                name, kExported, kOtherMeters * kOtherRowsEach, firstHalf, secondHalf, secondHalf / firstHalf,
                double(kExported) / (firstHalf + secondHalf));
}

// The file in a folder of the real disk, not a memory file system.
void BM_ExportDailyRecordsFile(benchmark::State& state)
{
    QTemporaryDir dir;
    ArchiveDatabase db;
    if (!dir.isValid() || FAILED(db.open(dir.filePath(u"lorn2.sqlite"_s))) || FAILED(db.ensureTables())
        || !fillOtherMeters(db.handle())) {
        state.SkipWithError("cannot set up the database");
        return;
    }
    exportRun(state, db, "SQLite file");
}

// A local server started for the run, syncing its writes as a real one does.
void BM_ExportDailyRecordsServer(benchmark::State& state)
{
    PgCluster cluster(true);
    if (!cluster.isRunning() || !cluster.createDatabase(u"bench"_s)) {
        state.SkipWithError(qPrintable(u"no PostgreSQL server: "_s + cluster.error()));
        return;
    }
    ArchiveDatabase db;
    if (FAILED(db.open(cluster.url(u"bench"_s))) || FAILED(db.ensureTables())) {
        state.SkipWithError("cannot set up the database");
        return;
    }
    // The other meters' rows in one statement: their contents do not matter to the key index.
    const auto filled = db.server()->exec(
        "INSERT INTO ARCRECS SELECT 1, s, 225, to_char(date '2010-01-01' + d, 'YYYY-MM-DD') || ' 00:00', "
        "'\\x00'::bytea FROM generate_series(1, 200) s, generate_series(0, 999) d");
    if (!filled) {
        state.SkipWithError(qPrintable(db.lastError()));
        return;
    }
    exportRun(state, db, "PostgreSQL server");
}

} // namespace

// One round: the second round would only update the rows the first inserted.
BENCHMARK(BM_ExportDailyRecordsFile)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ExportDailyRecordsServer)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
