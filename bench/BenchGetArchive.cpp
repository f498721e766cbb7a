// Get Archive of an hourly archive with extension blocks from lorn2-metersim over a
// pseudo-terminal, and through ser2net serving that terminal as a raw TCP port and an RFC 2217
// port. At full speed: the time per exchange against the bare write/read of the same frames to
// the same simulator, i.e. what the operation adds. On a paced line: the total time against the
// time the line itself needs for every byte of requests and replies.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include "Ser2net.h"
#include "base/MessageBox.h"
#include "link/DeviceOperations.h"
#include "link/MeterFrame.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace {

class QuietHost : public OperationHost
{
public:
    void setStatus(const QString&) override { }
    void setProgress(int) override { }
    std::atomic<int>& stopWord() override { return m_stop; }
    std::optional<DateRange> askDateRange(QDate start, std::optional<QDate>) override
    {
        return DateRange{ start, std::nullopt };
    }
    void finished(int) override { }

private:
    std::atomic<int> m_stop{ 0 };
};

// The simulator on a link of a temporary folder, mapped to COM7.
class Meter
{
public:
    bool start(int records, int baud)
    {
        const QString sim = QCoreApplication::applicationDirPath() + u"/lorn2-metersim"_s;
        link = dir.filePath(u"meter"_s);
        mapFile = dir.filePath(u"lorn2.ini"_s);
        QSettings(mapFile, QSettings::IniFormat).setValue(u"SerialComm/COM7"_s, link);
        // Prot Version 11: hourly records of two blocks, no daily or monthly archive.
        QStringList args{ u"--link"_s,         link,
                          u"--prot"_s,         u"11"_s,
                          u"--archive-size"_s, QString::number(records),
                          u"--hours"_s,        QString::number(records) };
        if (baud > 0)
            args << u"--baud"_s << QString::number(baud);
        process.start(sim, args);
        if (!process.waitForStarted(5000))
            return false;
        while (!process.canReadLine())
            if (!process.waitForReadyRead(5000))
                return false;
        return true;
    }
    // COM7 stands for the target instead of the terminal.
    void mapTo(const QString& target) { QSettings(mapFile, QSettings::IniFormat).setValue(u"SerialComm/COM7"_s, target); }

    ~Meter()
    {
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGTERM);
            process.waitForFinished(3000);
        }
    }

    QTemporaryDir dir;
    QString link;
    QString mapFile;
    QProcess process;
};

struct Run
{
    int result = -1;
    double seconds = 0;
    qint64 exchanges = 0;
    qint64 lineBytes = 0;
    std::size_t records = 0;
};

Run getArchive(const Meter& meter)
{
    CDevData account;
    account.m_serial = 12345;
    account.m_type = 1;
    account.m_netAddress = 1;
    account.m_connection.port = 7;
    account.m_connection.dcb = defaultDeviceControlBlock();
    account.m_answerTimeout = 5000;
    QuietHost host;
    CommThreadParams params;
    params.host = &host;
    params.account = &account;
    params.portMapFile = meter.mapFile;
    const Clock::time_point t0 = Clock::now();
    Run run;
    run.result = comm::runGetArchive(params);
    run.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    run.exchanges = params.exchanges;
    run.lineBytes = params.lineBytes;
    run.records = params.records.size();
    return run;
}

