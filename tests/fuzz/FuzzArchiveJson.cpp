// Any archive record as scripts get it from `show-archive --json`: the document written must read
// back as JSON, every finite value exactly as written and every NaN or infinity as null (the
// writer cannot spell them), and a sound stamp as the same moment in ISO 8601.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>

#include "app/ArchiveListColumns.h"
#include "archive/ArchiveRecord.h"

namespace {

using namespace Qt::Literals::StringLiterals;

void sameValue(const QJsonValue& written, const QJsonValue& read)
{
    if (written.isDouble()) {
        const double d = written.toDouble();
        if (std::isfinite(d) ? !(read.isDouble() && read.toDouble() == d) : !read.isNull())
            std::abort();
    } else if (written != read) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    ArchiveParams params;
    params.ArchiveVersion = 1 + (data[0] & 1);
    params.Formula = { std::uint8_t(data[1] % 11), std::uint8_t(data[1] / 11 % 11), 8 };
    // Every field from the input's bytes, padding aside: any floats, any stamp.
    sctArcZap r;
    std::uint8_t bytes[sizeof r] = {};
    std::memcpy(bytes, data + 2, std::min(size - 2, sizeof bytes));
    std::memcpy(&r, bytes, sizeof r);

    const QJsonObject written = archivelist::toJson(params, r);
    const QByteArray text = QJsonDocument(written).toJson(data[0] & 2 ? QJsonDocument::Compact : QJsonDocument::Indented);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        std::abort();
    const QJsonObject read = document.object();
    if (read.keys() != written.keys())
        std::abort();
    for (auto it = written.begin(); it != written.end(); ++it) {
        const QJsonValue back = read.value(it.key());
        if (it->isArray()) {
            const QJsonArray a = it->toArray();
            const QJsonArray b = back.toArray();
            if (!back.isArray() || a.size() != b.size())
                std::abort();
            for (qsizetype i = 0; i < a.size(); ++i)
                sameValue(a.at(i), b.at(i));
        } else {
            sameValue(*it, back);
        }
    }

    // Date and time apart, so that no daylight-saving hole of the machine's zone moves them.
    const QDate date(archive::fullYear(r), r.month, r.day);
    if (date.isValid() && r.hour < 24 && r.minute < 60) {
        const QString time = read.value(u"time"_s).toString();
        if (time.size() != 19 || time.at(10) != u'T' || QDate::fromString(time.left(10), Qt::ISODate) != date
            || QTime::fromString(time.mid(11), Qt::ISODate) != QTime(r.hour, r.minute))
            std::abort();
    }
    return 0;
}
