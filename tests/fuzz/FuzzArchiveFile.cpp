// The bytes as an archive file, read with or without the parameters. Whatever was read must
// survive a write and a second read unchanged, and reading the same bytes again adds nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QByteArrayView>

#include "archive/ArchiveFile.h"
#include "base/MessageBox.h"

namespace {

class Silent : public MessageBoxBackend
{
public:
    MbAnswer show(const MessageRequest& request) override { return request.defaultAnswer(); }
};

bool sameFileFields(const sctArcZap& a, const sctArcZap& b, bool compareTCold)
{
    sctArcZap x = a;
    sctArcZap y = b;
    // Only what the file carries; Archive Version 1 takes t_cold from the parameters instead.
    x.tail = y.tail = {};
    x.arcCrc = y.arcCrc = x.extCrc = y.extCrc = 0;
    if (!compareTCold)
        x.t_cold = y.t_cold = 0.0f;
#define SAME(f) (std::memcmp(&x.f, &y.f, sizeof x.f) == 0)
    return SAME(hour) && SAME(day) && SAME(month) && SAME(year) && SAME(minute) && SAME(Q) && SAME(M) && SAME(t)
        && SAME(p) && SAME(T) && SAME(Nstart) && SAME(Err) && SAME(Event) && SAME(Tfmn) && SAME(Tfmx) && SAME(Tdtm)
        && SAME(pre_Q) && SAME(pre_M) && SAME(V) && SAME(pre_V) && SAME(t_cold) && SAME(t_amb);
#undef SAME
}

void check(QByteArrayView bytes, bool skip)
{
    ArchiveParams params;
    ArchiveRecordList records;
    const std::uint16_t serial = 1234;
    archive::readArchiveBytes(bytes, params, records, skip, serial);

    const std::size_t n = records.size();
    archive::readArchiveBytes(bytes, params, records, skip, serial);
    if (records.size() != n)
        std::abort();

    const QByteArray written = archive::archiveFileBytes(params, records, params.SerialNumber);
    ArchiveParams params2;
    ArchiveRecordList again;
    if (archive::readArchiveBytes(written, params2, again, false, params.SerialNumber) != S_OK)
        std::abort();
    if (again.size() != n || params2.ArchiveVersion != params.ArchiveVersion)
        std::abort();
    for (std::size_t i = 0; i < n; ++i) {
        if (!sameFileFields(records[i], again[i], params.ArchiveVersion != 1))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScopedMessageBoxBackend quiet(std::make_shared<Silent>());
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The reader passes over the first line, so its first byte can pick the mode without
    // changing what is read; one mode per input halves the time of each.
    check(bytes, (data[0] & 1) != 0);
    return 0;
}
