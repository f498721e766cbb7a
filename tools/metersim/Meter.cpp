#include "Meter.h"

#include <algorithm>
#include <bit>

#include <QFile>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveRecordList.h"
#include "base/CodePage.h"
#include "base/Crc16.h"
#include "base/DateUtil.h"
#include "base/Format.h"
#include "link/MeterBlocks.h"
#include "link/MeterFrame.h"

namespace metersim {

namespace {

constexpr qsizetype kFile1Min = 1024;
constexpr qsizetype kMaxConfig = 0xFFFE; // the size travels as a 16-bit word
constexpr qsizetype kMaxFileRegisters = 120; // a reply's byte count must stay below 256

// Where the built-in memory keeps what the operations read from file 1.
constexpr qsizetype kPressureAt = 72; // register 36
constexpr qsizetype kTColdAt = 228; // register 114
constexpr qsizetype kEnergyUnitsAt = 822; // register 411
constexpr qsizetype kRevisionAt = 8;
// Configuration archive records of 1024 bytes: the stamp (second .. year - 2000) and the bytes
// the check sum leaves out, as the program's database expects them.
constexpr qsizetype kCfgRecordSize = 1024;
constexpr qsizetype kCfgStampAt = 1016;
constexpr qsizetype kCfgVolatile[] = { 122, 572, 842, 843, 844, 845, 846 };

struct TextField
{
    QString MeterSetup::*text;
    qsizetype at;
    qsizetype size;
};
constexpr TextField kTextFields[] = {
    { &MeterSetup::consumer, 312, 50 },    { &MeterSetup::phone, 362, 10 },   { &MeterSetup::consumerId, 372, 12 },
    { &MeterSetup::addressText, 384, 41 }, { &MeterSetup::contact, 439, 45 },
};

// A record's own CRC-16/MODBUS in its last two bytes, low byte first, so that the whole sums to 0.
void sealRecord(QByteArray& b)
{
    if (b.size() < 2)
        return;
    const std::uint16_t crc = crc::modbus(QByteArrayView(b).first(b.size() - 2));
    b[b.size() - 2] = char(crc & 0xFF);
    b[b.size() - 1] = char(crc >> 8);
}

QByteArray word(std::uint16_t v)
{
    QByteArray b(2, '\0');
    b[0] = char(v >> 8);
    b[1] = char(v & 0xFF);
    return b;
}

// A reply's data: the byte count, then the bytes.
QByteArray counted(const QByteArray& data)
{
    return QByteArray(1, char(data.size())) + data;
}

bool setNote(QString* note, const QString& text)
{
    if (note)
        *note = text;
    return false;
}

// "Serial Number = N" of the parameter block, so the file's own check can be passed.
std::uint16_t serialInFile(const QByteArray& bytes)
{
    for (const QByteArray& raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("<Archive>"))
            break;
        if (line.startsWith("Serial Number")) {
            const qsizetype eq = line.indexOf('=');
            if (eq >= 0)
                return std::uint16_t(line.sliced(eq + 1).trimmed().toUInt());
        }
    }
    return 0;
}

} // namespace

void toGcal(sctArcZap& r, std::uint8_t energyUnits)
{
    const double factor = meter::EnergyFactor(energyUnits);
    if (factor == 1.0)
        return;
    for (float& q : r.Q)
        q = float(double(q) / factor);
    for (float& q : r.pre_Q)
        q = float(double(q) / factor);
}

