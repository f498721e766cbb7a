// Every account parses its own map file at start-up. Loading 1,000 accounts with a 50 KB map
// each must grow linearly with the number of accounts and be spent in parsing, not in system
// calls: BM_ReadMapBytes reads the same files without parsing them, BM_ParseMap parses one map
// from memory. Compare BM_LoadAccountsWithMaps/1000 with ten times /100 (at most about twelve
// times as long), and with 1,000 times BM_ParseMap plus BM_ReadMapBytes/1000.

#include <map>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "base/TextBlock.h"
#include "cfgmap/CfgDecode.h"
#include "cfgmap/CfgMgr.h"
#include "cfgmap/CfgReport.h"
#include "storage/CDevData.h"
#include "storage/Folders.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype kMapSize = 50 * 1024;

// A map of about kMapSize bytes in the style of the meters' maps: sections of variables with
// names, units and value lists; `seed` makes each account's map its own.
QByteArray makeMap(int seed)
{
    QByteArray map = "# Memory map " + QByteArray::number(seed) + "\r\n"
                     "meta ( name = \"AdjByteOrder\", t1 = \"ushort\", t2 = \"uint\", t3 = \"float\" );\r\n";
    int address = 0;
    for (int s = 0; map.size() < kMapSize; ++s) {
        map += "section Group" + QByteArray::number(s) + " {\r\n  name = \"Group " + QByteArray::number(s + seed)
            + "\";\r\n";
        for (int v = 0; v < 12 && map.size() < kMapSize; ++v) {
            const QByteArray n = QByteArray::number(v);
            switch (v % 4) {
            case 0:
                map += "  var Flow" + n + " { name = \"Flow " + n + "\"; type = float; addr = "
                    + QByteArray::number(address) + "; meta ( name = \"BaseUnit\", display = \"GJ\" );"
                    " meta ( name = \"Units\", display1 = \"GJ\", display2 = \"Gcal\", factor2 = \"4.1868\","
                    " default = \"Gcal\" ); }\r\n";
                address += 4;
                break;
            case 1:
                map += "  var Mode" + n + " { type = uchar; addr = " + QByteArray::number(address)
                    + "; meta ( name = \"ValueList\", val0 = \"0\", name0 = \"Off\", val1 = \"1\", name1 = \"On\" ) }\r\n";
                address += 1;
                break;
            case 2:
                map += "  var Limits" + n + " { type = array(ushort, 4); addr = " + QByteArray::number(address)
                    + "; value = { 1, 2, 3, 4 }; access_level = advanced; }\r\n";
                address += 8;
                break;
            default:
                map += "  var Owner" + n + " { type = string; length = 16; addr = " + QByteArray::number(address)
                    + "; value = \"none\"; } # the consumer\r\n";
                address += 16;
                break;
            }
        }
        map += "}\r\n";
    }
    return map;
}

// One working folder per size, filled once and kept for the whole run.
QString workingFolder(int n)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> dirs;
    std::unique_ptr<QTemporaryDir>& dir = dirs[n];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        QFile esc(dir->filePath(u"esc.ini"_s));
        if (esc.open(QIODevice::WriteOnly))
            esc.write("Bold.On=<ESC>E\r\n");
        for (int i = 0; i < n; ++i) {
            CDevData a;
            a.m_serial = 1 + i;
            a.m_type = 1;
            a.m_mapFile = u"meter.map"_s;
            a.m_folder = a.accountFolder(dir->path());
            QDir().mkpath(a.m_folder);
            QFile map(a.mapPath());
            if (map.open(QIODevice::WriteOnly))
                map.write(makeMap(i));
            a.Save();
        }
    }
    return dir->path();
}

void BM_LoadAccountsWithMaps(benchmark::State& state)
{
    const int n = int(state.range(0));
    const QString wf = workingFolder(n);
    std::size_t variables = 0;
    for (auto _ : state) {
        std::vector<CDevData> accounts;
        accounts::loadAll(wf, accounts);
        variables = 0;
        for (const CDevData& a : accounts)
            variables += std::size_t(cfgmap::countVariables(a.m_map.root()));
        benchmark::DoNotOptimize(accounts.data());
    }
    state.counters["accounts/s"]
        = benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["variables"] = double(variables);
}

// The same map files read once each, without parsing.
void BM_ReadMapBytes(benchmark::State& state)
{
    const int n = int(state.range(0));
    const QString wf = workingFolder(n);
    QStringList paths;
    QStringList names;
    folders::listFolders(folders::devicesFolder(wf), names);
    for (const QString& name : names)
        paths << folders::join(folders::join(folders::devicesFolder(wf), name), u"meter.map"_s);
    qint64 bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const QString& p : paths) {
            QFile f(p);
            if (f.open(QIODevice::ReadOnly))
                bytes += f.readAll().size();
        }
    }
    state.counters["MB"] = double(bytes) / 1e6;
}

void BM_ParseMap(benchmark::State& state)
{
    const QByteArray text = makeMap(1);
    for (auto _ : state) {
        CfgMgr map;
        map.openBytes(text);
        map.ParseSection(map.root(), map.root());
        map.close();
        benchmark::DoNotOptimize(map.root().sections.data());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
}

// The configuration report of a 50 KB map: the overlap check is quadratic in the variables.
void BM_ConfigReport(benchmark::State& state)
{
    CfgMgr map;
    map.openBytes(makeMap(1));
    map.ParseSection(map.root(), map.root());
    map.close();
    cfgmap::ReportSubject subject;
    subject.typeName = u"Karna-1"_s;
    subject.serial = 1;
    subject.current = QByteArray(1024, '\x11');
    for (auto _ : state) {
        QString log;
        TextBlock text;
        cfgmap::TextMeasure measure;
        benchmark::DoNotOptimize(cfgmap::BuildConfigurationReport(map, subject, nullptr, log, text, measure));
    }
    state.counters["variables"] = double(cfgmap::countVariables(map.root()));
}

} // namespace

// The machine may be busy with other work: the median of three runs is the figure to compare.
BENCHMARK(BM_LoadAccountsWithMaps)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadMapBytes)->Arg(1000)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_ParseMap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConfigReport)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
