#include "DeviceOperations.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>

#include <sys/ioctl.h>

#include "archive/DayMonRecord.h"
#include "base/CodePage.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "link/CComPort.h"
#include "link/MeterBlocks.h"
#include "link/MeterContext.h"
#include "link/MeterFrame.h"
#include "storage/ArchiveDatabase.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace comm {

namespace {

constexpr int kMsgNoParams = 134;
constexpr int kMsgPortOpen = 137;
constexpr int kMsgSerialMismatch = 140;
constexpr int kMsgConfigFailed = 143;
constexpr int kMsgOutOfMemory = 102;
constexpr int kMsgNoStart = 163;
constexpr int kMsgNoEnd = 164;
constexpr int kMsgNoDatabase = 211;
constexpr int kMsgCfgArcStore = 219;
constexpr int kResultOutOfMemory = 12;
constexpr int kResultCancelled = 2;

constexpr qsizetype kReportBufferStart = 0x80000;
// The configuration records are addressed by a 16-bit register number.
constexpr qint64 kMaxFileRegisters = 0x10000;

// The consumer id field of the configuration memory, which the account keeps as its device text.
constexpr qsizetype kDeviceTextOffset = 372;
constexpr qsizetype kDeviceTextSize = 12;

[[noreturn]] void fail(int message)
{
    throw OperationError{ message };
}

QString messageText(int message)
{
    const QString text = LoadResString(message);
    return text.isEmpty() ? fmt::text(u"Error %u", message) : text;
}

QDate recordDate(const sctArcZap& r)
{
    return QDate(2000 + r.year, r.month, r.day);
}

void counted(CommThreadParams& p, const meter::Request& r, const QByteArray& reply)
{
    ++p.exchanges;
    p.lineBytes += r.bytes.size() + reply.size();
}

QByteArray countedExchange(CommThreadParams& p, CComPort& port, const meter::Request& r)
{
    QByteArray reply = Exchange(port, r, std::max(1, p.account->m_retries), p.stop());
    counted(p, r, reply);
    return reply;
}

// The port, the protocol state and the modem connection of one running operation.
class Session
{
public:
    explicit Session(CommThreadParams& params)
        : p(params)
        , acc(*params.account)
        , host(*params.host)
        , port(params.account->m_connection)
    {
        if (!p.portMapFile.isEmpty())
            port.setMapFile(p.portMapFile);
    }

    CommThreadParams& p;
    CDevData& acc;
    OperationHost& host;
    CComPort port;
    MeterContext ctx;
    bool modemUp = false;
    QString caption;

    int retries() const { return std::max(1, acc.m_retries); }
    const std::atomic<int>& stop() const { return p.stop(); }

    void checkStop() const
    {
        if (stop().load() == kStopAsked)
            fail(kMsgStopped);
    }

    QByteArray exchange(const meter::Request& r)
    {
        QByteArray reply = Exchange(port, r, retries(), stop());
        counted(p, r, reply);
        return reply;
    }

    std::optional<QByteArray> tryExchange(const meter::Request& r)
    {
        std::optional<QByteArray> reply = TryExchange(port, r, retries(), stop());
        counted(p, r, reply ? *reply : QByteArray());
        return reply;
    }

    // Sent once, the reply not checked.
    QByteArray exchangeOnce(const meter::Request& r)
    {
        checkStop();
        QByteArray reply = ExchangeOnce(port, r);
        counted(p, r, reply);
        return reply;
    }

    void open()
    {
        if (!port.Open())
            fail(kMsgPortOpen);
        p.started = QDateTime::currentDateTime();
        port.SetTimeouts(exchangeTimeouts(std::uint32_t(std::max(0, acc.m_answerTimeout))));
        ctx = MeterContext{};
        ctx.address = std::uint8_t(acc.m_netAddress);
        if (acc.m_useModem) {
            ModemConnect(port, acc.m_modem, host);
            modemUp = true;
        }
    }

    void close()
    {
        if (modemUp && port.isOpen())
            ModemDisconnect(port, host, caption, p.escapeGuard);
        modemUp = false;
        if (port.isOpen())
            port.Close();
    }

    // Register 200; the reply's address is taken over. Nothing when the reply carried no number.
    std::uint16_t readSerial()
    {
        host.setStatus(LoadResString(145));
        const QByteArray reply = exchange(meter::MakeReadRegister(ctx, meter::kRegSerialNumber));
        meter::ReplyAddress(ctx, reply);
        const std::optional<std::uint16_t> serial = meter::DataWord(meter::ReplyData(reply), 0);
        if (!serial)
            fail(kMsgDataCorrupted);
        return *serial;
    }

    void checkSerial()
    {
        const std::uint16_t serial = readSerial();
        if (serial != acc.m_serial)
            fail(kMsgSerialMismatch);
        acc.m_arcParams.SerialNumber = serial;
    }

    std::optional<std::uint16_t> readParam(int index)
    {
        const QByteArray reply = exchange(meter::MakeReadParam(ctx, std::uint8_t(index)));
        return meter::DataWord(meter::ReplyData(reply), 0);
    }

