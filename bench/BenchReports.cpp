// An hourly and a daily report over the last year of an archive: the report passes search the
// sorted list, so ten years of records must cost about what one year costs. The last benchmark
// times both sizes side by side and shows the ratios as counters.

#include <chrono>
#include <map>
#include <memory>
#include <utility>

#include <benchmark/benchmark.h>

#include <QDateTime>

#include "archive/ArchiveRecordList.h"
#include "archive/ReportBuilder.h"
#include "base/MessageBox.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kOneYear = 8760;
constexpr int kTenYears = 87600;
const QDateTime kArchiveEnd(QDate(2016, 1, 1), QTime(0, 0));

// n hourly records ending at kArchiveEnd, with readings that grow by the hour.
const ArchiveRecordList& archiveOf(int n)
{
    static std::map<int, std::unique_ptr<ArchiveRecordList>> cache;
    auto& slot = cache[n];
    if (!slot) {
        slot = std::make_unique<ArchiveRecordList>();
        slot->reserve(std::size_t(n));
        for (int k = n - 1; k >= 0; --k) {
            const QDateTime t = kArchiveEnd.addSecs(-3600LL * k);
            sctArcZap r;
            r.year = std::uint8_t(t.date().year() - 2000);
            r.month = std::uint8_t(t.date().month());
            r.day = std::uint8_t(t.date().day());
            r.hour = std::uint8_t(t.time().hour());
            r.Event = archive::kEventHourly;
            const float i = float(n - k);
            r.Q[0] = 0.5f * i;
            r.M[0] = 10.0f * i;
            r.M[1] = 9.0f * i;
            r.t[0] = 70.0f;
            r.t[1] = 50.0f;
            r.T[0] = std::uint32_t(60 * (n - k));
            slot->add(r, false);
        }
        slot->sort();
    }
    return *slot;
}

archive::ReportInput inputFor(int n, archive::ReportKind kind)
{
    archive::ReportInput in;
    in.records = &archiveOf(n);
    in.account.deviceType = 1;
    in.account.params.EnergyUnits = archive::kEnergyGcal;
    in.request = kind == archive::ReportKind::Hourly
        ? archive::makeReportRequest(kind, 0, QDate(2015, 6, 15), QDate(2015, 6, 15))
        : archive::makeReportRequest(kind, 0, QDate(2015, 1, 1), QDate(2015, 12, 30));
    in.footer = archive::ReportFooter{ u"Lorn2"_s, u"0"_s, QDate(2026, 1, 1) };
    return in;
}

void runReport(benchmark::State& state, archive::ReportKind kind)
{
    ScopedMessageBoxBackend quiet(std::make_shared<RecordingMessageBox>());
    const archive::ReportInput in = inputFor(int(state.range(0)), kind);
    std::size_t rows = 0;
    for (auto _ : state) {
        const archive::ReportResult r = archive::buildReport(in);
        rows = r.state.rows.size();
        benchmark::DoNotOptimize(r.state.text.data());
    }
    state.counters["rows"] = double(rows);
}

void BM_HourlyReport(benchmark::State& state)
{
    runReport(state, archive::ReportKind::Hourly);
}
void BM_DailyReport(benchmark::State& state)
{
    runReport(state, archive::ReportKind::Daily);
}

BENCHMARK(BM_HourlyReport)->Arg(kOneYear)->Arg(kTenYears)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DailyReport)->Arg(kOneYear)->Arg(kTenYears)->Unit(benchmark::kMicrosecond);

// Both sizes timed side by side in one run, so the ratios come out in the table as counters.
void BM_TenYearsOverOneYear(benchmark::State& state)
{
    ScopedMessageBoxBackend quiet(std::make_shared<RecordingMessageBox>());
    using Clock = std::chrono::steady_clock;
    std::map<std::pair<archive::ReportKind, int>, Clock::duration> spent;
    archiveOf(kOneYear);
    archiveOf(kTenYears);
    for (auto _ : state) {
        for (archive::ReportKind kind : { archive::ReportKind::Hourly, archive::ReportKind::Daily }) {
            for (int n : { kOneYear, kTenYears }) {
                const archive::ReportInput in = inputFor(n, kind);
                const auto t0 = Clock::now();
                const archive::ReportResult r = archive::buildReport(in);
                spent[{ kind, n }] += Clock::now() - t0;
                benchmark::DoNotOptimize(r.state.text.data());
            }
        }
    }
    auto ratio = [&](archive::ReportKind kind) {
        const double small = std::chrono::duration<double>(spent[{ kind, kOneYear }]).count();
        const double large = std::chrono::duration<double>(spent[{ kind, kTenYears }]).count();
        return small > 0 ? large / small : 0.0;
    };
    // Target: both at most 1.5.
    state.counters["hourly_ratio"] = ratio(archive::ReportKind::Hourly);
    state.counters["daily_ratio"] = ratio(archive::ReportKind::Daily);
}
BENCHMARK(BM_TenYearsOverOneYear)->Iterations(30)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
