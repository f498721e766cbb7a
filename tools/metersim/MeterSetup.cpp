#include "MeterSetup.h"

#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "base/DateUtil.h"

namespace metersim {

namespace {

struct WordKey
{
    const char* name;
    int index;
};

constexpr WordKey kWordKeys[] = {
    { "protversion", 0 },  { "archiveversion", 1 }, { "numsys", 2 },     { "archivesize", 3 },
    { "softversion", 4 },  { "buildversion", 5 },   { "ispversion", 6 }, { "softcrc", 7 },
    { "tcoldchannel", 8 }, { "param11", 11 },       { "param12", 12 },   { "param13", 13 },
};

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString resolved(const QString& value, const QString& baseDir)
{
    if (value.isEmpty() || QFileInfo(value).isAbsolute() || baseDir.isEmpty())
        return value;
    return QDir(baseDir).filePath(value);
}

} // namespace

QString hexAddress(std::uint8_t address)
{
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

std::optional<std::uint32_t> parseNumber(const QString& text, std::uint32_t max)
{
    const QString t = text.trimmed();
    bool ok = false;
    qulonglong v = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = t.sliced(2).toULongLong(&ok, 16);
    else
        v = t.toULongLong(&ok, 10);
    if (!ok || v > max)
        return std::nullopt;
    return std::uint32_t(v);
}

bool applySetting(MeterSetup& s, const QString& rawKey, const QString& rawValue, const QString& baseDir, QString* error)
{
    const QString key = rawKey.trimmed().toLower();
    const QString value = rawValue.trimmed();
    const auto bad
        = [&] { return fail(error, QStringLiteral("bad value for %1: \"%2\"").arg(rawKey.trimmed(), value)); };
    const auto number = [&](std::uint32_t max) { return parseNumber(value, max); };

    for (const WordKey& w : kWordKeys) {
        if (key == QLatin1String(w.name)) {
            const auto v = number(0xFFFF);
            if (!v)
                return bad();
            s.params[std::size_t(w.index)] = std::uint16_t(*v);
            return true;
        }
    }
    if (key == QLatin1String("serial")) {
        const auto v = number(0xFFFF);
        if (!v)
            return bad();
        s.serial = std::uint16_t(*v);
        return true;
    }
    if (key == QLatin1String("address")) {
        // Written as the frames write it: two hexadecimal digits.
        bool ok = false;
        const uint v = value.toUInt(&ok, 16);
        if (!ok || v > 0xFF)
            return bad();
        s.address = std::uint8_t(v);
        return true;
    }
    if (key == QLatin1String("hours") || key == QLatin1String("days") || key == QLatin1String("months")
        || key == QLatin1String("cfgarchive")) {
        const auto v = number(0xFFFF);
        if (!v)
            return bad();
        int& target = key == QLatin1String("hours") ? s.hours
            : key == QLatin1String("days")          ? s.days
            : key == QLatin1String("months")        ? s.months
                                                    : s.cfgArchive;
        target = int(*v);
        return true;
    }
    if (key == QLatin1String("emptyhours") || key == QLatin1String("wrongcontourhours")) {
        std::set<int>& target = key == QLatin1String("emptyhours") ? s.emptyHours : s.wrongContourHours;
        target.clear();
        for (const QString& part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList range = part.split(QLatin1Char('-'));
            const auto from = parseNumber(range.value(0), 0xFFFF);
            const auto to = range.size() == 2 ? parseNumber(range[1], 0xFFFF) : from;
            if (range.size() > 2 || !from || !to || *to < *from)
                return bad();
            for (std::uint32_t r = *from; r <= *to; ++r)
                target.insert(int(r));
        }
        return true;
    }
    if (key == QLatin1String("energyunits")) {
        const auto v = number(0xFF);
        if (!v)
            return bad();
        s.energyUnits = std::uint8_t(*v);
        return true;
    }
    if (key == QLatin1String("tcold")) {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return bad();
        s.tCold = float(v);
        return true;
    }
    if (key.size() == 9 && key.startsWith(QLatin1String("pressure")) && key[8] >= QLatin1Char('1')
        && key[8] <= QLatin1Char('3')) {
        const auto v = number(1);
        if (!v)
            return bad();
        std::array<bool, 3> p = s.pressure.value_or(std::array<bool, 3>{ true, true, false });
        p[std::size_t(key[8].unicode() - '1')] = *v != 0;
        s.pressure = p;
        return true;
    }
    if (key.size() == 8 && key.startsWith(QLatin1String("formula")) && key[7] >= QLatin1Char('1')
        && key[7] <= QLatin1Char('3')) {
        const auto v = number(0xFF);
        if (!v)
            return bad();
        s.formula[std::size_t(key[7].unicode() - '1')] = std::uint8_t(*v);
        return true;
    }
    if (key == QLatin1String("cfg")) {
        s.cfgFile = resolved(value, baseDir);
        return true;
    }
    if (key == QLatin1String("tsa")) {
        s.tsaFile = resolved(value, baseDir);
        return true;
    }
    if (key == QLatin1String("report")) {
        s.reportFile = resolved(value, baseDir);
        return true;
    }
    if (key == QLatin1String("clock")) {
        // A wall-clock reading, valid also in an hour that summer time skips here.
        const QString text = value.trimmed();
        const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
        const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
        const QChar separator = text.size() > 10 ? text[10] : QChar();
        if (!date.isValid() || !time.isValid() || (separator != u' ' && separator != u'T'))
            return bad();
        s.clock = dateutil::calendarDateTime(date, time);
        return true;
    }
    QString* text = key == QLatin1String("consumer") ? &s.consumer
        : key == QLatin1String("phone")              ? &s.phone
        : key == QLatin1String("consumerid")         ? &s.consumerId
        : key == QLatin1String("addresstext")        ? &s.addressText
        : key == QLatin1String("contact")            ? &s.contact
                                                     : nullptr;
    if (text) {
        *text = value;
        return true;
    }
    return fail(error, QStringLiteral("unknown key \"%1\"").arg(rawKey.trimmed()));
}

bool loadMeterFile(MeterSetup& setup, const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    const QString baseDir = QFileInfo(path).absolutePath();
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';'))
            || line.startsWith(QLatin1Char('[')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        QString why;
        if (eq < 0)
            why = QStringLiteral("no '=' in \"%1\"").arg(line);
        else if (applySetting(setup, line.first(eq), line.sliced(eq + 1), baseDir, &why))
            continue;
        return fail(error, QStringLiteral("%1:%2: %3").arg(path).arg(lineNo).arg(why));
    }
    return true;
}