    QByteArray readFile(std::uint16_t file, std::uint16_t record, std::uint16_t count)
    {
        return meter::FileRegisterData(exchange(meter::MakeReadFileRecord(ctx, file, record, count)));
    }

    void progress(qint64 n, qint64 size)
    {
        host.setProgress(size > 0 ? int(std::clamp<qint64>((n * 100 + 100) / size, 0, 100)) : 100);
    }
};

// Runs one operation with the ending every operation shares.
template <typename Body> int runWorker(CommThreadParams& p, int captionId, Body body)
{
    const QString caption = LoadResString(captionId);
    p.caption = caption;
    if (p.host)
        p.host->setCaption(caption);
    if (!p.account || !p.host) {
        MessageBox::error(messageText(kMsgNoParams));
        p.result = 1;
        if (p.host) {
            p.stop().store(OperationHost::kRunning);
            p.host->finished(p.result);
        }
        return p.result;
    }

    int result = 0;
    {
        Session s(p);
        s.caption = caption;
        try {
            body(s);
        } catch (const OperationError& e) {
            result = e.message;
        } catch (const std::bad_alloc&) {
            result = kMsgOutOfMemory;
        }
        // The call is hung up before the message waits for the user: a dial-up line stays
        // connected, and paid for, for as long as a message box is open.
        try {
            s.close();
        } catch (const OperationError&) {
            // A stop asked during the hang-up changes nothing any more.
        }
        if (result != 0)
            MessageBox::error(messageText(result), caption);
        if (result == kMsgOutOfMemory)
            result = kResultOutOfMemory;
    }
    p.result = result;
    p.stop().store(OperationHost::kRunning);
    p.host->finished(result);
    return result;
}

// ---- per-contour blocks ------------------------------------------------------------------

float leFloat(QByteArrayView b, qsizetype pos)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | std::uint8_t(b[pos + i]);
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
}

std::uint32_t le32(QByteArrayView b, qsizetype pos)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | std::uint8_t(b[pos + i]);
    return v;
}

std::uint16_t le16(QByteArrayView b, qsizetype pos)
{
    return std::uint16_t(std::uint8_t(b[pos]) | std::uint8_t(b[pos + 1]) << 8);
}

void put16le(u_data_daymon_full& d, std::size_t at, std::uint16_t v)
{
    d.bytes[at] = std::uint8_t(v);
    d.bytes[at + 1] = std::uint8_t(v >> 8);
}

void copy4(u_data_daymon_full& d, std::size_t at, QByteArrayView b, qsizetype pos)
{
    for (int i = 0; i < 4; ++i)
        d.bytes[at + i] = std::uint8_t(b[pos + i]);
}

// One contour's block (at least kContourBlockMin bytes, checked) into the record, and the values
// the record has no fields for into `extra`.
void decodeContour(QByteArrayView b, int c, sctArcZap& r, u_data_daymon_full& extra)
{
    if (c == 0) {
        r.hour = std::uint8_t(b[8]);
        r.day = std::uint8_t(b[9]);
        r.month = std::uint8_t(b[10]);
        r.year = std::uint8_t(b[11]);
        r.minute = std::uint8_t(b[12]);
        r.Event = std::uint8_t(b[13]);
        r.Nstart = std::uint8_t(b[14]);
        r.t_cold = leFloat(b, 72);
        r.t_amb = leFloat(b, 76);
        copy4(extra, 232, b, 88);
    }
    const int s = 2 * c;
    r.Q[c] = leFloat(b, 16);
    r.pre_Q[c] = leFloat(b, 20);
    r.M[s] = leFloat(b, 24);
    r.M[s + 1] = leFloat(b, 28);
    r.pre_M[s] = leFloat(b, 32);
    r.pre_M[s + 1] = leFloat(b, 36);
    r.V[s] = leFloat(b, 40);
    r.V[s + 1] = leFloat(b, 44);
    r.pre_V[s] = leFloat(b, 48);
    r.pre_V[s + 1] = leFloat(b, 52);
    r.t[s] = leFloat(b, 56);
    r.t[s + 1] = leFloat(b, 60);
    r.p[s] = leFloat(b, 64);
    r.p[s + 1] = leFloat(b, 68);
    r.T[c] = le32(b, 80);
    copy4(extra, 220 + 4 * c, b, 84);
    r.Err[c] = le32(b, 92);
    const std::uint16_t fmn = le16(b, 96), fmx = le16(b, 98), dtm = le16(b, 100);
    r.Tfmn[c] = std::uint8_t(fmn);
    r.Tfmx[c] = std::uint8_t(fmx);
    r.Tdtm[c] = std::uint8_t(dtm);
    put16le(extra, 236 + 2 * c, fmn);
    put16le(extra, 242 + 2 * c, fmx);
    put16le(extra, 248 + 2 * c, dtm);
}

enum class ReadOutcome { Stored, Empty, Dropped };

