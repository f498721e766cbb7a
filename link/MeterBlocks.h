#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QByteArrayView>

#include "archive/ArchiveRecord.h"
#include "archive/DayMonRecord.h"

// The data blocks inside the meter's replies (ReplyData), big-endian on the wire except the
// per-contour block. A short block is decoded field by field as far as it reaches; a field whose
// bytes did not all arrive keeps its value.
namespace meter {

inline constexpr qsizetype kBlockSize = 128;
inline constexpr qsizetype kContourBlockMin = 104;

enum class BlockStatus {
    Good,
    Empty, // hour, day, month and year all 0xFF; no check is made
    BadCrc,
    Short, // fewer than 128 bytes: never stored
};

// Sub-commands 0, 7 and 11: the archive block into the record, and whether it may be stored.
BlockStatus DecodeArchiveBlock(QByteArrayView block, sctArcZap& record);
// Sub-commands 3/6, 10 and 14. True when the whole block was there.
bool DecodeExtensionBlock(QByteArrayView block, sctArcZap& record);

// The head reply of sub-commands 2, 9 and 13: hour, day, month, year, when all four arrived.
std::optional<std::array<std::uint8_t, 4>> DecodeRecordHead(QByteArrayView data);
bool IsEmptyHead(const std::array<std::uint8_t, 4>& head);

// Daily and monthly records: both blocks with every number turned little-endian in place.
// Bytes that did not arrive stay zero.
u_data_daymon_full DayMonFromBlocks(QByteArrayView archiveBlock, QByteArrayView extensionBlock);

// Sub-commands 15..23: the header of a per-contour block and whether it may be used.
struct ContourBlock
{
    std::uint32_t length = 0;
    std::uint32_t contour = 0;
    bool empty = false; // time stamp bytes 8..11 all 0xFF
    bool valid = false; // length in 104..received, CRC-16/MODBUS 0, the contour asked for
};
ContourBlock CheckContourBlock(QByteArrayView block, int expectedContour);
// The three contours' blocks belong to one record when their stamp bytes 8..14 agree.
bool SameContourStamp(QByteArrayView a, QByteArrayView b);

// Older firmware (Soft Version below 0x1800) counts archive years from 2020 in the low years.
void FixOldFirmwareYear(sctArcZap& record, std::uint16_t softVersion);
// The meter sends energy in Gcal; an account in kW*h or GJ multiplies by this (1 for Gcal).
double EnergyFactor(std::uint8_t energyUnits);
void ConvertEnergy(sctArcZap& record, std::uint8_t energyUnits);

// File records of function 14, given the register bytes (FileRegisterData).
std::optional<float> TColdFromFile(QByteArrayView data, std::uint16_t softVersion);
std::optional<std::uint8_t> EnergyUnitsFromFile(QByteArrayView data);
// Sets Pressure of each contour whose four values arrived; returns how many did.
int PressureFromFile(QByteArrayView data, ArchiveParams& params);
std::optional<std::uint16_t> ConfigSizeFromFile(QByteArrayView data, std::uint16_t softVersion);

} // namespace meter
