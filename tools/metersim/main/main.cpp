#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <arpa/inet.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include "base/MessageBox.h"
#include "link/MeterFrame.h"
#include "lorn2_version/Version.h"
#include "tools/metersim/LineFaults.h"
#include "tools/metersim/Meter.h"
#include "tools/metersim/MeterBus.h"
#include "tools/metersim/MeterLine.h"
#include "tools/metersim/MeterSetup.h"

using namespace metersim;

namespace {

int g_signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char c = 1;
    // Nothing to do when the pipe is full: one byte is enough to wake the loop.
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &c, 1);
}

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Option name -> meter-file key, for the options that set a value of the meter.
struct MeterOption
{
    const char* option;
    const char* key;
};
constexpr MeterOption kMeterOptions[] = {
    { "--serial", "Serial" },
    { "--address", "Address" },
    { "--prot", "ProtVersion" },
    { "--archive-version", "ArchiveVersion" },
    { "--soft", "SoftVersion" },
    { "--build", "BuildVersion" },
    { "--archive-size", "ArchiveSize" },
    { "--hours", "Hours" },
    { "--days", "Days" },
    { "--months", "Months" },
    { "--cfg", "Cfg" },
    { "--cfg-archive", "CfgArchive" },
    { "--energy-units", "EnergyUnits" },
    { "--tsa", "Tsa" },
    { "--empty-hours", "EmptyHours" },
    { "--wrong-contour", "WrongContourHours" },
};

