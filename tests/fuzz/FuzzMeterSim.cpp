// Arbitrary bytes on the simulator's line: the frame splitter, the request parser, the meter's
// answers and the modem's command reader must take them without a crash or unbounded growth.
#include <cstdint>
#include <memory>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include "tools/metersim/HayesModem.h"
#include "tools/metersim/Meter.h"
#include "tools/metersim/MeterRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QDateTime now(QDate(2026, 3, 10), QTime(14, 0));
    static metersim::MeterSetup setup = [] {
        metersim::MeterSetup s;
        s.hours = 50;
        s.emptyHours = { 3 };
        return s;
    }();
    // A fresh meter each run, so that no state carries over between inputs; copied from one
    // built once, as building its configuration memory and archive is most of a short run.
    static const metersim::Meter prototype(setup, now);
    metersim::Meter meter = prototype;
    metersim::FrameSplitter splitter;
    metersim::HayesModem modem;

    const QByteArray copy(reinterpret_cast<const char*>(data), qsizetype(size));
    std::int64_t t = 0;
    qsizetype out = 0;
    for (const char c : copy) {
        if (splitter.feed(c)) {
            out += meter.answer(splitter.frame()).size();
            while (meter.printing())
                out += meter.takeReport(4096).size();
        }
        modem.fromLine(c, t += metersim::HayesModem::kSecond / 4);
        modem.tick(t);
        out += modem.takeForLine().size() + modem.takeForMeter().size();
    }
    // The whole input as one frame too, wherever its line end is.
    if (const auto request = metersim::parseRequest(copy))
        out += meter.answer(*request).size();
    return out < 0 ? 1 : 0;
}
