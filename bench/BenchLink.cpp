// Round trip of one serial-number exchange over a pseudo-terminal, against the bare
// write/read echo of the same bytes over the same pair: the difference is what the program
// adds on top of the kernel's transfer.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include "link/CComPort.h"
#include "link/Exchange.h"
#include "link/MeterFrame.h"

using namespace Qt::Literals::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace {

meter::Request serialRequest()
{
    MeterContext ctx;
    ctx.address = 1;
    return meter::MakeReadRegister(ctx, meter::kRegSerialNumber);
}

// Answers every frame (up to CR LF, the zero byte dropped) with the serial-number reply.
class Responder
{
public:
    Responder()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_slave = QString::fromLocal8Bit(::ptsname(m_master));
        m_reply = meter::MakeFrame(0x01, meter::kFnReadRegister, QByteArray("\x04\x30\x39\x00\x00", 5), false);
        m_thread = std::thread([this] { run(); });
    }
    ~Responder()
    {
        m_running = false;
        m_thread.join();
        ::close(m_master);
    }
    const QString& slave() const { return m_slave; }

private:
    void run()
    {
        QByteArray buffer;
        char chunk[256];
        while (m_running) {
            pollfd p {m_master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0)
                continue;
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0)
                continue;
            buffer.append(chunk, n);
            qsizetype end;
            while ((end = buffer.indexOf('\n')) >= 0) {
                buffer.remove(0, end + 1);
                ::write(m_master, m_reply.constData(), std::size_t(m_reply.size()));
            }
            while (buffer.startsWith('\0'))
                buffer.remove(0, 1);
        }
    }

    int m_master = -1;
    QString m_slave;
    QByteArray m_reply;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

// The same answers over loopback TCP: a server that passes the line through.
class TcpResponder
{
public:
    TcpResponder()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in in {};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof in;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0 || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&in), &len) != 0)
            std::abort();
        m_target = u"tcp://127.0.0.1:%1"_s.arg(ntohs(in.sin_port));
        m_reply = meter::MakeFrame(0x01, meter::kFnReadRegister, QByteArray("\x04\x30\x39\x00\x00", 5), false);
        m_thread = std::thread([this] { run(); });
    }
    ~TcpResponder()
    {
        m_running = false;
        m_thread.join();
        ::close(m_listener);
    }
    const QString& target() const { return m_target; }

private:
    void run()
    {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        QByteArray buffer;
        char chunk[256];
        while (m_running) {
            pollfd p {fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0)
                continue;
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            buffer.append(chunk, n);
            qsizetype end;
            while ((end = buffer.indexOf('\n')) >= 0) {
                buffer.remove(0, end + 1);
                ::send(fd, m_reply.constData(), std::size_t(m_reply.size()), MSG_NOSIGNAL);
            }
            while (buffer.startsWith('\0'))
                buffer.remove(0, 1);
        }
        ::close(fd);
    }

    int m_listener = -1;
    QString m_target;
    QByteArray m_reply;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

struct Line
{
    QTemporaryDir dir;
    CComPort port;

    explicit Line(const QString& device)
    {
        const QString ini = dir.filePath(u"lorn2.ini"_s);
        QSettings(ini, QSettings::IniFormat).setValue(u"SerialComm/COM7"_s, device);
        port.setMapFile(ini);
        port.setPort(7);
        port.SetState(defaultDeviceControlBlock());
        if (!port.Open())
            std::abort();
        port.SetTimeouts(exchangeTimeouts(1000));
    }
};

void exchangeOnce(CComPort& port, const meter::Request& request)
{
    static const std::atomic<int> stop{0};
    benchmark::DoNotOptimize(comm::Exchange(port, request, 3, stop));
}