std::string usage()
{
    // The example is built by the frame code itself, so it always matches what the meter sends.
    MeterSetup defaults;
    MeterContext ctx;
    ctx.address = defaults.address;
    const QByteArray request = meter::MakeReadRegister(ctx, meter::kRegSerialNumber).bytes;
    QByteArray data(1, '\4');
    data += char(defaults.serial >> 8);
    data += char(defaults.serial & 0xFF);
    data += QByteArray(2, '\0');
    const QByteArray reply = meter::MakeFrame(defaults.address, meter::kFnReadRegister, data, false);

    std::string text = "Usage: lorn2-metersim (--link PATH | --tcp HOST:PORT) [--meter FILE]... [OPTIONS]\n"
                       "\n"
                       "Simulates a heat meter, or several on one line (and optionally a Hayes modem in\n"
                       "front of them) on a pseudo-terminal. PATH becomes a symbolic link to the terminal\n"
                       "and is printed on a line of its own once the meter listens; SIGINT or SIGTERM\n"
                       "removes it again. Put PATH into the \"SerialComm\" section of lorn2.ini (e.g.\n"
                       "COM7=PATH) to reach it.\n"
                       "\n"
                       "The meter:\n"
                       "  --meter FILE          the meter's values from a meter file (keys below)\n"
                       "  --serial N            serial number (register 200)\n"
                       "  --address HH          network address, two hexadecimal digits\n"
                       "  --prot N              Prot Version (parameter word 0)\n"
                       "  --archive-version N   Archive Version (word 1)\n"
                       "  --soft 0xNNNN         Soft Version (word 4); below 0x1800 the older firmware\n"
                       "  --build 0xNNNN        Build Version (word 5)\n"
                       "  --archive-size N      hourly archive size (word 3)\n"
                       "  --hours N             hourly records holding data, the newest closing at the\n"
                       "                        hour the simulator started\n"
                       "  --days N              daily records (word 9)\n"
                       "  --months N            monthly records (word 10)\n"
                       "  --empty-hours LIST    hourly record numbers left empty, e.g. 5,9-12\n"
                       "  --wrong-contour LIST  hourly records whose contour 2 block names contour 3\n"
                       "  --cfg FILE            configuration memory as a file of bytes (file 1)\n"
                       "  --cfg-archive N       configuration archive records (file 5, word 14)\n"
                       "  --energy-units N      0 kW*h, 1 GJ, other Gcal (file 1 register 411)\n"
                       "  --formula C=F         system type F of contour C (registers 163/172/181)\n"
                       "  --tsa FILE            serve the hourly records of an archive file\n"
                       "Options override the meter file, whatever their order.\n"
                       "\n"
                       "Several meters: --meter FILE may be given more than once: each file is one more\n"
                       "meter on the same line (an RS-485 bus), answering only its own network address;\n"
                       "the other options set the first meter. The meters need addresses of their own,\n"
                       "not 00. On such a line a request to address 00 (any meter) gets no reply, as\n"
                       "every meter would answer at once and garble the line; a lone meter answers it.\n"
                       "The line options below serve the whole line; the log names the meter that took\n"
                       "each request.\n"
                       "\n"
                       "The line:\n"
                       "  --link PATH           the symbolic link to make\n"
                       "  --tcp HOST:PORT       listen on TCP instead, or as well, one connection at a\n"
                       "                        time as a GPRS modem in server mode ([::1]:PORT for IPv6;\n"
                       "                        port 0 takes a free one); tcp://HOST:PORT is printed on a\n"
                       "                        line of its own once it listens\n"
                       "  --modem               a Hayes modem answers first: AT, the init string, ATD\n"
                       "                        (\"CONNECT 9600\" after a short delay), \"+++\" with a\n"
                       "                        second of silence before and after, ATH\n"
                       "  --modem-fail KIND     dialling fails: busy, no-carrier or silent\n"
                       "  --baud N              pace the line at N baud, 10 bits a byte\n"
                       "  --fault KIND:RATE     garble, drop or truncate a reply with probability RATE\n"
                       "                        (0..1); repeatable\n"
                       "  --seed N              seed of the fault generator (default 1)\n"
                       "  --log FILE            every request, reply and event with a time stamp\n"
                       "  --help, --version\n"
                       "\n"
                       "A request by hand: the serial number of the meter at address 01.\n"
                       "  lorn2-metersim --link /tmp/meter &\n"
                       "  printf '"
        + request.left(request.size() - 3).toStdString()
        + "\\r\\n' > /tmp/meter; timeout 1 cat /tmp/meter\n"
          "The meter answers with its address, the function 04, the byte count 04, the serial\n"
          "number high byte first (0x3039 = 12345 by default), two zero bytes and the check:\n"
          "  "
        + reply.left(reply.size() - 2).toStdString()
        + "\n"
          "The check is the two's complement of the sum of the characters between ':' and the\n"
          "check; a frame whose check fails, or that names an address no meter on the line\n"
          "has, gets no reply.\n"
          "\n"
          "Built-in configuration memory (1024 bytes): \"TSIM\" and the serial number at 0,\n"
          "revision at 8, pressure sensor ranges at 72 (register 36), t_cold at 228\n"
          "(register 114), consumer texts at 312, 362, 372, 384 and 439, energy units at 822\n"
          "(register 411), CRC-16/MODBUS in the last two bytes, low byte first. The\n"
          "configuration archive holds earlier revisions of it, stamped at 1016 a day apart.\n"
          "\n";
    text += meterFileKeys();
    return text;
}

int usageError(const QString& message)
{
    std::fprintf(stderr, "lorn2-metersim: %s\nTry 'lorn2-metersim --help'.\n", qPrintable(message));
    return 2;
}

struct Settings
{
    QString link;
    QString tcp;
    QStringList meterFiles; // the first with the options is the first meter
    std::vector<std::pair<QString, QString>> values; // meter-file key, value
    bool modem = false;
    DialFailure failure = DialFailure::None;
    unsigned baud = 0;
    LineFaults faults;
    QString log;
};

