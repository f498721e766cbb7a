#include "archive/ReportBuilder.h"

#include <algorithm>
#include <array>
#include <cmath>


#include "archive/ReportPairing.h"
#include "base/CodePage.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "lorn2_version/Version.h"

using namespace Qt::Literals::StringLiterals;

namespace archive {

namespace {

constexpr char kEsc = '\x1b';
const QString kCrLfTab = u"\r\n\t"_s;
const QString kItalicOn = u"\x1b"
                          "4"_s;
const QString kItalicOff = u"\x1b"
                           "5"_s;
const QString kD11 = u"     --    "_s;
const QString kD6 = u"  --  "_s;
const QString kZ11 = u"      0.000"_s;
const QString kTotal = u"Итого"_s;
const QString kSameAsBefore = u"3 - (обе предыдущие ситуации в течение часа), др. знач - см. ТО"_s;

constexpr char kHLine = '\xc4';
constexpr char kVLine = '\xb3';
constexpr char kJoinTop = '\xc2';
constexpr char kJoinMiddle = '\xc5';
constexpr char kJoinBottom = '\xc1';

// Report text is formatted in windows-1251 and kept in IBM866; box-drawing and control bytes
// are already in their final form and go in untouched.
class TextWriter
{
public:
    void raw(QByteArrayView bytes) { m_out.append(bytes); }
    void raw(char byte) { m_out.append(byte); }
    void text(const QString& s) { m_out.append(codepage::ansiToOem(codepage::toAnsi(s))); }
    void line() { text(kCrLfTab); }

    QByteArray& bytes() { return m_out; }

private:
    QByteArray m_out;
};

template <typename... A> QString f(const char16_t* format, const A&... args)
{
    return fmt::text(QStringView(format), args...);
}

QString blanks(int n)
{
    return QString(std::max(n, 0), u' ');
}

QString contourTypeName(int formula, int archiveVersion)
{
    switch (formula) {
    case 0:
        return u"'открыт.'"_s;
    case 1:
        return u"'закрыт.'"_s;
    case 2:
        return u"'закр.обр'"_s;
    case 3:
        return u"'счетчик V"_s;
    case 4:
        return u"'счетчик M'"_s;
    case 5:
        return u"'тупик.'"_s;
    case 6:
        return u"'подпитка'"_s;
    case 7:
        return u"'реверс.'"_s;
    case 8:
        return u"'счетчик Vt'"_s;
    case 9:
        return archiveVersion == 1 ? u"'закр. с подп.'"_s : u"'откр VQ'"_s;
    case 10:
        return archiveVersion == 1 ? u"'закр.обр. с подп.'"_s : u"'тупик. V'"_s;
    default:
        return u"'неизвестна'"_s;
    }
}

QString hexDigits(std::uint32_t bits12)
{
    QString s;
    for (int shift : { 8, 4, 0 }) {
        const unsigned d = (bits12 >> shift) & 0xF;
        s += d ? f(u"%X", d) : u" "_s;
    }
    return s;
}

// The quantities a column shows, read for one contour of one record.
struct Reader
{
    int contour;
    int formula;

    std::size_t supply() const { return std::size_t(2 * contour); }
    std::size_t ret() const { return supply() + 1; }
    bool volumesFromMass() const { return formula == 3 || formula == 8; }
    float q(const sctArcZap& r) const { return cumulativeQ(r, contour); }
    float mass(const sctArcZap& r, std::size_t ch) const { return cumulativeM(r, int(ch)); }
    float volume(const sctArcZap& r, std::size_t ch) const
    {
        return volumesFromMass() ? cumulativeM(r, int(ch)) : cumulativeV(r, int(ch));
    }
    // Supply or return reading for kinds 4-7.
    float reading(int kind, const sctArcZap& r) const
    {
        switch (kind) {
        case 4:
            return mass(r, supply());
        case 5:
            return mass(r, ret());
        case 6:
            return volume(r, supply());
        case 7:
            return volume(r, ret());
        }
        return 0.0f;
    }
};

bool noEnergy(int formula)
{
    return formula == 3 || formula == 4 || formula == 8;
}

// Column sums and means for the totals line and the difference line.
struct Totals
{
    std::array<double, kColumnKinds> sum{};
    std::uint64_t minutes = 0; // kind 3
    double tColdSum = 0.0;
    std::size_t rows = 0;
};

class ReportWriter
{
public:
    ReportWriter(const ReportInput& in, ReportState& state)
        : m_in(in)
        , m_state(state)
        , m_params(in.account.params)
        , m_contour(in.request.contour)
        , m_formula(in.account.params.Formula[std::size_t(in.request.contour)])
        , m_read{ in.request.contour, m_formula }
    {
    }