struct ArchiveKindInfo
{
    std::uint8_t prepare; // sent once before the loop
    std::uint8_t head;
    std::uint8_t block;
    std::uint8_t extension; // hourly: sub 3 below Prot Version 10
    std::uint8_t contour; // first per-contour sub
};
constexpr ArchiveKindInfo kHourly{ 1, 2, 0, 6, 15 };
constexpr ArchiveKindInfo kDaily{ 8, 9, 7, 10, 18 };
constexpr ArchiveKindInfo kMonthly{ 12, 13, 11, 14, 21 };

// The archive operation's state: the session, the chosen range and what the loops share.
class ArchiveReader
{
public:
    explicit ArchiveReader(Session& session)
        : s(session)
        , prm(session.acc.m_arcParams)
    {
    }

    Session& s;
    ArchiveParams& prm;

    bool perContour() const { return s.acc.m_perContourRead && s.ctx.protVersion() >= 15; }

    // Reads record r of a kind per contour. Valid records come back in rec (and extra).
    ReadOutcome readContours(const ArchiveKindInfo& kind, std::uint16_t r, sctArcZap& rec, u_data_daymon_full& extra)
    {
        QByteArray first;
        for (int c = 0; c < 3; ++c) {
            const QByteArray block
                = meter::ReplyData(s.exchange(meter::MakeArcCommand(s.ctx, std::uint8_t(kind.contour + c), r)));
            const meter::ContourBlock cb = meter::CheckContourBlock(block, c);
            if (!cb.valid)
                return ReadOutcome::Dropped;
            if (cb.empty)
                return ReadOutcome::Empty;
            if (c == 0)
                first = block;
            else if (!meter::SameContourStamp(first, block))
                return ReadOutcome::Dropped;
            decodeContour(block, c, rec, extra);
        }
        meter::ConvertEnergy(rec, prm.EnergyUnits);
        return ReadOutcome::Stored;
    }

    // ---- hourly ----

    // The records a phase that follows will read, for the time left shown while this one runs.
    qint64 dayMonTotal(bool monthly) const
    {
        if (s.ctx.protVersion() < 12 || s.ctx.archiveVersion() < 6)
            return 0;
        return monthly ? std::max<qint64>(1, prm.ArcMonRecs) : std::max<qint64>(1, qint64(prm.ArcDayRecs) - 1);
    }

    // Hourly records that can still come after record r: the rest of the archive, and with an
    // end day no more than the hours from the newest stamp read back to that day's first hour
    // plus the one older record that ends the read. Before any stamp, the start day's hours
    // up to now count.
    qint64 hourlyLeft(qint64 r, std::optional<QDate> end, const sctArcZap* newest) const
    {
        const qint64 archiveLeft = std::max<qint64>(0, qint64(prm.ArchiveSize) - r);
        if (!end)
            return archiveLeft;
        qint64 hours = 0;
        if (newest != nullptr) {
            const QDate day = recordDate(*newest);
            if (!day.isValid() || day < *end)
                return 0;
            hours = end->daysTo(day) * 24 + newest->hour + 1;
        } else {
            const QDate today = QDate::currentDate();
            const qint64 startHours = m_startDay >= today ? QTime::currentTime().hour() + 1 : 24;
            hours = std::max<qint64>(0, end->daysTo(m_startDay)) * 24 + startHours + 1;
        }
        return std::min(archiveLeft, hours);
    }

    void readHourly(std::uint16_t start, std::optional<QDate> end)
    {
        const qint64 size = prm.ArchiveSize;
        const qint64 later = dayMonTotal(false) + dayMonTotal(true);
        qint64 total = std::max<qint64>(1, hourlyLeft(qint64(start) - 1, end, nullptr));
        const std::uint16_t prot = s.ctx.protVersion();
        const bool twoBlocks = prot >= 5 && s.ctx.archiveVersion() >= 2;
        const std::uint8_t extSub = prot < 10 ? 3 : 6;

        qint64 n = 1;
        qint64 r = start;
        bool empty = false;
        for (;;) {
            bool last = false;
            bool skipRecord = false;
            if (empty && prot >= 2) {
                const QByteArray head = s.exchangeOnce(meter::MakeArcCommand(s.ctx, kHourly.head, std::uint16_t(r)));
                if (const auto h = meter::DecodeRecordHead(meter::ReplyData(head))) {
                    if (meter::IsEmptyHead(*h))
                        skipRecord = true;
                    else
                        empty = false;
                }
            }
            if (!skipRecord) {
                sctArcZap rec;
                u_data_daymon_full extra;
                bool store = false;
                if (perContour()) {
                    store = readContours(kHourly, std::uint16_t(r), rec, extra) == ReadOutcome::Stored;
                } else {
                    const QByteArray block
                        = meter::ReplyData(s.exchange(meter::MakeArcCommand(s.ctx, kHourly.block, std::uint16_t(r))));
                    const meter::BlockStatus st = meter::DecodeArchiveBlock(block, rec);
                    if (st == meter::BlockStatus::Empty) {
                        empty = true;
                    } else if (st == meter::BlockStatus::Good) {
                        meter::FixOldFirmwareYear(rec, s.ctx.softVersion());
                        if (twoBlocks) {
                            // A missing extension leaves its fields 0; the record is kept.
                            if (auto ext = s.tryExchange(meter::MakeArcCommand(s.ctx, extSub, std::uint16_t(r))))
                                meter::DecodeExtensionBlock(meter::ReplyData(*ext), rec);
                        } else {
                            rec.t_cold = prm.t_cold;
                        }
                        meter::ConvertEnergy(rec, prm.EnergyUnits);
                        store = true;
                    }
                }
                if (store && s.p.newestHeldKey && archive::stampKey(rec) <= *s.p.newestHeldKey) {
                    // Already held: everything from here on is older.
                    store = false;
                    last = true;
                }
                if (store) {
                    s.p.records.push_back(rec);
                    if (end && recordDate(rec) < *end)
                        last = true;
                    total = n + (last ? 0 : hourlyLeft(r, end, &rec));
                }
            }
            // An empty record proves nothing about the stamps still to come.
            total = std::max(total, n);
            s.host.setStatus(fmt::text(u"Считано записей: %d", n));
            s.progress(n, size);
            s.host.setCounts(n, total + later);
            ++n;
            ++r;
            if (last || r > size || r > 0xFFFF)
                break;
        }
    }