// The hourly loop's frames written and read with nothing but write, poll and read.
double bareEchoUs(const Meter& meter, int rounds)
{
    const int fd = ::open(QFile::encodeName(meter.link).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    MeterContext ctx;
    ctx.address = 1;
    char buf[512];
    const Clock::time_point t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const meter::Request r = meter::MakeArcCommand(ctx, i % 2 ? 6 : 0, std::uint16_t(1 + i / 2));
        if (::write(fd, r.bytes.constData(), std::size_t(r.bytes.size())) != r.bytes.size())
            break;
        qsizetype got = 0;
        while (got < r.replyLength) {
            pollfd p{ fd, POLLIN, 0 };
            if (::poll(&p, 1, 2000) <= 0)
                break;
            const ssize_t n = ::read(fd, buf + got, std::size_t(r.replyLength - got));
            if (n > 0)
                got += n;
        }
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / rounds;
    ::close(fd);
    return us;
}

// Maps COM7 to ser2net serving the meter raw or by RFC 2217; nothing for the terminal itself.
bool serveThrough(Meter& meter, const char* through, std::unique_ptr<testsupport::Ser2net>& server)
{
    if (*through == 0)
        return true;
    server = std::make_unique<testsupport::Ser2net>(meter.link);
    if (!server->isRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(server->error()));
        return false;
    }
    meter.mapTo(std::strcmp(through, "ser2net raw") == 0 ? server->rawTarget() : server->rfc2217Target());
    return true;
}

void BM_GetArchive256(benchmark::State& state)
{
    Meter meter;
    if (!meter.start(256, 0)) {
        state.SkipWithError("lorn2-metersim did not start");
        return;
    }
    for (auto _ : state) {
        const Run run = getArchive(meter);
        if (run.result != 0)
            state.SkipWithError("Get Archive failed");
        state.counters["exchanges"] = double(run.exchanges);
    }
}
BENCHMARK(BM_GetArchive256)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MessageBox::setBackend(std::make_shared<RecordingMessageBox>());

    // Each paced record takes about 0.6 s of line time at 9600 baud.
    const char* paced = std::getenv("LORN2_PACED_RECORDS");
    const int pacedRecords = paced ? std::max(1, std::atoi(paced)) : 24;

    for (const char* through : {"", "ser2net raw", "ser2net RFC 2217"}) {
        Meter meter;
        if (!meter.start(2048, 0)) {
            std::fprintf(stderr, "lorn2-metersim did not start\n");
            return 1;
        }
        const double bare = bareEchoUs(meter, 2000);
        std::unique_ptr<testsupport::Ser2net> server;
        if (!serveThrough(meter, through, server))
            return 1;
        const Run run = getArchive(meter);
        const double perExchange = run.seconds * 1e6 / double(std::max<qint64>(1, run.exchanges));
        std::printf("Get Archive, 2048 hourly records with extension blocks, full speed%s%s (result %d)\n",
                    *through != 0 ? ", through " : "", through, run.result);
        std::printf("  records read:            %zu\n", run.records);
        std::printf("  total time:              %.3f s\n", run.seconds);
        std::printf("  exchanges:               %lld\n", static_cast<long long>(run.exchanges));
        std::printf("  time per exchange:       %.1f us\n", perExchange);
        std::printf("  bare echo of the frames: %.1f us (on the terminal)\n", bare);
        if (*through == 0)
            std::printf("  added per exchange:      %.1f us (target <= 300 us)\n", perExchange - bare);
    }
    for (const char* through : {"", "ser2net raw", "ser2net RFC 2217"}) {
        Meter meter;
        if (!meter.start(pacedRecords, 9600)) {
            std::fprintf(stderr, "lorn2-metersim did not start\n");
            return 1;
        }
        std::unique_ptr<testsupport::Ser2net> server;
        if (!serveThrough(meter, through, server))
            return 1;
        const Run run = getArchive(meter);
        const double lineSeconds = double(run.lineBytes) * 10.0 / 9600.0;
        std::printf("Get Archive, %d hourly records, --baud 9600%s%s (result %d)\n", pacedRecords,
                    *through != 0 ? ", through " : "", through, run.result);
        std::printf("  total time:              %.3f s\n", run.seconds);
        std::printf("  bytes on the line:       %lld in %lld exchanges\n", static_cast<long long>(run.lineBytes),
                    static_cast<long long>(run.exchanges));
        std::printf("  line time at 9600 baud:  %.3f s\n", lineSeconds);
        std::printf("  ratio:                   %.4f (target <= 1.03)\n", run.seconds / lineSeconds);
    }
    std::fflush(stdout);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