const char* meterFileKeys()
{
    return "Meter file (--meter FILE): lines \"key = value\", '#' or ';' comments, [sections]\n"
           "ignored, keys in any letter case, numbers decimal or 0x-hexadecimal:\n"
           "  Serial            serial number, register 200 (default 12345)\n"
           "  Address           network address, two hex digits (default 01)\n"
           "  ProtVersion       parameter word 0 (default 15)\n"
           "  ArchiveVersion    word 1 (default 6)\n"
           "  NumSys            word 2, contours in use (default 2)\n"
           "  ArchiveSize       word 3, hourly archive size (default 2048)\n"
           "  SoftVersion       word 4 (default 0x1A05)\n"
           "  BuildVersion      word 5 (default 0x0102)\n"
           "  IspVersion        word 6 (default 1)\n"
           "  SoftCRC           word 7 (default 0xBEEF)\n"
           "  TColdChannel      word 8 (default 255: the t_cold constant)\n"
           "  Param11..Param13  words 11..13 (default 0xFFFF, 0xFFFF, 0)\n"
           "  Hours             hourly records holding data (default 2048)\n"
           "  Days              daily records, word 9 (default 45)\n"
           "  Months            monthly records, word 10 (default 12)\n"
           "  EmptyHours        hourly record numbers left empty, e.g. 5,9-12\n"
           "  WrongContourHours hourly record numbers whose contour 2 block names contour 3\n"
           "  Formula1..3       system type of contour 1..3, registers 163/172/181 (1, 2, 0)\n"
           "  EnergyUnits       file 1 register 411 (default 2: Gcal)\n"
           "  TCold             t_cold constant, file 1 register 114 (default 5.0)\n"
           "  Pressure1..3      1 when the contour measures pressure (1, 1, 0)\n"
           "  Cfg               configuration memory as a file of bytes (default built in)\n"
           "  CfgArchive        configuration archive records, word 14 (default 3)\n"
           "  Tsa               a .tsa archive file whose hourly records are served\n"
           "  Report            a file whose bytes the meter prints for a report\n"
           "                    (default: a text of the hourly records asked for)\n"
           "  Clock             the meter's clock at start, yyyy-MM-dd HH:mm:ss; the\n"
           "                    archives end at its hour (default: the computer's)\n"
           "  Consumer, Phone, ConsumerId, AddressText, Contact\n"
           "                    texts of the built-in configuration memory\n";
}

} // namespace metersim