    // ---- daily and monthly ----

    void readDayMon(const ArchiveKindInfo& kind, bool monthly)
    {
        s.exchange(meter::MakeArcCommand(s.ctx, kind.prepare, 0));
        if (!s.p.database)
            fail(kMsgNoDatabase);
        const qint64 count = monthly ? prm.ArcMonRecs : prm.ArcDayRecs;
        const QString emptyText = monthly ? u"Считано месячных записей: %d"_s : u"Считано суточных записей: %d"_s;
        const QString recordText = monthly ? u"Считано месяных записей: %d"_s : u"Считано суточных записей: %d"_s;
        const qint64 total = dayMonTotal(monthly);
        const qint64 later = monthly ? 0 : dayMonTotal(true);
        int& stored = monthly ? s.p.monthRecordsStored : s.p.dayRecordsStored;
        // The rows go into the database together once read, whatever ends the reading: one
        // transaction, each row still all or nothing, and no lock held while the line works.
        struct Pending
        {
            ArchiveDatabase& db;
            const CDevData& acc;
            int& stored;
            std::vector<u_data_daymon_full> blobs;
            ~Pending()
            {
                if (blobs.empty())
                    return;
                ArchiveDatabase::BulkWrite bulk(db);
                for (const u_data_daymon_full& b : blobs) {
                    // A record the database refuses is passed over: the rest still counts.
                    if (db.storeDayMonRecord(acc.m_type, acc.m_serial, b) == S_OK)
                        ++stored;
                }
            }
        } pending{ *s.p.database, s.acc, stored, {} };

        qint64 n = 1;
        qint64 r = 0;
        bool empty = false;
        for (;;) {
            bool skipRecord = false;
            if (empty) {
                const QByteArray head = s.exchangeOnce(meter::MakeArcCommand(s.ctx, kind.head, std::uint16_t(r)));
                if (const auto h = meter::DecodeRecordHead(meter::ReplyData(head))) {
                    if (meter::IsEmptyHead(*h))
                        skipRecord = true;
                    else
                        empty = false;
                }
            }
            if (skipRecord) {
                s.host.setStatus(fmt::text(emptyText, n));
            } else {
                std::optional<u_data_daymon_full> blob = readDayMonRecord(kind, std::uint16_t(r), empty);
                if (blob)
                    pending.blobs.push_back(*blob);
                s.host.setStatus(fmt::text(recordText, n));
                const QDateTime& newestHeld = monthly ? s.p.newestMonthly : s.p.newestDaily;
                if (blob && newestHeld.isValid()) {
                    const QDateTime stamp = archive::makeDayMonRow(0, 0, *blob).dateTime;
                    if (stamp.isValid() && stamp <= newestHeld)
                        break;
                }
            }
            s.progress(n, 2048);
            s.host.setCounts(n, std::max(total, n) + later);
            ++n;
            ++r;
            const bool done = monthly ? (r >= count || r < 1) : (r + 1 >= count);
            if (done || r > 0xFFFF)
                break;
        }
    }

    std::optional<u_data_daymon_full> readDayMonRecord(const ArchiveKindInfo& kind, std::uint16_t r, bool& empty)
    {
        if (perContour()) {
            sctArcZap rec;
            u_data_daymon_full extra;
            if (readContours(kind, r, rec, extra) != ReadOutcome::Stored)
                return std::nullopt;
            u_data_daymon_full blob = archive::toDayMon(rec);
            std::copy(extra.bytes.begin() + 220, extra.bytes.begin() + 254, blob.bytes.begin() + 220);
            return blob;
        }
        const QByteArray block = meter::ReplyData(s.exchange(meter::MakeArcCommand(s.ctx, kind.block, r)));
        sctArcZap rec;
        const meter::BlockStatus st = meter::DecodeArchiveBlock(block, rec);
        if (st == meter::BlockStatus::Empty)
            empty = true;
        if (st != meter::BlockStatus::Good)
            return std::nullopt;
        QByteArray ext;
        if (auto reply = s.tryExchange(meter::MakeArcCommand(s.ctx, kind.extension, r)))
            ext = meter::ReplyData(*reply);
        u_data_daymon_full blob = meter::DayMonFromBlocks(block, ext);
        meter::FixOldFirmwareYear(rec, s.ctx.softVersion());
        blob.bytes[u_data_daymon_full::kYear] = rec.year;
        if (s.ctx.protVersion() < 12 || s.ctx.archiveVersion() < 2)
            std::memcpy(blob.bytes.data() + u_data_daymon_full::kTCold, &prm.t_cold, sizeof(float));
        convertBlobEnergy(blob);
        return blob;
    }

