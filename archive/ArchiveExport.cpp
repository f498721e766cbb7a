#include "ArchiveExport.h"

#include <cstring>
#include <limits>

#include <QFile>
#include <QFileInfo>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"
#include "base/AtomicFile.h"
#include "base/DateUtil.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace archive {

namespace {

constexpr qsizetype kBlock = qsizetype(1) << 20;

// 62 fields of at most 48 characters (a float widened to double in "%f"), each quoted at worst,
// and room for the longest "%f" of a double at any position.
constexpr std::size_t kMaxCsvLine = 62 * (2 * 48 + 4) + text::kMaxFixed;

bool needsQuotes(const char* begin, const char* end)
{
    for (const char* c = begin; c != end; ++c) {
        if (*c == ',' || *c == '"' || *c == '\r' || *c == '\n')
            return true;
    }
    return false;
}

// Quotes the field written at [start, p) in place when it has to be; returns its new end.
char* closeField(char* start, char* p)
{
    if (!needsQuotes(start, p))
        return p;
    const QByteArray quoted = csvField(QByteArrayView(start, p - start));
    std::memcpy(start, quoted.constData(), std::size_t(quoted.size()));
    return start + quoted.size();
}

char* putSep(char* p)
{
    *p++ = ',';
    *p++ = ' ';
    return p;
}

char* putFixedField(char* p, float v)
{
    return closeField(p, text::putFixed(p, double(v)));
}

template <std::size_t N> char* putFixedList(char* p, const std::array<float, N>& values)
{
    for (float v : values)
        p = putSep(putFixedField(p, v));
    return p;
}

template <std::size_t N> char* putUnsignedList(char* p, const std::array<std::uint8_t, N>& values)
{
    for (std::uint8_t v : values)
        p = putSep(text::putUnsigned(p, v));
    return p;
}

bool isValidRecordStamp(const sctArcZap& r)
{
    return dateutil::isValidStamp(fullYear(r), r.month, r.day, r.hour, r.minute);
}

// Archive Version 1 meters report no masses for the contours of these two formulas.
bool massesHidden(const ArchiveParams& params, int channel)
{
    if (params.ArchiveVersion != 1)
        return false;
    const std::uint8_t formula = params.Formula[std::size_t(channel / 2)];
    return formula == 3 || formula == 8;
}

// Appends the line of a valid record; nothing for any other.
void appendCsvLine(QByteArray& out, const ArchiveParams& params, const sctArcZap& r)
{
    if (!isValidRecordStamp(r))
        return;
    char buf[kMaxCsvLine];
    char* p = buf;
    p = text::putUnsigned(p, r.day, 2);
    *p++ = '/';
    p = text::putUnsigned(p, r.month, 2);
    *p++ = '/';
    p = text::putUnsigned(p, r.year, 2);
    *p++ = ' ';
    p = text::putUnsigned(p, r.hour, 2);
    *p++ = ':';
    p = putSep(text::putUnsigned(p, r.minute, 2));
    for (int c = 0; c < kContours; ++c)
        p = putSep(putFixedField(p, cumulativeQ(r, c)));
    for (int ch = 0; ch < kChannels; ++ch) {
        if (massesHidden(params, ch))
            *p++ = '0';
        else
            p = putFixedField(p, cumulativeM(r, ch));
        p = putSep(p);
    }
    p = putFixedList(p, r.t);
    p = putFixedList(p, r.p);
    for (std::uint32_t minutes : r.T) {
        p = text::putUnsigned(p, minutes / 60);
        *p++ = ':';
        p = putSep(text::putUnsigned(p, minutes % 60, 2));
    }
    for (std::uint32_t err : r.Err)
        p = putSep(text::putHex(p, err, 8));
    p = putSep(text::putUnsigned(p, r.Nstart));
    *p++ = '0';
    *p++ = 'x';
    p = putSep(text::putHex(p, r.Event));
    p = putUnsignedList(p, r.Tfmn);
    p = putUnsignedList(p, r.Tfmx);
    p = putUnsignedList(p, r.Tdtm);
    p = putFixedList(p, r.pre_Q);
    p = putFixedList(p, r.pre_M);
    p = putFixedList(p, r.V);
    p = putFixedList(p, r.pre_V);
    p = putSep(putFixedField(p, r.t_cold));
    p = putFixedField(p, r.t_amb);
    *p++ = '\r';
    *p++ = '\n';
    out.append(buf, p - buf);
}

template <typename Flush>
bool generateCsv(QByteArray& out, const ArchiveParams& params, const ArchiveRecordList& records, qsizetype block,
                 Flush flush)
{
    out.append(columnHeader());
    out.append("\r\n");
    for (const sctArcZap& r : records) {
        appendCsvLine(out, params, r);
        if (out.size() >= block) {
            if (!flush(out))
                return false;
            out.resize(0);
        }
    }
    return flush(out);
}

} // namespace

