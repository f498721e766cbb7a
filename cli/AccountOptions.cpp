#include "AccountOptions.h"

#include <algorithm>

#include <QFileInfo>

#include "app/CLorn2Doc.h"
#include "app/Shell.h"
#include "archive/ReportBuilder.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "storage/CDevData.h"
#include "storage/DeviceTypes.h"

using namespace Qt::Literals::StringLiterals;

namespace cliopts {

namespace {

QCommandLineOption valueOption(const QString& name, const QString& help, const QString& value)
{
    return QCommandLineOption(name, help, value);
}

const QStringList kParityNames{u"none"_s, u"odd"_s, u"even"_s, u"mark"_s, u"space"_s};
const QStringList kStopBitNames{u"1"_s, u"1.5"_s, u"2"_s};
const QStringList kFlowNames{u"none"_s, u"xon/xoff"_s, u"rts/cts"_s, u"both"_s};

std::optional<bool> yesNo(const QString& text)
{
    if (text.compare(u"yes"_s, Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(u"no"_s, Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

bool number(const QString& text, long long min, long long max, long long& out, int base = 10)
{
    bool ok = false;
    out = text.toLongLong(&ok, base);
    return ok && out >= min && out <= max;
}

const QStringList kConnectionValueOptions{u"port"_s, u"baud"_s, u"data-bits"_s, u"parity"_s, u"stop-bits"_s,
                                          u"flow"_s, u"timeout"_s, u"retries"_s, u"modem"_s, u"modem-phone"_s,
                                          u"modem-init"_s, u"per-contour"_s};

} // namespace

void addAccountOptions(QCommandLineParser& p)
{
    p.addOption(valueOption(u"net-address"_s, u"Network address, two hexadecimal digits."_s, u"HH"_s));
    p.addOption(valueOption(u"consumer"_s, u"Consumer name."_s, u"TEXT"_s));
    p.addOption(valueOption(u"phone"_s, u"Consumer telephone."_s, u"TEXT"_s));
    p.addOption(valueOption(u"consumer-id"_s, u"Subscriber identifier."_s, u"TEXT"_s));
    p.addOption(valueOption(u"address"_s, u"Consumer address."_s, u"TEXT"_s));
    p.addOption(valueOption(u"contact"_s, u"Contact person."_s, u"TEXT"_s));
    p.addOption(valueOption(u"map"_s, u"Memory-map file of the meter."_s, u"FILE"_s));
    p.addOption(valueOption(u"print-volumes"_s, u"Contours whose volumes reports print, e.g. 1,3."_s, u"LIST"_s));
    p.addOption(valueOption(u"header-from-account"_s, u"Report headers from the account: yes or no."_s, u"yes|no"_s));
}

void addConnectionOptions(QCommandLineParser& p)
{
    p.addOption(valueOption(u"port"_s, u"COM port number."_s, u"N"_s));
    p.addOption(valueOption(u"baud"_s, u"Baud rate."_s, u"N"_s));
    p.addOption(valueOption(u"data-bits"_s, u"Data bits (5 to 8)."_s, u"N"_s));
    p.addOption(valueOption(u"parity"_s, u"none, odd, even, mark or space."_s, u"PARITY"_s));
    p.addOption(valueOption(u"stop-bits"_s, u"1, 1.5 or 2."_s, u"BITS"_s));
    p.addOption(valueOption(u"flow"_s, u"none, xon/xoff, rts/cts or both."_s, u"FLOW"_s));
    p.addOption(valueOption(u"timeout"_s, u"Reply time-out in milliseconds."_s, u"MS"_s));
    p.addOption(valueOption(u"retries"_s, u"Attempts per request."_s, u"N"_s));
    p.addOption(valueOption(u"modem"_s, u"Connect through the dial-up modem: yes or no."_s, u"yes|no"_s));
    p.addOption(valueOption(u"modem-phone"_s, u"Phone number the modem dials."_s, u"TEXT"_s));
    p.addOption(valueOption(u"modem-init"_s, u"Modem initialisation string."_s, u"TEXT"_s));
    p.addOption(valueOption(u"per-contour"_s, u"Read the archive contour by contour: yes or no."_s, u"yes|no"_s));
}

void addTypeOption(QCommandLineParser& p)
{
    p.addOption(valueOption(u"type"_s, u"Device type: 1 to 3 or a code name such as Karna1."_s, u"T"_s));
}

int typeOption(const QCommandLineParser& p)
{
    if (!p.isSet(u"type"_s))
        return 0;
    const int t = devtypes::fromText(p.value(u"type"_s));
    return t > 0 ? t : -1;
}

bool validate(const QCommandLineParser& p, QString* error)
{
    auto fail = [&](const QString& option, const QString& why) {
        *error = u"--"_s + option + u": "_s + why;
        return false;
    };
    long long n = 0;
    const QStringList names = p.optionNames();
    if (names.contains(u"serial"_s) && !number(p.value(u"serial"_s), 1, CDevData::kMaxSerial, n))
        return fail(u"serial"_s, u"a serial number 1 to %1 expected, not '%2'"_s.arg(CDevData::kMaxSerial).arg(
                                     p.value(u"serial"_s)));
    if (names.contains(u"type"_s) && typeOption(p) < 0)
        return fail(u"type"_s, u"unknown device type '%1'"_s.arg(p.value(u"type"_s)));
    if (names.contains(u"net-address"_s)
        && (p.value(u"net-address"_s).size() > 2 || !number(p.value(u"net-address"_s), 0, 255, n, 16)))
        return fail(u"net-address"_s, u"two hexadecimal digits expected"_s);
    if (names.contains(u"print-volumes"_s)) {
        for (const QString& c : p.value(u"print-volumes"_s).split(u',', Qt::SkipEmptyParts)) {
            if (!number(c.trimmed(), 1, 3, n))
                return fail(u"print-volumes"_s, u"contours 1 to 3 expected"_s);
        }
    }
    for (const QString& flag : {u"header-from-account"_s, u"modem"_s, u"per-contour"_s}) {
        if (names.contains(flag) && !yesNo(p.value(flag)))
            return fail(flag, u"yes or no expected"_s);
    }
    if (names.contains(u"map"_s) && !QFileInfo(p.value(u"map"_s)).isFile())
        return fail(u"map"_s, u"no such file '%1'"_s.arg(p.value(u"map"_s)));
    if (names.contains(u"port"_s) && !number(p.value(u"port"_s), 1, 255, n))
        return fail(u"port"_s, u"a COM port number 1 to 255 expected"_s);
    if (names.contains(u"baud"_s) && !number(p.value(u"baud"_s), 1, 4000000, n))
        return fail(u"baud"_s, u"a baud rate expected"_s);
    if (names.contains(u"data-bits"_s) && !number(p.value(u"data-bits"_s), 5, 8, n))
        return fail(u"data-bits"_s, u"5 to 8 expected"_s);
    if (names.contains(u"parity"_s) && !kParityNames.contains(p.value(u"parity"_s).toLower()))
        return fail(u"parity"_s, u"none, odd, even, mark or space expected"_s);
    if (names.contains(u"stop-bits"_s) && !kStopBitNames.contains(p.value(u"stop-bits"_s)))
        return fail(u"stop-bits"_s, u"1, 1.5 or 2 expected"_s);
    if (names.contains(u"flow"_s) && !kFlowNames.contains(p.value(u"flow"_s).toLower()))
        return fail(u"flow"_s, u"none, xon/xoff, rts/cts or both expected"_s);
    if (names.contains(u"timeout"_s) && !number(p.value(u"timeout"_s), 0, 600000, n))
        return fail(u"timeout"_s, u"milliseconds expected"_s);
    if (names.contains(u"retries"_s) && !number(p.value(u"retries"_s), 1, 100, n))
        return fail(u"retries"_s, u"1 to 100 expected"_s);
    return true;
}

void applyAccountOptions(const QCommandLineParser& p, CDevData& r)
{
    if (p.isSet(u"net-address"_s))
        r.m_netAddress = p.value(u"net-address"_s).toInt(nullptr, 16);
    if (p.isSet(u"consumer"_s))
        r.m_consumer = p.value(u"consumer"_s);
    if (p.isSet(u"phone"_s))
        r.m_phone = p.value(u"phone"_s);
    if (p.isSet(u"consumer-id"_s))
        r.m_consumerId = p.value(u"consumer-id"_s);
    if (p.isSet(u"address"_s))
        r.m_address = p.value(u"address"_s);
    if (p.isSet(u"contact"_s))
        r.m_contact = p.value(u"contact"_s);
    if (p.isSet(u"map"_s)) {
        r.m_mapFile = QFileInfo(p.value(u"map"_s)).absoluteFilePath();
        r.m_mapChanged = true;
    }
    if (p.isSet(u"print-volumes"_s)) {
        r.m_printVolumes = {};
        for (const QString& c : p.value(u"print-volumes"_s).split(u',', Qt::SkipEmptyParts))
            r.m_printVolumes[std::size_t(c.trimmed().toInt() - 1)] = true;
    }
    if (p.isSet(u"header-from-account"_s))
        r.m_useAccountForHeader = *yesNo(p.value(u"header-from-account"_s));
}

bool hasConnectionOptions(const QCommandLineParser& p)
{
    for (const QString& name : kConnectionValueOptions) {
        if (p.isSet(name))
            return true;
    }
    return false;
}

void applyConnectionOptions(const QCommandLineParser& p, CDevData& r)
{
    DeviceControlBlock& dcb = r.m_connection.dcb;
    if (p.isSet(u"port"_s))
        r.m_connection.port = p.value(u"port"_s).toInt();
    if (p.isSet(u"baud"_s))
        dcb.BaudRate = p.value(u"baud"_s).toUInt();
    if (p.isSet(u"data-bits"_s))
        dcb.ByteSize = std::uint8_t(p.value(u"data-bits"_s).toUInt());
    if (p.isSet(u"parity"_s))
        dcb.Parity = std::uint8_t(kParityNames.indexOf(p.value(u"parity"_s).toLower()));
    if (p.isSet(u"stop-bits"_s))
        dcb.StopBits = std::uint8_t(kStopBitNames.indexOf(p.value(u"stop-bits"_s)));
    if (p.isSet(u"flow"_s)) {
        const int flow = int(kFlowNames.indexOf(p.value(u"flow"_s).toLower()));
        const bool soft = flow == 1 || flow == 3;
        const bool hard = flow == 2 || flow == 3;
        setDcbFlag(dcb, DcbFlag::fOutX, soft);
        setDcbFlag(dcb, DcbFlag::fInX, soft);
        setDcbFlag(dcb, DcbFlag::fOutxCtsFlow, hard);
        setDcbFlag(dcb, DcbFlag::fRtsControl, hard ? 2 : 0);
    }
    if (p.isSet(u"timeout"_s))
        r.m_answerTimeout = p.value(u"timeout"_s).toInt();
    if (p.isSet(u"retries"_s))
        r.m_retries = p.value(u"retries"_s).toInt();
    if (p.isSet(u"modem"_s)) {
        r.m_useModem = *yesNo(p.value(u"modem"_s));
        r.m_modem.useModem = r.m_useModem;
    }
    if (p.isSet(u"modem-phone"_s))
        r.m_modem.phone = p.value(u"modem-phone"_s).toLocal8Bit();
    if (p.isSet(u"modem-init"_s))
        r.m_modem.initString = p.value(u"modem-init"_s).toLocal8Bit();
    if (p.isSet(u"per-contour"_s))
        r.m_perContourRead = *yesNo(p.value(u"per-contour"_s));
}

std::optional<int> findAccount(const CLorn2Doc& doc, const QString& serialText, const QCommandLineParser& p)
{
    long long serial = 0;
    if (!number(serialText, 1, CDevData::kMaxSerial, serial)) {
        MessageBox::error(u"Invalid serial number '%1'"_s.arg(serialText));
        return std::nullopt;
    }
    const int type = typeOption(p);
    std::vector<int> found;
    for (int i : doc.findBySerial(int(serial))) {
        if (type <= 0 || doc.accounts()[std::size_t(i)].m_type == type)
            found.push_back(i);
    }
    if (found.empty()) {
        MessageBox::error(fmt::text(u"No account with serial number %05u", unsigned(serial)));
        return std::nullopt;
    }
    if (found.size() > 1) {
        QStringList types;
        for (int i : found)
            types << doc.accounts()[std::size_t(i)].typeCodeName();
        MessageBox::error(fmt::text(u"Several accounts have serial number %05u: %s. Choose one with --type.",
                                    unsigned(serial), types.join(u", "_s)));
        return std::nullopt;
    }
    return found.front();
}

QDate parseDate(const QString& text)
{
    return QDate::fromString(text, u"yyyy-MM-dd"_s);
}

void addReportRangeOptions(QCommandLineParser& parser, const QString& hourlyHelp)
{
    parser.addOption(QCommandLineOption(u"hourly"_s, hourlyHelp, u"DATE"_s));
    parser.addOption(
        QCommandLineOption(u"daily"_s, u"A daily report from FROM to TO (TO follows as an argument)."_s, u"FROM"_s));
    parser.addOption(QCommandLineOption(u"contour"_s, u"The contour, 1 to 3 (default 1)."_s, u"C"_s));
}

bool checkReportRange(const QCommandLineParser& parser, QString* error)
{
    const bool hourly = parser.isSet(u"hourly"_s);
    const bool daily = parser.isSet(u"daily"_s);
    if (hourly == daily) {
        *error = u"give one of --hourly DATE and --daily FROM TO"_s;
        return false;
    }
    const QStringList args = parser.positionalArguments();
    if (hourly && args.size() != 1) {
        *error = u"unexpected argument '%1'"_s.arg(args.value(1));
        return false;
    }
    if (daily && args.size() != 2) {
        *error = u"--daily: FROM and TO expected"_s;
        return false;
    }
    return checkReportDates(parser, daily ? args.at(1) : QString(), error);
}

bool checkReportDates(const QCommandLineParser& parser, const QString& toText, QString* error)
{
    const bool hourly = parser.isSet(u"hourly"_s);
    const QDate first = parseDate(parser.value(hourly ? u"hourly"_s : u"daily"_s));
    if (!first.isValid()) {
        *error = (hourly ? u"--hourly"_s : u"--daily"_s) + u": a date YYYY-MM-DD expected"_s;
        return false;
    }
    if (!hourly) {
        const QDate last = parseDate(toText);
        if (!last.isValid()) {
            *error = u"--daily: TO must be a date YYYY-MM-DD"_s;
            return false;
        }
        if (last < first) {
            *error = u"--daily: TO is before FROM"_s;
            return false;
        }
    }
    if (parser.isSet(u"contour"_s)) {
        bool ok = false;
        const int contour = parser.value(u"contour"_s).toInt(&ok);
        if (!ok || contour < 1 || contour > 3) {
            *error = u"--contour: 1, 2 or 3 expected"_s;
            return false;
        }
    }
    return true;
}

ReportRange reportRange(const QCommandLineParser& parser)
{
    ReportRange range;
    range.daily = parser.isSet(u"daily"_s);
    range.first = parseDate(parser.value(range.daily ? u"daily"_s : u"hourly"_s));
    range.last = range.daily ? parseDate(parser.positionalArguments().at(1)) : range.first;
    range.contour = parser.isSet(u"contour"_s) ? parser.value(u"contour"_s).toInt() - 1 : 0;
    return range;
}

bool answerReportSettings(const ReportRange& range, ReportSettingsRequest& request)
{
    if (range.contour >= std::max(1, request.numSys)) {
        MessageBox::error(u"The meter has %1 contour(s); --contour %2 does not exist."_s.arg(std::max(1, request.numSys))
                              .arg(range.contour + 1));
        return false;
    }
    request.kind = range.daily ? archive::ReportKind::Daily : archive::ReportKind::Hourly;
    request.contour = range.contour;
    request.first = range.first;
    request.last = range.last;
    const archive::ReportRequest period = archive::makeReportRequest(request.kind, range.contour, range.first, range.last);
    request.start = period.start;
    request.end = period.end;
    return true;
}

bool checkPeriod(const QCommandLineParser& parser, QString* error)
{
    for (const QString& option : { u"from"_s, u"to"_s }) {
        if (parser.isSet(option) && !parser.value(option).isEmpty() && !parseDate(parser.value(option)).isValid()) {
            *error = u"--"_s + option + u": a date YYYY-MM-DD expected"_s;
            return false;
        }
    }
    if (parser.isSet(u"from"_s) && parser.isSet(u"to"_s)
        && parseDate(parser.value(u"from"_s)) > parseDate(parser.value(u"to"_s))) {
        *error = u"--from %1 is after --to %2"_s.arg(parser.value(u"from"_s), parser.value(u"to"_s));
        return false;
    }
    return true;
}

bool checkAccountChoice(const QCommandLineParser& parser, QString* error)
{
    const bool all = parser.isSet(u"all"_s);
    if (all == !parser.positionalArguments().isEmpty()) {
        *error = all ? u"--all and serial numbers exclude each other"_s : u"name the accounts or give --all"_s;
        return false;
    }
    return true;
}

std::optional<std::vector<int>> chosenAccounts(const CLorn2Doc& doc, const std::vector<int>& rows,
                                               const QCommandLineParser& parser)
{
    if (parser.isSet(u"all"_s))
        return rows;
    std::vector<int> chosen;
    for (const QString& serial : parser.positionalArguments()) {
        const std::optional<int> index = findAccount(doc, serial, parser);
        if (!index)
            return std::nullopt;
        if (std::find(chosen.begin(), chosen.end(), *index) == chosen.end())
            chosen.push_back(*index);
    }
    return chosen;
}

} // namespace cliopts