    void convertBlobEnergy(u_data_daymon_full& blob) const
    {
        sctArcZap q;
        std::memcpy(q.Q.data(), blob.bytes.data() + u_data_daymon_full::kQ, sizeof q.Q);
        std::memcpy(q.pre_Q.data(), blob.bytes.data() + u_data_daymon_full::kPreQ, sizeof q.pre_Q);
        meter::ConvertEnergy(q, prm.EnergyUnits);
        std::memcpy(blob.bytes.data() + u_data_daymon_full::kQ, q.Q.data(), sizeof q.Q);
        std::memcpy(blob.bytes.data() + u_data_daymon_full::kPreQ, q.pre_Q.data(), sizeof q.pre_Q);
    }

    QDate m_startDay;
};

void storeConfiguration(CDevData& acc, CommThreadParams& p, const QByteArray& bytes)
{
    acc.m_config = bytes;
    p.config = bytes;
    QByteArrayView text = QByteArrayView(bytes).sliced(std::min(kDeviceTextOffset, bytes.size()));
    text = text.first(std::min(text.size(), kDeviceTextSize));
    const qsizetype zero = text.indexOf('\0');
    acc.m_consumerId = codepage::fromAnsi(zero < 0 ? text : text.first(zero));
    acc.m_modified = 1;
}

// Size, then bytes, into the account. Every failure but a stop is 143.
void readAndStoreConfiguration(Session& s)
{
    int size = 0;
    ReadConfiguration(s.p, s.port, s.ctx, nullptr, size);
    QByteArray buffer(size, '\0');
    ReadConfiguration(s.p, s.port, s.ctx, &buffer, size);
    storeConfiguration(s.acc, s.p, buffer);
}

bool clockReplyAccepted(QByteArrayView reply)
{
    if (reply.size() < 21 || reply[0] != ':')
        return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    const int hi = digit(reply[19]), lo = digit(reply[20]);
    if (hi < 0 || lo < 0)
        return false;
    unsigned sum = unsigned(hi * 16 + lo);
    for (qsizetype i = 1; i <= 18; ++i)
        sum += std::uint8_t(reply[i]);
    return std::uint8_t(sum) == 0 && reply.sliced(3, 2) == "67" && reply.sliced(5, 2) == "01";
}

} // namespace

// ---- configuration ---------------------------------------------------------------------------

namespace {

void readConfigArchive(CommThreadParams& p, CComPort& port, MeterContext& ctx, int size, const QString& caption)
{
    CDevData& acc = *p.account;
    OperationHost& host = *p.host;
    const unsigned count = acc.m_arcParams.ExtraWords[2];
    if (count == 0 || size < 2)
        return;
    if (count > 5
        && MessageBox::question(fmt::text(LoadResString(222), count), MbButtons::YesNo, caption) != MbAnswer::Yes)
        return;
    if (!p.database)
        fail(kMsgCfgArcStore);
    const qint64 perRecord = size / 2;
    qint64 totalRegs = qint64(count) * perRecord;
    // Registers past the 16-bit record number would read the start of the file again.
    totalRegs = std::min(totalRegs, kMaxFileRegisters / perRecord * perRecord);

    QByteArray record(size, char(0xFF));
    qsizetype filled = 0;
    int stored = 0;
    host.setStatus(u"Считано записей архива конфигураций: 0"_s);
    for (qint64 reg = 0; reg < totalRegs; reg += 16) {
        const auto n = std::uint16_t(std::min<qint64>(16, totalRegs - reg));
        const QByteArray data = meter::FileRegisterData(
            countedExchange(p, port, meter::MakeReadFileRecord(ctx, 5, std::uint16_t(reg), n)));
        QByteArrayView bytes = QByteArrayView(data).first(std::min<qsizetype>(data.size(), 2 * n));
        // Like the memory before it, counted in bytes: a record takes dozens of requests.
        host.setCounts(2 * (reg + n), 2 * totalRegs, CountUnit::Bytes);
        while (!bytes.isEmpty()) {
            const qsizetype take = std::min(bytes.size(), size - filled);
            std::memcpy(record.data() + filled, bytes.data(), size_t(take));
            filled += take;
            bytes = bytes.sliced(take);
            if (filled == size) {
                const std::optional<CfgArcRecord> rec = CfgArcRecord::fromBytes(record);
                if (!rec || p.database->storeCfgArcRecord(acc.m_type, acc.m_serial, *rec) != S_OK)
                    fail(kMsgCfgArcStore);
                p.cfgArchiveStored = ++stored;
                host.setStatus(fmt::text(u"Считано записей архива конфигураций: %d", stored));
                record.fill(char(0xFF));
                filled = 0;
            }
        }
    }
}

} // namespace

