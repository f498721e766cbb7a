// A poll of six accounts on three lines, two meters on each (an RS-485 bus), every line paced at
// 9600 baud by lorn2-metersim, 24 new hourly records an account. The wall time is set against
// the line time of the busiest line (what lines in parallel can reach) and against the sum of
// all lines' line times (what one line after another would take).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kLines = 3;
constexpr int kBaud = 9600;
constexpr int kRecords = 24;

QString program(const QString& name)
{
    return QCoreApplication::applicationDirPath() + u'/' + name;
}

bool cli(const QString& folder, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(program(u"lorn2-cli"_s), QStringList{u"-C"_s, folder} + args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit)
        return false;
    if (out != nullptr)
        *out = p.readAllStandardOutput();
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s", p.readAllStandardError().constData());
    return p.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QFile(dir.filePath(u"esc.ini"_s)).open(QIODevice::WriteOnly);
    std::vector<std::unique_ptr<QProcess>> meters;
    std::map<int, int> lineOfSerial;
    for (int line = 1; line <= kLines; ++line) {
        const QString link = dir.filePath(u"line%1"_s.arg(line));
        QStringList args{u"--link"_s, link, u"--baud"_s, QString::number(kBaud)};
        for (int address = 1; address <= 2; ++address) {
            const int serial = 1000 * line + address;
            const QString file = dir.filePath(u"meter%1.ini"_s.arg(serial));
            QFile f(file);
            f.open(QIODevice::WriteOnly);
            // Hourly records of two blocks and no daily or monthly archive: the hourly loop alone.
            f.write(u"Serial = %1\nAddress = %2\nProtVersion = 11\nHours = %3\nArchiveSize = %3\n"_s.arg(serial)
                        .arg(address, 2, 10, QChar(u'0'))
                        .arg(kRecords)
                        .toUtf8());
            f.close();
            args << u"--meter"_s << file;
            lineOfSerial[serial] = line;
        }
        auto meter = std::make_unique<QProcess>();
        meter->start(program(u"lorn2-metersim"_s), args);
        if (!meter->waitForStarted(5000) || !meter->waitForReadyRead(5000)) {
            std::fprintf(stderr, "lorn2-metersim did not start\n");
            return 1;
        }
        meters.push_back(std::move(meter));
        if (!cli(dir.path(), {u"ports"_s, u"add"_s, u"COM%1"_s.arg(line), link}))
            return 1;
        for (int address = 1; address <= 2; ++address) {
            if (!cli(dir.path(), {u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, QString::number(1000 * line + address),
                                  u"--net-address"_s, u"0%1"_s.arg(address), u"--port"_s, QString::number(line),
                                  u"--baud"_s, QString::number(kBaud)}))
                return 1;
        }
    }

    QByteArray json;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = cli(dir.path(), {u"--json"_s, u"poll"_s, u"--all"_s, u"--config"_s, u"never"_s}, &json);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok) {
        std::fprintf(stderr, "the poll failed\n%s\n", json.constData());
        return 1;
    }
    std::map<int, qint64> lineBytes;
    qint64 records = 0;
    for (const QJsonValue& v : QJsonDocument::fromJson(json).array()) {
        const QJsonObject r = v.toObject();
        lineBytes[lineOfSerial[r.value(u"serial"_s).toInt()]] += r.value(u"lineBytes"_s).toInteger();
        records += r.value(u"newRecords"_s).toInt();
    }
    double busiest = 0;
    double sum = 0;
    for (const auto& [line, bytes] : lineBytes) {
        const double seconds = double(bytes) * 10.0 / kBaud;
        busiest = std::max(busiest, seconds);
        sum += seconds;
    }
    std::printf("Poll of 6 accounts on %d lines, 2 meters a line, %d baud, %d new hourly records each\n", kLines,
                kBaud, kRecords);
    std::printf("  records read:                 %lld\n", static_cast<long long>(records));
    std::printf("  wall time:                    %.3f s\n", wall);
    std::printf("  busiest line's line time:     %.3f s\n", busiest);
    std::printf("  ratio to the busiest line:    %.4f (target <= 1.05)\n", wall / busiest);
    std::printf("  all lines' line time, summed: %.3f s\n", sum);
    std::printf("  ratio to the sum:             %.4f (one line after another: about 1)\n", wall / sum);
    for (auto& m : meters)
        m->terminate();
    for (auto& m : meters)
        m->waitForFinished(3000);
    return 0;
}