ExportType exportTypeOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(u"tsa"_s, Qt::CaseInsensitive) == 0)
        return ExportType::ArchiveCopy;
    if (suffix.compare(u"csv"_s, Qt::CaseInsensitive) == 0)
        return ExportType::Csv;
    return ExportType::NotSupported;
}

QByteArray csvField(QByteArrayView field)
{
    if (!needsQuotes(field.data(), field.data() + field.size()))
        return field.toByteArray();
    QByteArray out;
    out.reserve(field.size() + 8);
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

QByteArray csvLine(const ArchiveParams& params, const sctArcZap& record)
{
    QByteArray out;
    appendCsvLine(out, params, record);
    return out;
}

QByteArray csvBytes(const ArchiveParams& params, const ArchiveRecordList& records)
{
    QByteArray out;
    out.reserve(1024 + qsizetype(records.size()) * 560);
    generateCsv(out, params, records, std::numeric_limits<qsizetype>::max(), [](const QByteArray&) { return true; });
    return out;
}

bool writeCsvFile(const QString& path, const ArchiveParams& params, const ArchiveRecordList& records, QString* error)
{
    AtomicFile file(path);
    bool ok = file.open();
    if (ok) {
        QByteArray block;
        block.reserve(kBlock + qsizetype(kMaxCsvLine));
        ok = generateCsv(block, params, records, kBlock, [&](const QByteArray& b) { return file.write(b); });
        ok = file.commit() && ok;
    }
    if (!ok && error != nullptr)
        *error = file.errorString();
    return ok;
}

bool copyArchiveFile(const QString& from, const QString& to, QString* error)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        if (error != nullptr)
            *error = source.errorString();
        return false;
    }
    AtomicFile target(to);
    bool ok = target.open();
    while (ok) {
        const QByteArray block = source.read(kBlock);
        if (source.error() != QFileDevice::NoError) {
            if (error != nullptr)
                *error = source.errorString();
            return false; // the target is discarded unwritten
        }
        if (block.isEmpty())
            break;
        ok = target.write(block);
    }
    ok = target.commit() && ok;
    if (!ok && error != nullptr)
        *error = target.errorString();
    return ok;
}

ExportResult exportArchive(const QString& archiveFile, const ArchiveParams& params, const ArchiveRecordList& records,
                           const QString& target)
{
    using Status = ExportResult::Status;
    QString error;
    bool ok = false;
    switch (exportTypeOf(target)) {
    case ExportType::ArchiveCopy:
        ok = copyArchiveFile(archiveFile, target, &error);
        break;
    case ExportType::Csv:
        ok = writeCsvFile(target, params, records, &error);
        break;
    case ExportType::NotSupported:
        return { Status::NotSupported, u"Not supported"_s, MbIcon::Warning };
    }
    if (ok)
        return { Status::Exported, LoadResString(198, u"Archive exported"_s), MbIcon::Information };
    return { Status::Failed, LoadResString(197, u"Archive export failed:\n"_s) + error, MbIcon::Error };
}

} // namespace archive