int ReadConfiguration(CommThreadParams& p, CComPort& port, MeterContext& ctx, QByteArray* buffer, int& size)
{
    if (!port.isOpen() || !p.account || !p.host)
        fail(kMsgNoParams);
    CDevData& acc = *p.account;
    const QString caption = p.caption;
    int sz = 0;
    try {
        std::array<std::uint16_t, 15> w{};
        for (int i = 0; i < 15; ++i) {
            const std::uint16_t prot = w[0];
            const bool read = i < 2 || (prot >= 7 && prot <= 11 && i < 9) || (prot == 12 && i < 11)
                || (prot == 13 && i < 13) || prot >= 14;
            if (!read)
                continue;
            const QByteArray reply = countedExchange(p, port, meter::MakeReadParam(ctx, std::uint8_t(i)));
            w[i] = meter::DataWord(meter::ReplyData(reply), 0).value_or(0);
        }
        std::copy(w.begin(), w.end(), ctx.params.begin());
        for (int i = 0; i <= 12; ++i)
            meter::StoreParamWord(acc.m_arcParams, i, w[i]);
        acc.m_arcParams.ExtraWords[2] = w[0] > 13 ? w[14] : w[13];

        sz = 1024;
        if (w[0] >= 9) {
            const QByteArray reply = countedExchange(p, port, meter::MakeReadFileRecord(ctx, 4, 0, 1));
            const std::optional<std::uint16_t> v = meter::ConfigSizeFromFile(meter::FileRegisterData(reply), w[4]);
            if (!v)
                fail(kMsgConfigFailed);
            sz = *v;
        }
        if (!buffer) {
            size = sz;
            return 0;
        }
        if (buffer->size() < sz) {
            size = sz;
            return -1;
        }
        const int regs = sz / 2;
        for (int first = 0; first < regs; first += 16) {
            const auto n = std::uint16_t(std::min(16, regs - first));
            const QByteArray reply
                = countedExchange(p, port, meter::MakeReadFileRecord(ctx, 1, std::uint16_t(first), n));
            const QByteArray data = meter::FileRegisterData(reply);
            const qsizetype take = std::min<qsizetype>(data.size(), 2 * n);
            std::memcpy(buffer->data() + 2 * first, data.constData(), size_t(take));
            p.host->setCounts(2 * qint64(first + n), 2 * qint64(regs), CountUnit::Bytes);
        }
    } catch (const OperationError& e) {
        if (e.message == kMsgStopped)
            throw;
        fail(kMsgConfigFailed);
    }
    size = sz;
    readConfigArchive(p, port, ctx, sz, caption);
    return 0;
}

// ---- Get Archive -----------------------------------------------------------------------------

int runGetArchive(CommThreadParams& p)
{
    return runWorker(p, 135, [&p](Session& s) {
        s.host.setStatus(LoadResString(136));
        s.open();
        s.checkSerial();
        s.checkStop();

        s.host.setStatus(LoadResString(146));
        std::optional<QDate> proposedEnd;
        if (s.acc.LoadArchive() == S_OK && !s.acc.m_records.isEmpty()) {
            const archive::RecordStamp latest = s.acc.m_records.latestStamp();
            const QDate d(2000 + latest.year, latest.month, latest.day);
            if (d.isValid())
                proposedEnd = d;
        }
        const QDate today = QDate::currentDate();

        if (s.p.readConfiguration) {
            s.host.setStatus(LoadResString(144));
            try {
                readAndStoreConfiguration(s);
            } catch (const OperationError& e) {
                fail(e.message == kMsgStopped ? kMsgStopped : kMsgConfigFailed);
            }
        }

        s.checkStop();
        const std::optional<OperationHost::DateRange> range = s.host.askDateRange(today, proposedEnd);
        if (!range)
            fail(kResultCancelled);

        ArchiveParams& prm = s.acc.m_arcParams;
        s.ctx.params = {};
        s.ctx.params[3] = 2048;
        s.ctx.params[8] = ArchiveParams::kConstantTCold;
        s.ctx.params[11] = 0xFFFF;
        s.ctx.params[12] = 0xFFFF;
        if (auto w = s.readParam(0))
            s.ctx.params[0] = *w;
        const int words = meter::ParamWordCount(s.ctx.protVersion());
        for (int i = 1; i < words; ++i)
            if (auto w = s.readParam(i))
                s.ctx.params[i] = *w;
        for (int i = 0; i <= 13; ++i)
            meter::StoreParamWord(prm, i, s.ctx.params[i]);

        if (prm.t_coldChannel == ArchiveParams::kConstantTCold)
            if (auto t = meter::TColdFromFile(s.readFile(1, 114, 2), s.ctx.softVersion()))
                prm.t_cold = *t;
        if (s.ctx.protVersion() >= 8) {
            if (auto u = meter::EnergyUnitsFromFile(s.readFile(1, 411, 1)))
                prm.EnergyUnits = *u;
        } else {
            prm.EnergyUnits = 255;
        }
        meter::PressureFromFile(s.readFile(1, 36, 24), prm);
        for (int c = 0; c < std::min<int>(prm.NumSys, 3); ++c) {
            const QByteArray data
                = meter::ReplyData(s.exchange(meter::MakeReadRegister(s.ctx, meter::kRegSystemType[c])));
            if (!data.isEmpty())
                prm.Formula[c] = std::uint8_t(data[0]);
        }

        s.exchange(meter::MakeArcCommand(s.ctx, kHourly.prepare, 0));

        std::uint16_t start = 1;
        if (range->start.isValid() && range->start != today) {
            if (auto reply = s.tryExchange(meter::MakeFindByDate(s.ctx, range->start.startOfDay()))) {
                const std::optional<std::uint16_t> w = meter::ReplyWord(*reply);
                if (w && *w != meter::kRecordNotFound)
                    start = *w;
            }
        }

        ArchiveReader reader(s);
        reader.m_startDay = range->start.isValid() ? range->start : today;
        reader.readHourly(start, range->end);

        if (s.ctx.protVersion() >= 12 && s.ctx.archiveVersion() >= 6) {
            reader.readDayMon(kDaily, false);
            reader.readDayMon(kMonthly, true);
        }
    });
}