    void header();
    void body();
    QByteArray take() { return std::move(m_w.bytes()); }

private:
    void border(char junction);
    void cells(const std::vector<QString>& cells);
    QString rowCell(const _columnRep& col, const TwoZap& row, Totals& totals) const;
    QString totalCell(const _columnRep& col, const Totals& totals) const;
    QString readingCell(const _columnRep& col, const sctArcZap& r) const;
    QString differenceCell(const _columnRep& col, const sctArcZap& start, const sctArcZap& end,
                           const Totals& totals) const;
    void timeBalance();
    void legends();

    const ReportInput& m_in;
    ReportState& m_state;
    const ArchiveParams& m_params;
    int m_contour;
    int m_formula;
    Reader m_read;
    TextWriter m_w;
};

void ReportWriter::header()
{
    const bool hourly = m_in.request.kind == ReportKind::Hourly;
    m_w.raw("\x1b"
            "Cd"
            "\x1b"
            "U1"
            "\x1b"
            "x0"
            "\x1b"
            "E"
            "\x12"
            "\x1b"
            "-0"
            "\x1b"
            "w1"
            "\n\t\t");
    QString title = hourly ? u"ПОЧАСОВОЙ"_s : u"ПОСУТОЧНЫЙ"_s;
    title += u" ПРОТОКОЛ УЧЕТА "_s;
    if (m_formula == 3 || m_formula == 8)
        title += u"ОБЪЕМА "_s;
    else if (m_formula == 4)
        title += u"МАССЫ "_s;
    else
        title += u"ТЕПЛОВОЙ ЭНЕРГИИ "_s;
    title += u"ВОДЫ"_s;
    m_w.text(title);
    m_w.raw("\x1b"
            "0"
            "\x1b"
            "5"
            "\x1b"
            "2"
            "\x1b"
            "w0"
            "\n\t\t\t"
            "\x1b"
            "x0"
            "\x1b"
            "E");

    const QDate s = m_in.request.start.date();
    const QDate e = m_in.request.end.date();
    if (hourly)
        m_w.text(f(u"за %02d/%02d/%4d", s.day(), s.month(), s.year()));
    else
        m_w.text(f(u"с %02d/%02d/%4d по %02d/%02d/%4d", s.day(), s.month(), s.year(), e.day(), e.month(), e.year()));
    m_w.raw("\x1b"
            "F"
            "\x0f"
            "\r\n\t");

    const ReportAccount& acc = m_in.account;
    const bool own = acc.useAccountForHeader;
    const QString& name = own ? acc.header.consumer : m_params.Custom;
    const QString& phone = own ? acc.header.telephone : m_params.Telephone;
    const QString& subscriber = own ? acc.header.subscriber : m_params.Abonent;
    const QString& address = own ? acc.header.address : m_params.Address;
    const QString& person = own ? acc.header.person : m_params.ResponsePerson;
    const QString& I = kItalicOn;
    const QString& N = kItalicOff;
    m_w.text(f(u"Название потребителя %s%s", I, name));
    m_w.text(f(u"%s  Телефон %s%s", N, I, phone));
    m_w.text(f(u"%s%sАбонент No %s %s", N, kCrLfTab, I, subscriber));
    m_w.text(f(u" %s Адрес:%s%s", N, I, address));
    m_w.text(f(u"%s%sОтветственное за учет лицо%s%s", N, kCrLfTab, I, person));
    for (const char16_t* flow : { u" %s Расход1 %s%s", u" %s Расход2 %s%s" }) {
        m_w.text(kCrLfTab + blanks(60));
        m_w.text(f(flow, N, I, m_params.FlowRange));
        m_w.text(f(u" %s Ду %s%s", N, I, m_params.Diametr));
    }
    m_w.text(f(u"%s%sКонтур учета %u, %s тип контура ", kCrLfTab, N, unsigned(m_contour + 1), I));
    m_w.text(contourTypeName(m_formula, m_params.ArchiveVersion));
    if ((m_formula == 0 || m_formula == 9 || m_formula == 10) && m_params.t_coldChannel == ArchiveParams::kConstantTCold
        && m_params.t_cold >= 0.0f)
        m_w.text(f(u"\t\ttхв = %2.1f", m_params.t_cold));

    QString device;
    if (acc.deviceType == 1)
        device = u"Карна-1"_s.leftJustified(13);
    else if (acc.deviceType == 3)
        device = m_params.ArchiveVersion == 1 ? u"Дарна-3c"_s.leftJustified(14) : u"Дарна-3"_s.leftJustified(13);
    else
        device = u"Велос-2"_s.leftJustified(13);
    m_w.text(kCrLfTab + u"Тепловыч. "_s + device + f(u"исп.%02X", unsigned(m_params.IspVersion)));
    m_w.text(f(u"\tзав.N%d", int(m_params.SerialNumber)));
    const unsigned major = m_params.SoftVersion >> 8;
    const unsigned minor = m_params.SoftVersion & 0xFF;
    const bool rVersion = acc.deviceType == 3 && m_params.ArchiveVersion >= 2 && m_params.SoftVersion <= 0x218;
    const QString soft = rVersion ? f(u"R%X.%02X.%02X", major, minor, unsigned(m_params.BuildVersion))
                                  : f(u"%02X.%02X.%02X", major, minor, unsigned(m_params.BuildVersion));
    m_w.text(f(u"\t\tВерс.ПО %s", soft));
    m_w.text(f(u"\t кс = %x%s%s", unsigned(m_params.SoftCRC), kCrLfTab,
               u"\x1b"
               "0"_s));
}

void ReportWriter::border(char junction)
{
    QByteArray line;
    for (qsizetype i = 0; i < m_state.columns.size(); ++i) {
        if (i > 0)
            line.append(junction);
        line.append(QByteArray(std::max(m_state.columns[i].width, 0), kHLine));
    }
    m_w.raw(line);
    m_w.line();
}

void ReportWriter::cells(const std::vector<QString>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            m_w.raw(kVLine);
        m_w.text(values[i]);
    }
    m_w.line();
}

QString ReportWriter::rowCell(const _columnRep& col, const TwoZap& row, Totals& totals) const
{
    const sctArcZap& E = row.earlier;
    const sctArcZap& L = row.later;
    const std::size_t c = std::size_t(m_contour);
    const std::size_t s = m_read.supply();
    const std::size_t r = m_read.ret();
    auto value = [&](double v) {
        totals.sum[std::size_t(col.kind)] += v;
        return f(u"%11.3f", v);
    };
    switch (col.kind) {
    case 0:
        if (L.hour == 0 && L.minute == 0)
            return u"24:00"_s;
        return f(u"%02d:%02d", int(L.hour), int(L.minute));
    case 1:
        return f(u"%02d/%02d", int(E.day), int(E.month));
    case 2:
        if (noEnergy(m_formula))
            return kD11;
        return value(m_read.q(L) - m_read.q(E));
    case 3: {
        const std::uint32_t minutes = L.T[c] - E.T[c];
        totals.minutes += minutes;
        return f(u"  %5.2f ", minutes / 60.0);
    }
    case 4:
    case 6:
        return value(m_read.reading(col.kind, L) - m_read.reading(col.kind, E));
    case 5:
    case 7:
        if (m_formula == 5)
            return kD11;
        return value(m_read.reading(col.kind, L) - m_read.reading(col.kind, E));
    case 8:
    case 9:
    case 10:
    case 11: {
        if (m_formula == 5)
            return kD11;
        const bool mass = col.kind == 8 || col.kind == 9;
        const float d = mass
            ? (m_read.mass(L, s) - m_read.mass(E, s)) - (m_read.mass(L, r) - m_read.mass(E, r))
            : (m_read.volume(L, s) - m_read.volume(E, s)) - (m_read.volume(L, r) - m_read.volume(E, r));
        const bool plus = col.kind == 8 || col.kind == 10;
        if (plus ? d > 0.0f : d < 0.0f)
            return value(plus ? d : -d);
        return kZ11;
    }
    case 12:
        return m_formula == 3 ? kD6 : f(u"%6.1f", L.t[s]);
    case 13:
        return m_formula == 3 || m_formula == 5 ? kD6 : f(u"%6.1f", L.t[r]);
    case 14: {
        const unsigned dt = L.Err[c] >> 28;
        return dt ? f(u"%1X", dt) : u" "_s;
    }
    case 15:
        return hexDigits(L.Err[c] & 0xFFF);
    case 16:
        return hexDigits((L.Err[c] >> 16) & 0xFFF);
    case 17:
        return L.Nstart ? f(u"%d", int(L.Nstart)) : u"   "_s;
    case 18:
        return f(u"%6.2f", L.p[s]);
    case 19:
        return f(u"%6.2f", L.p[r]);
    case 20:
        return f(u"%6.1f", L.t_cold);
    }
    return blanks(col.width);
}

QString ReportWriter::totalCell(const _columnRep& col, const Totals& totals) const
{
    const double sum = col.kind >= 0 && col.kind < kColumnKinds ? totals.sum[std::size_t(col.kind)] : 0.0;
    switch (col.kind) {
    case 0:
    case 1:
        return kTotal;
    case 2:
        return noEnergy(m_formula) ? kD11 : f(u"%11.3f", sum);
    case 3:
        return f(u"%7.2f ", double(totals.minutes) / 60.0);
    case 4:
    case 6:
        return f(u"%11.3f", sum);
    case 5:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
        return m_formula == 5 ? kD11 : f(u"%11.3f", sum);
    case 12:
        return m_formula == 3 ? kD6 : f(u"%6.1f", m_state.averages.tSupply);
    case 13:
        return m_formula == 3 || m_formula == 5 ? kD6 : f(u"%6.1f", m_state.averages.tReturn);
    case 14:
        return u" "_s;
    case 15:
    case 16:
    case 17:
        return u"   "_s;
    case 18:
        return f(u"%6.2f", m_state.averages.pSupply);
    case 19:
        return f(u"%6.2f", m_state.averages.pReturn);
    case 20:
        return f(u"%6.1f", totals.rows ? totals.tColdSum / double(totals.rows) : 0.0);
    }
    return blanks(col.width);
}

QString ReportWriter::readingCell(const _columnRep& col, const sctArcZap& rec) const
{
    switch (col.kind) {
    case 0:
    case 1:
        return f(u"%02d/%02d", int(rec.day), int(rec.month));
    case 2:
        return noEnergy(m_formula) ? kD11 : f(u"%11.3f", m_read.q(rec));
    case 3:
        return f(u"%8.2f", rec.T[std::size_t(m_contour)] / 60.0);
    case 4:
    case 6:
        return f(u"%11.1f", m_read.reading(col.kind, rec));
    case 5:
    case 7:
        return m_formula == 5 ? kD11 : f(u"%11.1f", m_read.reading(col.kind, rec));
    }
    return blanks(col.width);
}

QString ReportWriter::differenceCell(const _columnRep& col, const sctArcZap& start, const sctArcZap& end,
                                     const Totals& totals) const
{
    switch (col.kind) {
    case 0:
    case 1:
        return kTotal;
    case 2:
        return noEnergy(m_formula) ? kD11 : f(u"%11.3f", m_read.q(end) - m_read.q(start));
    case 3: {
        const std::size_t c = std::size_t(m_contour);
        return f(u"%8.2f", std::uint32_t(end.T[c] - start.T[c]) / 60.0);
    }
    case 4:
    case 6:
        return f(u"%11.3f", m_read.reading(col.kind, end) - m_read.reading(col.kind, start));
    case 5:
    case 7:
        return m_formula == 5 ? kD11 : f(u"%11.3f", m_read.reading(col.kind, end) - m_read.reading(col.kind, start));
    }
    return totalCell(col, totals);
}

void ReportWriter::timeBalance()
{
    const pairing::TimeBalance b = pairing::timeBalance(m_state.rows.front().earlier, m_state.rows.back().later,
                                                        m_contour, m_state.Tmin, m_state.Tmax, m_state.Tdt);
    m_w.line();
    m_w.line();
    m_w.text(
        u"Время работы теплосистемы\t\tTобщ =     Tраб +     Terr +     Tmin +     Tmax +      Tdt\r\n\t\t\t\t\t\t\t"_s);
    m_w.text(f(u"     %8.2f", b.total));
    for (double v : { b.working, b.err, b.tmin, b.tmax, b.tdt })
        m_w.text(f(u"   %8.2f", v));
    if (b.err < 0.0)
        MessageBox::show(f(u"%10.8f", b.err));
}

void ReportWriter::legends()
{
    m_w.line();
    m_w.line();
    m_w.text(u"Tраб - нормальная работа,\t Terr - ошибки или 'нет питания',\t Tmin - G<Gmin,"_s);
    m_w.line();
    m_w.text(u"\t\t\t\t Tmax - G>Gmax,\t Tdt - (tпод - tобр)< dtmin"_s);
    m_w.line();
    m_w.line();
    m_w.line();
    if (m_in.request.kind == ReportKind::Hourly) {
        m_w.text(u"Коды ошибок"_s);
        m_w.line();
        m_w.text(u"\tt:  1 -  (t < min), 2 - (t > max), "_s + kSameAsBefore);
        m_w.line();
        m_w.text(u"\tG:  1 -  (G < min), 2 - (G > max), "_s + kSameAsBefore);
        m_w.line();
        if (m_params.Pressure[std::size_t(m_contour)]) {
            m_w.text(u"\tp:  4 -  (p < min), 8 - (p > max), C - (обе предыдущие ситуации в течение часа или аппаратный "
                     u"сбой), др. знач. - см. ТО"_s);
            m_w.line();
        }
        m_w.text(u"\tdt: 1 - (dt < min), 2 - (dt < 0),  "_s + kSameAsBefore);
        for (int i = 0; i < 4; ++i)
            m_w.line();
    }
    m_w.text(u"Подпись\t\t\t\t\t\t\t\t\t\t\tПодпись"_s);
    m_w.line();
    m_w.text(u"Потребителя\t________________________________\tПоставщика\t________________________________\r\n"_s);
    m_w.line();

    const ReportFooter& foot = m_in.footer;
    const QDate today = foot.today.isValid() ? foot.today : QDateTime::currentDateTimeUtc().date();
    const QString program = foot.programName.isEmpty() ? QStringLiteral(LORN2_PRODUCT_NAME) : foot.programName;
    const QString version = foot.version.isEmpty() ? QStringLiteral(LORN2_VERSION_STRING) : foot.version;
    m_w.text(f(u"Отчет создан %02d/%02d/%04dг", today.day(), today.month(), today.year()));
    m_w.text(f(u" (%s v%s)", program, version));
    m_w.raw("\r\n\x0c");
}

void ReportWriter::body()
{
    const auto& columns = m_state.columns;
    Totals totals;
    totals.rows = m_state.rows.size();

    m_w.line();
    border(kJoinTop);
    std::vector<QString> line;
    line.reserve(std::size_t(columns.size()));
    for (const _columnRep& col : columns)
        line.push_back(col.title);
    cells(line);
    line.clear();
    for (const _columnRep& col : columns)
        line.push_back(col.units);
    cells(line);
    border(kJoinMiddle);

    for (const TwoZap& row : m_state.rows) {
        line.clear();
        for (const _columnRep& col : columns)
            line.push_back(rowCell(col, row, totals));
        totals.tColdSum += row.later.t_cold;
        cells(line);
    }
    border(kJoinMiddle);
    line.clear();
    for (const _columnRep& col : columns)
        line.push_back(totalCell(col, totals));
    cells(line);
    border(kJoinBottom);

    m_w.text(f(u"\tПоказания интеграторов\t\t\tdt=tпр-tобр, °C: %3.2f",
               double(m_state.averages.tSupply - m_state.averages.tReturn)));
    m_w.line();

    const sctArcZap& start = m_state.rows.front().earlier;
    const sctArcZap& end = m_state.rows.back().later;
    border(kJoinTop);
    line.clear();
    for (const _columnRep& col : columns)
        line.push_back(readingCell(col, start));
    cells(line);
    border(kJoinMiddle);
    line.clear();
    for (const _columnRep& col : columns)
        line.push_back(readingCell(col, end));
    cells(line);
    border(kJoinMiddle);
    line.clear();
    for (const _columnRep& col : columns)
        line.push_back(differenceCell(col, start, end, totals));
    cells(line);
    border(kJoinBottom);

    timeBalance();
    legends();
}

const std::vector<sctArcZap>& sortedRecords(const ArchiveRecordList* list, std::vector<sctArcZap>& copy)
{
    if (list == nullptr)
        return copy;
    if (list->isSorted())
        return list->records();
    copy = list->records();
    std::sort(copy.begin(), copy.end(),
              [](const sctArcZap& a, const sctArcZap& b) { return identityKey(a) < identityKey(b); });
    return copy;
}

} // namespace