std::unique_ptr<Meter> Meter::create(const MeterSetup& setup, const QDateTime& now, QString* error)
{
    auto meter = std::make_unique<Meter>(setup, now);
    if (!setup.cfgFile.isEmpty()) {
        QFile file(setup.cfgFile);
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxConfig) {
            setNote(error,
                    QStringLiteral("%1: %2").arg(
                        setup.cfgFile, file.isOpen() ? QStringLiteral("larger than 65534 bytes") : file.errorString()));
            return nullptr;
        }
        if (!meter->setConfiguration(file.readAll(), false, error))
            return nullptr;
    }
    if (!setup.reportFile.isEmpty()) {
        QFile file(setup.reportFile);
        if (!file.open(QIODevice::ReadOnly) || file.size() > (qint64(64) << 20)) {
            setNote(error,
                    QStringLiteral("%1: %2").arg(
                        setup.reportFile, file.isOpen() ? QStringLiteral("larger than 64 MiB") : file.errorString()));
            return nullptr;
        }
        meter->m_reportFile = file.readAll();
    }
    if (!setup.tsaFile.isEmpty()) {
        QFile file(setup.tsaFile);
        if (!file.open(QIODevice::ReadOnly)) {
            setNote(error, QStringLiteral("%1: %2").arg(setup.tsaFile, file.errorString()));
            return nullptr;
        }
        const QByteArray bytes = file.readAll();
        ArchiveParams params;
        ArchiveRecordList records;
        QString message;
        if (archive::readArchiveBytes(bytes, params, records, false, serialInFile(bytes), &message) < 0) {
            setNote(error, QStringLiteral("%1: %2").arg(setup.tsaFile, message));
            return nullptr;
        }
        std::vector<sctArcZap> list = records.records();
        for (sctArcZap& r : list)
            toGcal(r, params.EnergyUnits);
        meter->m_archive.setHourlyRecords(std::move(list));
    }
    return meter;
}

Meter::Meter(const MeterSetup& setup, const QDateTime& now)
    : m_setup(setup)
    , m_archive(setup, now)
{
    // A meter's clock knows no summer time: it runs on from the computer's wall clock at the
    // start (or the Clock given), as a calendar value counted from steady UTC.
    const QDateTime start = dateutil::calendarDateTime(now);
    const qint64 fromNow = setup.clock.isValid() ? start.secsTo(dateutil::calendarDateTime(setup.clock)) : 0;
    m_clockOffset = QDateTime::currentDateTimeUtc().secsTo(dateutil::calendarDateTime(QDateTime::currentDateTime()))
                    + fromNow;
    m_setup.params[9] = std::uint16_t(std::clamp(m_setup.days, 0, 0xFFFF));
    m_setup.params[10] = std::uint16_t(std::clamp(m_setup.months, 0, 0xFFFF));
    m_setup.params[14] = std::uint16_t(std::clamp(m_setup.cfgArchive, 0, 0xFFFF));
    // The archives end at the hour of the meter's own clock.
    m_archive = MeterArchive(m_setup, start.addSecs(fromNow));

    QByteArray memory(kFile1Min, '\0');
    memory.replace(0, 4, "TSIM");
    memory[4] = char(m_setup.serial >> 8);
    memory[5] = char(m_setup.serial & 0xFF);
    for (const TextField& f : kTextFields) {
        const QByteArray text = codepage::toAnsi(m_setup.*(f.text)).left(f.size);
        memory.replace(f.at, text.size(), text);
    }
    setConfiguration(memory, true, nullptr);
}

bool Meter::setConfiguration(const QByteArray& bytes, bool builtIn, QString* error)
{
    if (bytes.size() < 2 || bytes.size() > kMaxConfig)
        return setNote(error, QStringLiteral("a configuration memory of %1 bytes cannot be served").arg(bytes.size()));
    m_cfgSize = bytes.size();
    m_file1 = bytes;
    if (m_file1.size() < kFile1Min)
        m_file1.append(QByteArray(kFile1Min - m_file1.size(), '\0'));

    // A memory from a file keeps its bytes unless a value was asked for.
    if (builtIn || m_setup.pressure) {
        const std::array<bool, 3> p = m_setup.pressure.value_or(std::array<bool, 3>{ true, true, false });
        for (int c = 0; c < 3; ++c) {
            // Sensor range: lower limits at 8c and 4+8c, upper at 24+8c and 28+8c; a contour
            // without pressure sensors has an empty range.
            const float upper = p[std::size_t(c)] ? 16.0f : 0.0f;
            putBe32(m_file1, kPressureAt + 8 * c, 0);
            putBe32(m_file1, kPressureAt + 4 + 8 * c, 0);
            putBe32(m_file1, kPressureAt + 24 + 8 * c, std::bit_cast<std::uint32_t>(upper));
            putBe32(m_file1, kPressureAt + 28 + 8 * c, std::bit_cast<std::uint32_t>(upper));
        }
    }
    if (builtIn || m_setup.tCold) {
        const auto bits = std::bit_cast<std::uint32_t>(m_setup.tCold.value_or(5.0f));
        // Older firmware keeps it low byte first.
        if (m_setup.softVersion() < 0x1800)
            putLe32(m_file1, kTColdAt, bits);
        else
            putBe32(m_file1, kTColdAt, bits);
    }
    if (builtIn || m_setup.energyUnits)
        m_file1[kEnergyUnitsAt] = char(m_setup.energyUnits.value_or(archive::kEnergyGcal));
    if (builtIn) {
        putLe32(m_file1, kRevisionAt, std::uint32_t(m_setup.cfgArchive + 1));
        QByteArray cfg = m_file1.first(m_cfgSize);
        sealRecord(cfg);
        m_file1.replace(0, cfg.size(), cfg);
    }
    buildConfigurationArchive();
    return true;
}

