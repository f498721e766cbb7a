// Start-up reads every account folder under Devices. Loading must grow linearly with the
// number of accounts: compare the times of the two sizes (ten times the accounts may take at
// most twelve times as long).

#include <map>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "base/Format.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// One working folder per size, filled once and kept for the whole run.
QString workingFolder(int n)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> dirs;
    std::unique_ptr<QTemporaryDir>& dir = dirs[n];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        QFile esc(dir->filePath(u"esc.ini"_s));
        if (esc.open(QIODevice::WriteOnly))
            esc.write("Bold.On=<ESC>E\r\nBold.Off=<ESC>F\r\nCond.On=15\r\n");
        for (int i = 0; i < n; ++i) {
            CDevData a;
            a.m_serial = 1 + i % CDevData::kMaxSerial;
            a.m_type = 1 + i / CDevData::kMaxSerial % 3;
            a.m_consumer = fmt::text(u"Потребитель %d", i);
            a.m_address = u"ул. Ленина, 5"_s;
            a.m_phone = u"+7 495 123-45-67"_s;
            a.m_connection.port = 1 + i % 8;
            a.m_connection.dcb.BaudRate = 9600;
            a.m_connection.dcb.ByteSize = 8;
            a.m_lastConnect = QDateTime(QDate(2024, 1, 1), QTime(0, 0)).addSecs(i);
            a.m_config = QByteArray(512, char(i));
            a.m_folder = a.accountFolder(dir->path());
            QDir().mkpath(a.m_folder);
            a.Save();
        }
    }
    return dir->path();
}

void BM_LoadAll(benchmark::State& state)
{
    const int n = int(state.range(0));
    const QString wf = workingFolder(n);
    std::size_t loaded = 0;
    for (auto _ : state) {
        std::vector<CDevData> accounts;
        accounts::loadAll(wf, accounts);
        loaded = accounts.size();
        benchmark::DoNotOptimize(accounts.data());
    }
    if (loaded != std::size_t(n))
        state.SkipWithError("not every account was loaded");
    state.counters["accounts/s"]
        = benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

// The machine may be busy with other work: the median of three runs is the figure to compare.
BENCHMARK(BM_LoadAll)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