// ---- Get Config --------------------------------------------------------------------------

int runGetConfig(CommThreadParams& p)
{
    return runWorker(p, 193, [](Session& s) {
        s.host.setStatus(LoadResString(194));
        s.open();
        const std::uint16_t serial = s.readSerial();
        if (s.acc.m_serial == 0) {
            s.acc.m_serial = serial;
            s.acc.m_netAddress = s.ctx.address;
            s.acc.m_modified = 1;
        } else if (serial != s.acc.m_serial) {
            fail(kMsgSerialMismatch);
        }
        s.acc.m_arcParams.SerialNumber = std::uint16_t(s.acc.m_serial);
        s.checkStop();
        s.host.setStatus(LoadResString(144));
        readAndStoreConfiguration(s);
    });
}

// ---- Get Report --------------------------------------------------------------------------

namespace {

// The first hour of the day, from `from` on, that the meter finds a record for.
std::optional<std::uint16_t> findByHour(Session& s, const QDateTime& from, int firstStatus, int hourStatus)
{
    s.host.setStatus(LoadResString(firstStatus));
    for (int h = std::max(0, from.time().hour()); h <= 23; ++h) {
        if (h > 0)
            s.host.setStatus(fmt::text(LoadResString(hourStatus), h));
        s.checkStop();
        const meter::Request request = meter::MakeFindByDateHour(s.ctx, std::uint8_t(h), from.date());
        const QByteArray reply = ExchangeFindByHour(s.port, request, s.stop(), s.p.findByHourLimitMs);
        counted(s.p, request, reply);
        if (meter::CheckReply(reply) != meter::kReplyOk) {
            // Whatever is left of a broken reply must not open the next one.
            if (!reply.isEmpty())
                s.port.DiscardReplyRest();
            continue;
        }
        const std::optional<std::uint16_t> w = meter::ReplyWord(reply);
        if (w && *w != meter::kRecordNotFound)
            return w;
    }
    return std::nullopt;
}

} // namespace