void Meter::buildConfigurationArchive()
{
    // Earlier revisions of the present memory, the newest first, each sealed with its CRC.
    m_cfgArchive.clear();
    const int count = m_setup.protVersion() >= 14 ? m_setup.cfgArchive : 0;
    const QDateTime newest = clock();
    for (int i = 0; i < count && m_cfgArchive.size() + m_cfgSize <= 2 * 0x10000; ++i) {
        QByteArray record = configuration();
        if (record.size() >= kRevisionAt + 4)
            putLe32(record, kRevisionAt, std::uint32_t(count - i));
        if (record.size() == kCfgRecordSize) {
            // A record of the usual size carries when it was replaced, a day apart, and a check
            // that leaves out the bytes the meter changes after summing.
            const QDateTime at = newest.addDays(-i);
            const int stamp[] = { at.time().second(), at.time().minute(), at.time().hour(),
                                  at.date().day(),    at.date().month(),  at.date().year() - 2000 };
            for (int k = 0; k < 6; ++k)
                record[kCfgStampAt + k] = char(stamp[k]);
            QByteArray summed = record;
            for (const qsizetype v : kCfgVolatile)
                summed[v] = 0;
            const std::uint16_t crc = crc::modbus(QByteArrayView(summed).first(summed.size() - 2));
            record[record.size() - 2] = char(crc & 0xFF);
            record[record.size() - 1] = char(crc >> 8);
        } else {
            sealRecord(record);
        }
        m_cfgArchive.append(record);
    }
    // Registers are counted in 16 bits: a longer archive is cut, and its count says so.
    if (count > 0)
        m_setup.params[14] = std::uint16_t(m_cfgArchive.size() / m_cfgSize);
}

QDateTime Meter::clock() const
{
    return QDateTime::currentDateTimeUtc().addSecs(m_clockOffset);
}

std::uint16_t Meter::paramWord(int i) const
{
    const int prot = m_setup.protVersion();
    const bool has = i < 2 || (prot >= 7 && prot <= 11 && i < 9) || (prot == 12 && i < 11) || (prot == 13 && i < 14)
        || (prot >= 14 && i < 15);
    return has && i < int(m_setup.params.size()) ? m_setup.params[std::size_t(i)] : 0;
}

QByteArray Meter::reply(std::uint8_t function, const QByteArray& data) const
{
    return meter::MakeFrame(m_setup.address, function, data, false);
}

QByteArray Meter::answer(QByteArrayView frame, QString* note)
{
    const std::optional<MeterRequest> request = parseRequest(frame);
    if (!request) {
        setNote(note, QStringLiteral("not a valid frame, no reply"));
        return {};
    }
    return answer(*request, note);
}

QByteArray Meter::answer(const MeterRequest& r, QString* note)
{
    if (r.address != m_setup.address && r.address != 0) {
        setNote(note, QStringLiteral("for address %1, no reply").arg(hexAddress(r.address)));
        return {};
    }
    stopPrinting();
    switch (r.function) {
    case meter::kFnReadRegister:
        return readRegister(r, note);
    case meter::kFnReadParam:
        return readParam(r, note);
    case meter::kFnReadFileRecord:
        return readFile(r, note);
    case meter::kFnArchive:
        return archiveCommand(r, note);
    case meter::kFnFindByDate:
        return findByDate(r, note);
    case meter::kFnSetClock:
        return setClock(r, note);
    default:
        setNote(note, QStringLiteral("unknown function %1, no reply").arg(r.function, 2, 16, QLatin1Char('0')));
        return {};
    }
}