class LogFile
{
public:
    ~LogFile()
    {
        if (m_file)
            std::fclose(m_file);
    }
    bool open(const QString& path)
    {
        m_file = std::fopen(QFile::encodeName(path).constData(), "w");
        return m_file != nullptr;
    }
    void write(char kind, QByteArrayView text)
    {
        if (!m_file)
            return;
        const QByteArray stamp
            = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
        const char* what = kind == '<' ? "<"
            : kind == '>'              ? ">"
            : kind == 'm'              ? "modem <"
            : kind == 'M'              ? "modem >"
                                       : "#";
        std::fprintf(m_file, "%s %s %.*s\n", stamp.constData(), what, int(text.size()), text.data());
        std::fflush(m_file);
    }

private:
    FILE* m_file = nullptr;
};

// Fills the settings from the command line; an exit code when the program is to end here.
std::optional<int> parseArguments(int argc, char** argv, Settings& s)
{
    const auto argAt = [&](int& i, const char* name, QString& out) {
        const std::size_t len = std::strlen(name);
        if (std::strncmp(argv[i], name, len) == 0 && argv[i][len] == '=') {
            out = QString::fromLocal8Bit(argv[i] + len + 1);
            return 1;
        }
        if (std::strcmp(argv[i], name) != 0)
            return 0;
        if (i + 1 >= argc)
            return -1;
        out = QString::fromLocal8Bit(argv[++i]);
        return 1;
    };

    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage().c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lorn2-metersim %s\n", LORN2_VERSION_STRING);
            return 0;
        }
    }

    for (int i = 1; i < argc; ++i) {
        QString value;
        int got = 0;
        if (std::strcmp(argv[i], "--modem") == 0) {
            s.modem = true;
            continue;
        }
        bool handled = false;
        for (const MeterOption& o : kMeterOptions) {
            if ((got = argAt(i, o.option, value)) != 0) {
                if (got < 0)
                    return usageError(QStringLiteral("%1 needs a value").arg(QLatin1String(o.option)));
                s.values.emplace_back(QLatin1String(o.key), value);
                handled = true;
                break;
            }
        }
        if (handled)
            continue;
        if ((got = argAt(i, "--formula", value)) != 0) {
            const QStringList parts = value.split(QLatin1Char('='));
            if (got < 0 || parts.size() != 2 || parts[0].size() != 1 || parts[0][0] < QLatin1Char('1')
                || parts[0][0] > QLatin1Char('3'))
                return usageError(QStringLiteral("--formula needs C=F with contour C of 1..3"));
            s.values.emplace_back(QStringLiteral("Formula") + parts[0], parts[1]);
        } else if ((got = argAt(i, "--link", value)) != 0) {
            s.link = value;
        } else if ((got = argAt(i, "--tcp", value)) != 0) {
            s.tcp = value;
        } else if ((got = argAt(i, "--meter", value)) != 0) {
            s.meterFiles << value;
        } else if ((got = argAt(i, "--log", value)) != 0) {
            s.log = value;
        } else if ((got = argAt(i, "--modem-fail", value)) != 0) {
            s.modem = true;
            if (value == QLatin1String("busy"))
                s.failure = DialFailure::Busy;
            else if (value == QLatin1String("no-carrier"))
                s.failure = DialFailure::NoCarrier;
            else if (value == QLatin1String("silent"))
                s.failure = DialFailure::Silent;
            else if (got > 0)
                return usageError(QStringLiteral("--modem-fail takes busy, no-carrier or silent"));
        } else if ((got = argAt(i, "--baud", value)) != 0) {
            const auto baud = parseNumber(value, 4000000);
            if (got > 0 && (!baud || *baud == 0))
                return usageError(QStringLiteral("--baud needs a rate of 1..4000000"));
            s.baud = baud.value_or(0);
        } else if ((got = argAt(i, "--fault", value)) != 0) {
            QString error;
            if (got > 0 && !s.faults.add(value, &error))
                return usageError(error);
        } else if ((got = argAt(i, "--seed", value)) != 0) {
            const auto seed = parseNumber(value, 0xFFFFFFFFu);
            if (got > 0 && !seed)
                return usageError(QStringLiteral("--seed needs a number"));
            s.faults.seed(seed.value_or(1));
        } else {
            return usageError(QStringLiteral("unknown option %1").arg(QString::fromLocal8Bit(argv[i])));
        }
        if (got < 0)
            return usageError(QStringLiteral("%1 needs a value").arg(QString::fromLocal8Bit(argv[i])));
    }
    if (s.link.isEmpty() && s.tcp.isEmpty())
        return usageError(QStringLiteral("--link PATH or --tcp HOST:PORT is required"));
    return std::nullopt;
}

