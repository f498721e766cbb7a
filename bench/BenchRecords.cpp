// Adding records to an account's list and sorting it must grow linearly with the archive
// (hash index for the identity test, std::sort): compare the times of the two sizes.

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"

namespace {

// n hourly records in shuffled order, a tenth of them repeating a record met earlier.
std::vector<sctArcZap> makeInput(int n)
{
    std::vector<sctArcZap> unique;
    const int distinct = n - n / 10;
    unique.reserve(std::size_t(distinct));
    int year = 0, month = 1, day = 1, hour = 0;
    for (int i = 0; i < distinct; ++i) {
        sctArcZap r;
        r.year = std::uint8_t(year);
        r.month = std::uint8_t(month);
        r.day = std::uint8_t(day);
        r.hour = std::uint8_t(hour);
        r.Event = archive::kEventHourly;
        r.Q[0] = float(i);
        unique.push_back(r);
        // A 28-day calendar is enough to give every record its own stamp.
        if (++hour == 24) {
            hour = 0;
            if (++day == 29) {
                day = 1;
                if (++month == 13) {
                    month = 1;
                    ++year;
                }
            }
        }
    }
    std::mt19937 rng(42);
    std::shuffle(unique.begin(), unique.end(), rng);

    std::vector<sctArcZap> input;
    input.reserve(std::size_t(n));
    for (const sctArcZap& r : unique) {
        input.push_back(r);
        if (int(input.size()) < n && input.size() % 10 == 9) {
            std::uniform_int_distribution<std::size_t> earlier(0, input.size() - 1);
            input.push_back(input[earlier(rng)]);
        }
    }
    return input;
}

void addAndSort(ArchiveRecordList& list, const std::vector<sctArcZap>& input)
{
    list.clear();
    for (const sctArcZap& r : input)
        benchmark::DoNotOptimize(list.add(r, false));
    list.sort();
    benchmark::DoNotOptimize(list.records().data());
    benchmark::ClobberMemory();
}

void setRate(benchmark::State& state, int n)
{
    state.counters["records/s"]
        = benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// A new list every round, as the archive file reader builds one.
void BM_AddAndSort(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::vector<sctArcZap> input = makeInput(n);
    for (auto _ : state) {
        ArchiveRecordList list;
        addAndSort(list, input);
    }
    setRate(state, n);
}

} // namespace

// 200,000 records and ten times as many: the time may grow at most twelvefold.
BENCHMARK(BM_AddAndSort)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