QByteArray Meter::readRegister(const MeterRequest& r, QString* note)
{
    if (r.data.size() != 4) {
        setNote(note, QStringLiteral("register request of %1 bytes, no reply").arg(r.data.size()));
        return {};
    }
    const std::uint16_t reg = std::uint16_t(std::uint8_t(r.data[0]) << 8 | std::uint8_t(r.data[1]));
    QByteArray data(4, '\0');
    if (reg == meter::kRegSerialNumber) {
        data[0] = char(m_setup.serial >> 8);
        data[1] = char(m_setup.serial & 0xFF);
    }
    for (int c = 0; c < 3; ++c) {
        if (reg == meter::kRegSystemType[c])
            data[0] = char(m_setup.formula[std::size_t(c)]);
    }
    setNote(note, QStringLiteral("register %1").arg(reg));
    return reply(meter::kFnReadRegister, counted(data));
}

QByteArray Meter::readParam(const MeterRequest& r, QString* note)
{
    if (r.data.size() != 1) {
        setNote(note, QStringLiteral("parameter request of %1 bytes, no reply").arg(r.data.size()));
        return {};
    }
    const int i = std::uint8_t(r.data[0]);
    setNote(note, QStringLiteral("parameter word %1").arg(i));
    return reply(meter::kFnReadParam, counted(word(paramWord(i))));
}

QByteArray Meter::readFile(const MeterRequest& r, QString* note)
{
    if (r.data.size() != 8 || r.data[0] != 7 || r.data[1] != 6) {
        setNote(note, QStringLiteral("file request not understood, no reply"));
        return {};
    }
    const auto u16
        = [&](int at) { return std::uint16_t(std::uint8_t(r.data[at]) << 8 | std::uint8_t(r.data[at + 1])); };
    const std::uint16_t file = u16(2);
    const std::uint16_t record = u16(4);
    const std::uint16_t count = u16(6);
    if (count == 0 || count > kMaxFileRegisters) {
        setNote(note, QStringLiteral("file %1 record %2: %3 registers, no reply").arg(file).arg(record).arg(count));
        return {};
    }
    const qsizetype from = 2 * qsizetype(record);
    const qsizetype size = 2 * qsizetype(count);
    QByteArray data;
    const auto slice = [&](const QByteArray& space, char fill) {
        QByteArray out = space.mid(from, size);
        out.append(QByteArray(size - out.size(), fill));
        return out;
    };
    if (file == 1) {
        data = slice(m_file1, '\0');
    } else if (file == 4) {
        data = QByteArray(size, '\0');
        if (record == 0) {
            const auto v = std::uint16_t(m_cfgSize);
            // Firmware before 0x1000 sends it high byte first.
            const bool bigEndian = m_setup.softVersion() < 0x1000;
            data[0] = char(bigEndian ? v >> 8 : v & 0xFF);
            data[1] = char(bigEndian ? v & 0xFF : v >> 8);
        }
    } else if (file == 5) {
        data = slice(m_cfgArchive, '\xFF');
    } else {
        setNote(note, QStringLiteral("no file %1, no reply").arg(file));
        return {};
    }
    setNote(note, QStringLiteral("file %1 record %2, %3 registers").arg(file).arg(record).arg(count));
    QByteArray out;
    out.append(char(data.size() + 2));
    out.append(char(data.size() + 1));
    out.append(char(6));
    out.append(data);
    return reply(meter::kFnReadFileRecord, out);
}

QByteArray Meter::archiveReply(ArchiveKind kind, int number, bool extension) const
{
    const std::optional<sctArcZap> rec = m_archive.record(kind, number);
    if (!rec)
        return reply(meter::kFnArchive, counted(emptyBlock()));
    if (extension)
        return reply(meter::kFnArchive, counted(extensionBlock(*rec)));
    return reply(meter::kFnArchive,
                 counted(archiveBlock(*rec, blockYearByte(archive::fullYear(*rec), m_setup.softVersion()))));
}

QByteArray Meter::contourReply(ArchiveKind kind, int number, int contour) const
{
    const std::optional<sctArcZap> rec = m_archive.record(kind, number);
    if (!rec)
        return reply(meter::kFnArchive, counted(emptyContourBlock(contour)));
    const std::uint8_t year = blockYearByte(archive::fullYear(*rec), m_setup.softVersion());
    QByteArray block = contourBlock(*rec, contour, year);
    if (kind == ArchiveKind::Hourly && contour == 1 && m_setup.wrongContourHours.count(number)) {
        block[4] = char(2);
        const std::uint16_t check = crc::modbus(QByteArrayView(block).first(102));
        block[102] = char(check & 0xFF);
        block[103] = char(check >> 8);
    }
    return reply(meter::kFnArchive, counted(block));
}