struct Terminal
{
    int master = -1;
    int slave = -1;
    std::string slaveName;
};

// A raw pseudo-terminal. Our own descriptor on the slave keeps it alive between clients:
// without it the master reports a hang-up when a client closes, and the settings would be lost.
bool openTerminal(Terminal& t)
{
    t.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (t.master < 0 || grantpt(t.master) != 0 || unlockpt(t.master) != 0) {
        std::fprintf(stderr, "lorn2-metersim: no pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    const char* name = ptsname(t.master);
    t.slaveName = name ? name : "";
    t.slave = t.slaveName.empty() ? -1 : open(t.slaveName.c_str(), O_RDWR | O_NOCTTY);
    termios tio = {};
    if (t.slave < 0 || tcgetattr(t.slave, &tio) != 0) {
        std::fprintf(stderr, "lorn2-metersim: cannot open %s: %s\n",
                     t.slaveName.empty() ? "the terminal" : t.slaveName.c_str(), std::strerror(errno));
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(t.slave, TCSANOW, &tio);
    return true;
}

bool makeLink(const QByteArray& path, const std::string& target)
{
    struct stat st = {};
    if (lstat(path.constData(), &st) == 0) {
        // A stale link of an earlier run may go; anything else is the user's and stays.
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "lorn2-metersim: %s exists and is not a symbolic link\n", path.constData());
            return false;
        }
        unlink(path.constData());
    }
    if (symlink(target.c_str(), path.constData()) != 0) {
        std::fprintf(stderr, "lorn2-metersim: cannot make %s: %s\n", path.constData(), std::strerror(errno));
        return false;
    }
    return true;
}

// Only our own link goes; a link someone else has made since then stays.
void removeLink(const QByteArray& path, const std::string& target)
{
    char buf[4096];
    const ssize_t len = readlink(path.constData(), buf, sizeof buf - 1);
    if (len >= 0 && std::string(buf, std::size_t(len)) == target)
        unlink(path.constData());
}

bool catchStopSignals()
{
    if (pipe(g_signalPipe) != 0)
        return false;
    fcntl(g_signalPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

// A listening TCP socket: HOST:PORT, [IPv6]:PORT; port 0 takes a free port. The address it
// listens on ("tcp://127.0.0.1:40123") on success.
std::optional<std::string> listenTcp(const QString& address, int& fd)
{
    const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = address.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QByteArray port = address.mid(colon + 1).toLatin1();
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.toUtf8().constData(), port.constData(), &hints, &found) != 0 || found == nullptr) {
        std::fprintf(stderr, "lorn2-metersim: cannot resolve %s\n", qPrintable(address));
        return std::nullopt;
    }
    fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol);
    const int on = 1;
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 4) != 0) {
        std::fprintf(stderr, "lorn2-metersim: cannot listen on %s: %s\n", qPrintable(address), std::strerror(errno));
        freeaddrinfo(found);
        return std::nullopt;
    }
    freeaddrinfo(found);
    sockaddr_storage bound = {};
    socklen_t len = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    char name[INET6_ADDRSTRLEN] = {};
    int boundPort = 0;
    if (bound.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&bound);
        inet_ntop(AF_INET6, &in6->sin6_addr, name, sizeof name);
        boundPort = ntohs(in6->sin6_port);
        return "tcp://[" + std::string(name) + "]:" + std::to_string(boundPort);
    }
    const auto* in4 = reinterpret_cast<const sockaddr_in*>(&bound);
    inet_ntop(AF_INET, &in4->sin_addr, name, sizeof name);
    boundPort = ntohs(in4->sin_port);
    return "tcp://" + std::string(name) + ":" + std::to_string(boundPort);
}