// The same bytes with nothing but write, poll and read.
void bareEcho(int fd, const meter::Request& request)
{
    ::write(fd, request.bytes.constData(), std::size_t(request.bytes.size()));
    char buf[64];
    qsizetype got = 0;
    while (got < request.replyLength) {
        pollfd p {fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
        const ssize_t n = ::read(fd, buf + got, std::size_t(request.replyLength - got));
        if (n > 0)
            got += n;
    }
    benchmark::DoNotOptimize(buf);
}

template<typename F>
double medianUs(int rounds, F f)
{
    std::vector<double> us;
    us.reserve(std::size_t(rounds));
    for (int i = 0; i < rounds; ++i) {
        const Clock::time_point t0 = Clock::now();
        f();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::nth_element(us.begin(), us.begin() + rounds / 2, us.end());
    return us[std::size_t(rounds / 2)];
}

// The simulator beside this program in the build, answering as a meter would.
double metersimMedianUs(int rounds)
{
    const QString sim = QFileInfo(QFile::symLinkTarget(u"/proc/self/exe"_s)).path() + u"/lorn2-metersim"_s;
    if (!QFile::exists(sim))
        return -1;
    QTemporaryDir dir;
    const QString link = dir.filePath(u"meter"_s);
    QProcess proc;
    proc.start(sim, {u"--link"_s, link, u"--serial"_s, u"12345"_s, u"--address"_s, u"01"_s});
    if (!proc.waitForReadyRead(5000))
        return -1;
    double result = -1;
    {
        Line line(link);
        const meter::Request request = serialRequest();
        exchangeOnce(line.port, request);
        result = medianUs(rounds, [&] { exchangeOnce(line.port, request); });
    }
    proc.terminate();
    proc.waitForFinished(3000);
    return result;
}

void BM_Exchange(benchmark::State& state)
{
    Responder responder;
    Line line(responder.slave());
    const meter::Request request = serialRequest();
    for (auto _ : state)
        exchangeOnce(line.port, request);
}
BENCHMARK(BM_Exchange)->UseRealTime();

void BM_BareEcho(benchmark::State& state)
{
    Responder responder;
    Line line(responder.slave());
    const meter::Request request = serialRequest();
    for (auto _ : state)
        bareEcho(line.port.handle(), request);
}
BENCHMARK(BM_BareEcho)->UseRealTime();

// The figures asked of the link: medians over many round trips, both kinds interleaved so
// that a busy moment of the machine falls on both alike. `label` starts each printed line.
void medianRoundTrips(benchmark::State& state, CComPort& port, const char* label)
{
    constexpr int kBlocks = 10;
    constexpr int kRounds = 300;
    const meter::Request request = serialRequest();
    std::vector<double> ex, bare;
    for (int block = 0; block < kBlocks; ++block) {
        ex.push_back(medianUs(kRounds, [&] { exchangeOnce(port, request); }));
        bare.push_back(medianUs(kRounds, [&] { bareEcho(port.handle(), request); }));
    }
    std::sort(ex.begin(), ex.end());
    std::sort(bare.begin(), bare.end());
    const double e = ex[ex.size() / 2];
    const double b = bare[bare.size() / 2];
    std::printf("%sserial-number exchange, median round trip: %.1f us\n", label, e);
    std::printf("%sbare write/read echo, median round trip:   %.1f us\n", label, b);
    std::printf("%sadded by the program:                      %.1f us (limit 200 us)\n", label, e - b);
    state.counters["exchange_us"] = e;
    state.counters["echo_us"] = b;
    state.counters["added_us"] = e - b;
}

void BM_MedianRoundTrips(benchmark::State& state)
{
    for (auto _ : state) {
        Responder responder;
        Line line(responder.slave());
        medianRoundTrips(state, line.port, "");
        const double sim = metersimMedianUs(1000);
        if (sim >= 0) {
            std::printf("serial-number exchange with lorn2-metersim, median: %.1f us\n", sim);
            state.counters["metersim_us"] = sim;
        }
        std::fflush(stdout);
    }
}
BENCHMARK(BM_MedianRoundTrips)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same over loopback TCP, as to a serial server passing the line through.
void BM_MedianRoundTripsTcp(benchmark::State& state)
{
    for (auto _ : state) {
        TcpResponder responder;
        Line line(responder.target());
        medianRoundTrips(state, line.port, "TCP: ");
        std::fflush(stdout);
    }
}
BENCHMARK(BM_MedianRoundTripsTcp)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace


BENCHMARK_MAIN();