QByteArray Meter::archiveCommand(const MeterRequest& r, QString* note)
{
    if (r.data.size() != 3) {
        setNote(note, QStringLiteral("archive command of %1 bytes, no reply").arg(r.data.size()));
        return {};
    }
    const int sub = std::uint8_t(r.data[0]);
    const std::uint16_t index = std::uint16_t(std::uint8_t(r.data[1]) << 8 | std::uint8_t(r.data[2]));
    const QByteArray done = reply(meter::kFnArchive, counted(QByteArray(1, '\0')));
    const bool settingUp = m_settingUpReport;
    m_settingUpReport = false;
    setNote(note, QStringLiteral("archive sub-command %1, index %2").arg(sub).arg(index));

    static constexpr ArchiveKind kinds[] = { ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly };
    switch (sub) {
    case 0:
        return archiveReply(ArchiveKind::Hourly, index, false);
    case 1:
    case 8:
    case 12:
        return done;
    case 2:
    case 9:
    case 13: {
        const ArchiveKind kind = sub == 2 ? ArchiveKind::Hourly : sub == 9 ? ArchiveKind::Daily : ArchiveKind::Monthly;
        QByteArray head(4, '\xFF');
        if (const std::optional<sctArcZap> rec = m_archive.record(kind, index)) {
            head[0] = char(rec->hour);
            head[1] = char(rec->day);
            head[2] = char(rec->month);
            head[3] = char(blockYearByte(archive::fullYear(*rec), m_setup.softVersion()));
        }
        return reply(meter::kFnArchive, counted(head));
    }
    case 3:
        // Right after the report end, sub-command 3 is the report start, not an extension block.
        if (settingUp) {
            m_reportStart = index;
            return done;
        }
        return archiveReply(ArchiveKind::Hourly, index, true);
    case 4:
        m_reportEnd = index;
        m_settingUpReport = true;
        return done;
    case 5:
        m_report = reportText(index & 0xFF, (index & 0x100) != 0);
        m_reportPos = 0;
        return done;
    case 6:
        return archiveReply(ArchiveKind::Hourly, index, true);
    case 7:
        return archiveReply(ArchiveKind::Daily, index, false);
    case 10:
        return archiveReply(ArchiveKind::Daily, index, true);
    case 11:
        return archiveReply(ArchiveKind::Monthly, index, false);
    case 14:
        return archiveReply(ArchiveKind::Monthly, index, true);
    default:
        break;
    }
    if (sub >= 15 && sub <= 23)
        return contourReply(kinds[(sub - 15) / 3], index, (sub - 15) % 3);
    setNote(note, QStringLiteral("unknown archive sub-command %1, no reply").arg(sub));
    return {};
}

QByteArray Meter::findByDate(const MeterRequest& r, QString* note)
{
    if (r.data.size() != 5 || (r.data[0] != 0 && r.data[0] != 2)) {
        setNote(note, QStringLiteral("date search not understood, no reply"));
        return {};
    }
    const int hour = std::uint8_t(r.data[1]);
    const int day = std::uint8_t(r.data[2]);
    const int month = std::uint8_t(r.data[3]);
    const int y = std::uint8_t(r.data[4]);
    std::uint16_t found = meter::kRecordNotFound;
    if (r.data[0] == 2) {
        found = m_archive.findHourly(hour, day, month, 2000 + y);
    } else {
        // The search year follows the firmware's own coding; try the years it may stand for.
        for (const int year : { 2000 + y, 2020 + y }) {
            if (meter::FindYearByte(year, m_setup.softVersion(), m_setup.buildVersion()) != y)
                continue;
            found = m_archive.findHourly(hour, day, month, year);
            if (found != meter::kRecordNotFound)
                break;
        }
    }
    setNote(note, fmt::text(u"search %02d.%02d. byte %d %02d:00: record %u", day, month, y, hour, unsigned(found)));
    return reply(meter::kFnFindByDate, word(found));
}