// One end of a line: a descriptor, the line behind it and whether its output is held up.
struct Endpoint
{
    int fd = -1;
    MeterLine* line = nullptr;
    bool writeBlocked = false;
};

// Writes what the line has for now; false when the other end has gone.
bool flush(Endpoint& e, std::int64_t now)
{
    QByteArrayView out = e.line->pending(now);
    while (!out.isEmpty()) {
        const ssize_t n = write(e.fd, out.data(), std::size_t(out.size()));
        if (n <= 0) {
            e.writeBlocked = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            return e.writeBlocked || n == 0;
        }
        e.line->consumed(n);
        out = e.line->pending(now);
    }
    e.writeBlocked = false;
    return true;
}

// One loop for the terminal, the TCP listener and its connection, and the stop signals, until a
// signal comes. A TCP connection gets a line of its own (a fresh modem), as a new call would.
void serve(int master, MeterLine* terminalLine, int listener, const std::function<std::unique_ptr<MeterLine>()>& newLine,
           const std::function<void(const char*)>& note)
{
    char buf[4096];
    Endpoint terminal{master, terminalLine};
    Endpoint client;
    std::unique_ptr<MeterLine> clientLine;
    const auto hangUp = [&] {
        close(client.fd);
        client = Endpoint{};
        clientLine.reset();
        note("the TCP connection is closed");
    };
    for (;;) {
        const std::int64_t now = nowNs();
        std::optional<std::int64_t> wake;
        for (Endpoint* e : {&terminal, &client}) {
            if (e->fd < 0)
                continue;
            e->line->advance(now);
            if (!flush(*e, now)) {
                hangUp();
                continue;
            }
            if (const auto w = e->line->nextWake(now, e->writeBlocked))
                wake = wake ? std::min(*wake, *w) : *w;
        }

        // Rounded up: waking early would only spin. A late wake costs nothing on a paced line,
        // whose bytes are timed from when they crossed it, not from when the loop saw them.
        int timeout = -1;
        if (wake) {
            const std::int64_t ns = std::max<std::int64_t>(0, *wake - nowNs());
            timeout = int(std::min<std::int64_t>((ns + 999999) / 1000000, 60000));
        }
        pollfd fds[4] = {
            {g_signalPipe[0], POLLIN, 0},
            {terminal.fd, short(POLLIN | (terminal.writeBlocked ? POLLOUT : 0)), 0},
            {listener, POLLIN, 0},
            {client.fd, short(POLLIN | (client.writeBlocked ? POLLOUT : 0)), 0},
        };
        if (poll(fds, 4, timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN)
            return;
        if (terminal.fd >= 0 && (fds[1].revents & POLLIN)) {
            const ssize_t n = read(terminal.fd, buf, sizeof buf);
            if (n > 0)
                terminal.line->received(QByteArrayView(buf, n), nowNs());
        }
        if (listener >= 0 && (fds[2].revents & POLLIN)) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0 && client.fd >= 0) {
                // One caller at a time; another is turned away.
                close(fd);
            } else if (fd >= 0) {
                const int on = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                clientLine = newLine();
                client = Endpoint{fd, clientLine.get()};
                note("a TCP connection is open");
            }
        }
        if (client.fd >= 0 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = read(client.fd, buf, sizeof buf);
            if (n > 0)
                client.line->received(QByteArrayView(buf, n), nowNs());
            else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                hangUp();
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    Settings s;
    if (const std::optional<int> exitCode = parseArguments(argc, argv, s))
        return *exitCode;

    // Messages of the archive file reader go to standard error.
    MessageBox::setBackend(std::make_shared<StdErrMessageBox>());

    // The first meter takes the options over its file; each further file is a meter of its own.
    std::vector<MeterSetup> setups(std::max<qsizetype>(1, s.meterFiles.size()));
    QStringList names;
    QString error;
    for (qsizetype i = 0; i < s.meterFiles.size(); ++i) {
        if (!loadMeterFile(setups[std::size_t(i)], s.meterFiles[i], &error))
            return usageError(error);
        names << (i == 0 ? QStringLiteral("the first meter (%1)").arg(s.meterFiles[i]) : s.meterFiles[i]);
    }
    for (const auto& [key, value] : s.values) {
        if (!applySetting(setups.front(), key, value, QString(), &error))
            return usageError(error);
    }
    if (const QString conflict = busConflict(setups, names); !conflict.isEmpty())
        return usageError(conflict);
    const QDateTime started = QDateTime::currentDateTime();
    std::vector<std::unique_ptr<Meter>> meters;
    for (const MeterSetup& setup : setups) {
        meters.push_back(Meter::create(setup, started, &error));
        if (!meters.back()) {
            std::fprintf(stderr, "lorn2-metersim: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::vector<Meter*> onLine;
    for (const auto& m : meters)
        onLine.push_back(m.get());
    const MeterBus bus(onLine);

    LogFile log;
    if (!s.log.isEmpty() && !log.open(s.log)) {
        std::fprintf(stderr, "lorn2-metersim: cannot write %s: %s\n", qPrintable(s.log), std::strerror(errno));
        return 1;
    }

    MeterLine::Options lineOptions;
    lineOptions.byteTime = s.baud ? std::int64_t(10) * 1000000000 / s.baud : 0;
    lineOptions.modem = s.modem;
    lineOptions.modemOptions.failure = s.failure;
    const auto logger = [&log](char kind, QByteArrayView text) { log.write(kind, text); };

    Terminal term;
    const QByteArray linkPath = QFile::encodeName(s.link);
    if (!s.link.isEmpty() && (!openTerminal(term) || !makeLink(linkPath, term.slaveName)))
        return 1;
    int listener = -1;
    std::string tcpAddress;
    if (!s.tcp.isEmpty()) {
        const std::optional<std::string> address = listenTcp(s.tcp, listener);
        if (!address) {
            if (!s.link.isEmpty())
                removeLink(linkPath, term.slaveName);
            return 1;
        }
        tcpAddress = *address;
    }
    if (!catchStopSignals()) {
        if (!s.link.isEmpty())
            removeLink(linkPath, term.slaveName);
        return 1;
    }

    std::unique_ptr<MeterLine> terminalLine;
    if (!s.link.isEmpty())
        terminalLine = std::make_unique<MeterLine>(bus, s.faults, lineOptions, logger);
    const QString where = QString::fromStdString(term.slaveName.empty() ? tcpAddress
                                                 : tcpAddress.empty()   ? term.slaveName
                                                                        : term.slaveName + " and " + tcpAddress);
    for (const MeterSetup& setup : setups) {
        log.write('#',
                  QStringLiteral("meter %1 at address %2 on %3")
                      .arg(setup.serial, 5, 10, QLatin1Char('0'))
                      .arg(hexAddress(setup.address), where)
                      .toUtf8());
    }

    if (!s.link.isEmpty())
        std::printf("%s\n", linkPath.constData());
    if (!tcpAddress.empty())
        std::printf("%s\n", tcpAddress.c_str());
    std::fflush(stdout);

    serve(term.master, terminalLine.get(), listener,
          [&] { return std::make_unique<MeterLine>(bus, s.faults, lineOptions, logger); },
          [&log](const char* text) { log.write('#', text); });

    log.write('#', "stopped");
    if (!s.link.isEmpty()) {
        removeLink(linkPath, term.slaveName);
        close(term.slave);
        close(term.master);
    }
    if (listener >= 0)
        close(listener);
    return 0;
}