ReportDialogDefaults reportDialogDefaults(const ArchiveRecordList& records, const QDate& today)
{
    ReportDialogDefaults d{ QDate(2000, 1, 1), today };
    if (records.isEmpty())
        return d;
    const RecordStamp first = records.earliestStamp();
    const RecordStamp last = records.latestStamp();
    const QDate a(2000 + first.year, first.month, first.day);
    const QDate b(2000 + last.year, last.month, last.day);
    if (a.isValid())
        d.start = a;
    if (b.isValid())
        d.end = b;
    return d;
}

ReportRequest makeReportRequest(ReportKind kind, int contour, const QDate& first, const QDate& last)
{
    ReportRequest r;
    r.kind = kind;
    r.contour = contour;
    r.start = QDateTime(first, QTime(0, 0));
    r.end = QDateTime((kind == ReportKind::Daily ? last : first).addDays(1), QTime(0, 0));
    return r;
}

ReportResult buildReport(const ReportInput& input)
{
    ReportResult result;
    ReportState& state = result.state;
    const ReportRequest& req = input.request;
    state.kind = req.kind;
    state.contour = req.contour;
    state.start = req.start;
    state.end = req.end;

    const bool noRecords = input.records == nullptr || input.records->isEmpty();
    const int dailyCount = input.dailyRowCount >= 0 ? input.dailyRowCount : int(input.dailyRows.size());
    if (noRecords && (req.kind == ReportKind::Hourly || dailyCount <= 0)) {
        MessageBox::error(LoadResString(158));
        result.outcome = ReportOutcome::NoData;
        return result;
    }

    const bool contourOk = req.contour >= 0 && req.contour < kContours;
    const bool printVolumes = contourOk && input.account.printVolumes[std::size_t(req.contour)];
    if (!buildReportColumns(state.columns, input.account.params, req.contour, req.kind, printVolumes)) {
        result.outcome = ReportOutcome::UnknownFormula;
        return result;
    }

    ReportWriter writer(input, state);
    writer.header();

    std::vector<sctArcZap> copy;
    const std::vector<sctArcZap>& records = sortedRecords(input.records, copy);
    pairing::ContourMeans means(req.contour);
    if (req.kind == ReportKind::Hourly) {
        state.rows = pairing::hourlyRows(records, req.start.date(), means);
    } else {
        state.rows = pairing::dailyRowsFromDatabase(input.dailyRows, means);
        if (state.rows.empty())
            state.rows = pairing::dailyRowsFromRecords(records, req.start.date(), req.end.date(), means);
    }
    state.averages
        = ReportAverages{ means.tSupply.value(), means.tReturn.value(), means.pSupply.value(), means.pReturn.value() };
    const std::size_t c = std::size_t(req.contour);
    for (const TwoZap& row : state.rows) {
        if (req.kind == ReportKind::Hourly) {
            state.Tmin += row.later.Tfmn[c];
            state.Tmax += row.later.Tfmx[c];
            state.Tdt += row.later.Tdtm[c];
        } else {
            state.Tmin += row.Tfmn[c];
            state.Tmax += row.Tfmx[c];
            state.Tdt += row.Tdtm[c];
        }
    }

    if (state.rows.empty()) {
        MessageBox::error(u"В указанном интервале времени\nотсутствуют учетные данные"_s, u"Ошибка"_s);
        state.text = writer.take();
        result.outcome = ReportOutcome::EmptyInterval;
        return result;
    }
    writer.body();
    state.text = writer.take();
    result.outcome = ReportOutcome::Built;
    return result;
}

} // namespace archive
