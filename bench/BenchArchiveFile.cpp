// Loading and saving an account's archive file must be one pass over the bytes: ten years of
// hourly records, and ten times as many, whose time may grow at most twelvefold.

#include <cstdlib>
#include <map>
#include <memory>

#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::uint16_t kSerial = 1234;

struct Input
{
    ArchiveParams params;
    ArchiveRecordList records;
    QString path;
    qint64 bytes = 0;
};

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

// n hourly records from 1 Jan 2000 with growing integrators and varying measurements, and their
// file, made once per size and kept for every run.
const Input& input(int n)
{
    static std::map<int, std::unique_ptr<Input>> made;
    std::unique_ptr<Input>& in = made[n];
    if (in)
        return *in;
    in = std::make_unique<Input>();
    in->params.SerialNumber = kSerial;
    in->params.Formula = { 1, 3, 0 };
    in->params.ArchiveVersion = 3;
    in->params.Custom = u"ООО Теплосеть"_s;
    in->records.reserve(std::size_t(n));
    QDateTime t(QDate(2000, 1, 1), QTime(1, 0), Qt::UTC);
    for (int i = 0; i < n; ++i, t = t.addSecs(3600)) {
        sctArcZap r;
        r.year = std::uint8_t(t.date().year() - 2000);
        r.month = std::uint8_t(t.date().month());
        r.day = std::uint8_t(t.date().day());
        r.hour = std::uint8_t(t.time().hour());
        r.Event = archive::kEventHourly;
        for (int c = 0; c < 3; ++c)
            r.Q[std::size_t(c)] = 0.013f * float(i) * float(c + 1);
        for (int ch = 0; ch < 6; ++ch) {
            r.M[std::size_t(ch)] = 1.7f * float(i) + float(ch);
            r.t[std::size_t(ch)] = 70.0f - 5.0f * float(ch) + float(i % 17) * 0.1f;
            r.p[std::size_t(ch)] = 6.0f - 0.01f * float(i % 50);
            r.V[std::size_t(ch)] = 1.8f * float(i);
        }
        r.T = { std::uint32_t(i) * 60, std::uint32_t(i) * 60, std::uint32_t(i) * 59 };
        r.Tdtm[0] = std::uint8_t(i % 7);
        r.t_cold = 5.0f;
        r.t_amb = 20.0f + float(i % 13);
        in->records.add(r, false);
    }
    in->path = folder().filePath(u"%1.tsa"_s.arg(n));
    if (!archive::writeArchiveFile(in->path, in->params, in->records, kSerial))
        std::abort();
    in->bytes = QFileInfo(in->path).size();
    return *in;
}

void setRates(benchmark::State& state, const Input& in)
{
    state.SetBytesProcessed(in.bytes * qint64(state.iterations()));
    state.counters["records/s"]
        = benchmark::Counter(double(in.records.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["MB"] = double(in.bytes) / 1e6;
}

// A fresh account each round, as loading for a report does.
void BM_ReadArchiveFile(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    for (auto _ : state) {
        ArchiveParams params;
        ArchiveRecordList records;
        if (archive::readArchiveFile(in.path, params, records, false, kSerial) != S_OK
            || records.size() != in.records.size())
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(records.records().data());
    }
    setRates(state, in);
}

void BM_WriteArchiveFile(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    const QString path = folder().filePath(u"out.tsa"_s);
    for (auto _ : state) {
        if (!archive::writeArchiveFile(path, in.params, in.records, kSerial))
            state.SkipWithError("write failed");
    }
    setRates(state, in);
}

// The same without the disk: the file's text alone, which must grow linearly whatever the page
// cache and the disk do with half a gigabyte.
void BM_ArchiveFileBytes(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(archive::archiveFileBytes(in.params, in.records, kSerial).size());
    setRates(state, in);
}

void BM_ReadArchiveBytes(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    QFile file(in.path);
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray bytes = file.readAll();
    for (auto _ : state) {
        ArchiveParams params;
        ArchiveRecordList records;
        archive::readArchiveBytes(bytes, params, records, false, kSerial);
        benchmark::DoNotOptimize(records.records().data());
    }
    setRates(state, in);
}

} // namespace

BENCHMARK(BM_ArchiveFileBytes)->Arg(87600)->Arg(876000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadArchiveBytes)->Arg(87600)->Arg(876000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadArchiveFile)->Arg(87600)->Arg(876000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WriteArchiveFile)->Arg(87600)->Arg(876000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