QByteArray Meter::setClock(const MeterRequest& r, QString* note)
{
    if (r.data.size() != 7 || r.data[0] != 1) {
        setNote(note, QStringLiteral("clock request not understood, no reply"));
        return {};
    }
    const auto b = [&](int i) { return int(std::uint8_t(r.data[i])); };
    // Years before 2000 are sent less 1900, later ones less 2000.
    const int year = b(6) >= 70 ? 1900 + b(6) : 2000 + b(6);
    const QDateTime when = dateutil::makeDateTime(year, b(5), b(4), b(3), b(2), b(1));
    if (!when.isValid()) {
        setNote(note, QStringLiteral("clock request with an impossible date, no reply"));
        return {};
    }
    m_clockOffset = QDateTime::currentDateTimeUtc().secsTo(when);
    setNote(note, QStringLiteral("clock set to %1").arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    return reply(meter::kFnSetClock, r.data);
}

QByteArray Meter::takeReport(qsizetype max)
{
    const QByteArray piece = m_report.mid(m_reportPos, max);
    m_reportPos += piece.size();
    if (!printing()) {
        m_report.clear();
        m_reportPos = 0;
    }
    return piece;
}

void Meter::stopPrinting()
{
    m_report.clear();
    m_reportPos = 0;
}

QByteArray Meter::reportText(int contour, bool hourly) const
{
    if (!m_reportFile.isEmpty())
        return m_reportFile;
    const int c = std::clamp(contour, 0, 2);
    const auto ci = std::size_t(c);
    // S is the older end: record numbers grow into the past.
    const int from = std::max(m_reportStart, m_reportEnd);
    const int to = std::max(1, int(std::min(m_reportStart, m_reportEnd)));
    constexpr int kMaxRows = 5000;

    QByteArray out = "\x1B@";
    out += codepage::toOem(hourly ? u"        ОТЧЁТ О ПОТРЕБЛЕНИИ ТЕПЛА (почасовой)\r\n"
                                  : u"        ОТЧЁТ О ПОТРЕБЛЕНИИ ТЕПЛА (посуточный)\r\n");
    out += codepage::toOem(fmt::text(u"Теплосчётчик N %05u   Контур %d   Отпечатан %s\r\n", unsigned(m_setup.serial),
                                     c + 1, clock().toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    out += codepage::toOem(QString(u"Абонент: " + m_setup.consumer + u"\r\n"));
    const QByteArray rule = codepage::toOem(QString(78, QChar(0x2500))) + "\r\n";
    out += rule;
    out += codepage::toOem(u"  Дата   Час    Q, Гкал      M1, т      M2, т  t1, °C  t2, °C     T, ч\r\n");
    out += rule;

    std::optional<sctArcZap> first;
    std::optional<sctArcZap> last;
    int rows = 0;
    for (int n = from; n >= to && rows < kMaxRows; --n) {
        const std::optional<sctArcZap> r = m_archive.record(ArchiveKind::Hourly, n);
        if (!r || (!hourly && r->hour != 0))
            continue;
        if (!first)
            first = r;
        last = r;
        ++rows;
        out += fmt::bytes("%02u.%02u.%02u %02u  %10.3f %10.2f %10.2f %7.2f %7.2f %8u\r\n", unsigned(r->day),
                          unsigned(r->month), unsigned(r->year), unsigned(r->hour), double(archive::cumulativeQ(*r, c)),
                          double(archive::cumulativeM(*r, 2 * c)), double(archive::cumulativeM(*r, 2 * c + 1)),
                          double(r->t[2 * ci]), double(r->t[2 * ci + 1]), unsigned(r->T[ci] / 60));
    }
    out += rule;
    if (first && last) {
        out += codepage::toOem(
            fmt::text(u"Итого: Q = %.3f Гкал, M1 = %.2f т, M2 = %.2f т\r\n",
                      double(archive::cumulativeQ(*last, c) - archive::cumulativeQ(*first, c)),
                      double(archive::cumulativeM(*last, 2 * c) - archive::cumulativeM(*first, 2 * c)),
                      double(archive::cumulativeM(*last, 2 * c + 1) - archive::cumulativeM(*first, 2 * c + 1))));
    } else {
        out += codepage::toOem(u"Нет записей за заданный период\r\n");
    }
    out += "\x0C";
    return out;
}

} // namespace metersim
