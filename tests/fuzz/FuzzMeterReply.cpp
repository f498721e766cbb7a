// Arbitrary bytes as a meter reply and as a bare data block: every reader must stay inside them.
#include <cstdint>

#include <QByteArray>
#include <QByteArrayView>

#include "link/MeterBlocks.h"
#include "link/MeterFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly the input, so that the sanitizer sees any read past its end.
    const QByteArray copy(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArrayView reply(copy);

    MeterContext ctx;
    int sink = meter::CheckReply(reply);
    sink += meter::ReplyByteCount(reply) + meter::FileReplyByteCount(reply) + meter::ReplyAddress(ctx, reply);
    sink += meter::ReplyWord(reply).value_or(0);
    const QByteArray fromReply = meter::ReplyData(reply);
    const QByteArray fromFile = meter::FileRegisterData(reply);
    sink += int(meter::FileReplyData(reply).size());

    ArchiveParams params;
    for (const QByteArrayView block : { QByteArrayView(fromReply), QByteArrayView(fromFile), reply }) {
        sctArcZap record;
        sink += int(meter::DecodeArchiveBlock(block, record));
        sink += meter::DecodeExtensionBlock(block, record) ? 1 : 0;
        meter::FixOldFirmwareYear(record, 0x1700);
        meter::ConvertEnergy(record, 0);
        sink += meter::DecodeRecordHead(block).has_value() ? 1 : 0;
        sink += meter::DayMonFromBlocks(block, block).bytes[255];
        sink += meter::DayMonFromBlocks(block, reply).bytes[127];
        const meter::ContourBlock c = meter::CheckContourBlock(block, 0);
        sink += c.valid ? 1 : 0;
        sink += meter::SameContourStamp(block, reply) ? 1 : 0;
        sink += meter::TColdFromFile(block, 0x1000).has_value() ? 1 : 0;
        sink += meter::EnergyUnitsFromFile(block).value_or(0);
        sink += meter::PressureFromFile(block, params);
        sink += meter::ConfigSizeFromFile(block, 0x0900).value_or(0);
        sink += meter::DataWord(block, 0).value_or(0);
    }
    return sink == 0x7FFFFFFF ? 1 : 0;
}