int runGetReport(CommThreadParams& p)
{
    return runWorker(p, 162, [&p](Session& s) {
        s.host.setStatus(LoadResString(161));
        QByteArray buffer;
        buffer.reserve(kReportBufferStart);

        s.open();
        s.host.setStatus(LoadResString(136));
        s.checkSerial();
        s.checkStop();

        ArchiveParams& prm = s.acc.m_arcParams;
        s.ctx.params = {};
        for (int i = 0; i <= 8; ++i) {
            if (i >= 2 && s.ctx.protVersion() <= 6)
                break;
            if (auto w = s.readParam(i))
                s.ctx.params[i] = *w;
            meter::StoreParamWord(prm, i, s.ctx.params[i]);
        }
        s.exchange(meter::MakeArcCommand(s.ctx, kHourly.prepare, 0));

        const archive::ReportState& report = s.acc.m_report;
        const bool hourly = report.kind == archive::ReportKind::Hourly;
        const std::optional<std::uint16_t> start = findByHour(s, report.start, 165, 166);
        if (!start)
            fail(kMsgNoStart);
        std::optional<std::uint16_t> end = findByHour(s, report.end, 167, 168);
        if (!end) {
            if (!hourly)
                fail(kMsgNoEnd);
            // The day's last record: walk from the start record towards the newer ones until a
            // head of another day. The day is the report's own, not the day after it that the
            // search for the end record used.
            const std::uint16_t size = prm.ArchiveSize;
            const QDate day = report.start.date();
            std::uint16_t c = *start;
            for (;;) {
                s.host.setStatus(fmt::text(LoadResString(169), c));
                const QByteArray head = s.exchangeOnce(meter::MakeArcCommand(s.ctx, kHourly.head, c));
                if (c == 0) {
                    end = 0;
                    break;
                }
                const auto h = meter::DecodeRecordHead(meter::ReplyData(head));
                if (h && std::none_of(h->begin(), h->end(), [](std::uint8_t b) { return b == 0xFF; })
                    && ((*h)[1] != day.day() || (*h)[2] != day.month() || 2000 + (*h)[3] != day.year())) {
                    end = c;
                    break;
                }
                if (size == 0)
                    fail(kMsgNoEnd);
                c = std::uint16_t((c - 1) % size);
                if (c == *start)
                    fail(kMsgNoEnd);
            }
        }

        s.host.setStatus(LoadResString(170));
        s.exchange(meter::MakeArcCommand(s.ctx, 4, *end, meter::ArcUse::Report));
        s.host.setStatus(LoadResString(171));
        s.exchange(meter::MakeArcCommand(s.ctx, 3, *start, meter::ArcUse::Report));
        s.host.setStatus(LoadResString(172));
        s.exchangeOnce(meter::MakeArcCommand(s.ctx, 5, std::uint16_t(report.contour + (hourly ? 0x100 : 0)),
                                             meter::ArcUse::Report));

        // Reception ends when the user stops it; the status is refreshed a few times a second.
        using Clock = std::chrono::steady_clock;
        Clock::time_point shown{};
        const QString receivedText = LoadResString(173);
        const qsizetype limit = std::max<qsizetype>(1, p.reportBufferLimit);
        bool tooLong = false;
        char chunk[4096];
        while (s.stop().load() != kStopAsked) {
            // One byte waits up to the answer timeout, so a stop is seen that often; what is
            // queued behind it is taken at once.
            if (s.port.Read(1, chunk) != 1)
                continue;
            int more = 0;
            if (::ioctl(s.port.handle(), FIONREAD, &more) == 0 && more > 0)
                more = s.port.Read(std::min<int>(more, int(sizeof chunk) - 1), chunk + 1);
            const qsizetype got = 1 + std::max(0, more);
            if (buffer.size() + got > limit) {
                buffer.append(chunk, limit - buffer.size());
                tooLong = true;
                break;
            }
            if (buffer.capacity() - buffer.size() < got + 2)
                buffer.reserve(std::min(std::max(buffer.capacity() * 2, buffer.size() + got + 2), limit));
            buffer.append(chunk, got);
            const Clock::time_point now = Clock::now();
            if (now - shown >= std::chrono::milliseconds(100)) {
                shown = now;
                s.host.setStatus(fmt::text(receivedText, unsigned(buffer.size())));
                s.host.setCounts(buffer.size(), 0, CountUnit::Bytes);
            }
        }
        s.host.setStatus(fmt::text(receivedText, unsigned(buffer.size())));
        p.reportBytes = buffer;
        if (tooLong)
            fail(kMsgOutOfMemory);
        if (!buffer.isEmpty()) {
            if (s.acc.m_reportText.setData(buffer) != 0)
                fail(kMsgOutOfMemory);
        }
    });
}

// ---- Set Date and Time -----------------------------------------------------------------------

int runSetDateTime(CommThreadParams& p)
{
    return runWorker(p, 203, [&p](Session& s) {
        s.host.setStatus(LoadResString(205));
        s.open();
        s.checkSerial();
        s.checkStop();
        s.host.setStatus(LoadResString(206));
        const meter::Request request = meter::MakeSetClock(s.ctx, p.when);
        bool corrupted = false;
        for (int attempt = 0; attempt < s.retries(); ++attempt) {
            s.checkStop();
            s.port.Write(request.bytes);
            const QByteArray reply = s.port.Read(int(request.replyLength));
            counted(p, request, reply);
            if (reply.isEmpty())
                continue;
            if (clockReplyAccepted(reply)) {
                meter::ReplyAddress(s.ctx, reply);
                return;
            }
            s.port.DiscardReplyRest();
            corrupted = true;
        }
        fail(corrupted ? kMsgDataCorrupted : kMsgNoAnswer);
    });
}

int runOperation(int kind, CommThreadParams& params)
{
    switch (kind) {
    case kOpGetArchive:
        return runGetArchive(params);
    case kOpGetReport:
        return runGetReport(params);
    case kOpGetConfig:
        return runGetConfig(params);
    case kOpSetDateTime:
        return runSetDateTime(params);
    default:
        break;
    }
    params.result = 1;
    return 1;
}

int mergeRecords(CommThreadParams& params)
{
    if (!params.account || params.records.empty())
        return 0;
    CDevData& acc = *params.account;
    acc.UpdateLastConnectDate(params.started);
    int replaced = 0;
    for (const sctArcZap& r : params.records)
        replaced += acc.m_records.add(r, params.overwrite != 0);
    acc.m_records.sort();
    return replaced;
}

} // namespace comm
