#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "archive/ArchiveRecord.h"

// Everything that makes one simulated meter: what it reports about itself, its configuration
// memory and how long its archives are. Filled from the defaults, then a meter file, then options.
namespace metersim {

struct MeterSetup
{
    std::uint16_t serial = 12345;
    std::uint8_t address = 0x01;
    // Parameter words of function 66 by number; 9, 10 and 14 are set from days, months and the
    // configuration archive below.
    std::array<std::uint16_t, 16> params{ 15, 6, 2, 2048, 0x1A05, 0x0102, 1, 0xBEEF, 255, 0, 0, 0xFFFF, 0xFFFF, 0 };
    std::array<std::uint8_t, 3> formula{ 1, 2, 0 };

    int hours = 2048; // hourly records that hold data, newest first
    int days = 45;
    int months = 12;
    std::set<int> emptyHours; // hourly record numbers the meter was off
    // Hourly record numbers whose per-contour block of contour 2 names contour 3, as a firmware
    // fault would; the block's check is still right.
    std::set<int> wrongContourHours;

    // Values that live in the configuration memory. Unset: the built-in memory takes a default,
    // a memory loaded from a file keeps its own bytes.
    std::optional<std::uint8_t> energyUnits;
    std::optional<float> tCold;
    std::optional<std::array<bool, 3>> pressure;

    QString cfgFile; // the configuration memory as raw bytes; empty: built in
    int cfgArchive = 3;
    QString tsaFile; // hourly records to serve instead of generated ones
    QString reportFile; // the bytes printed for a report instead of a generated text
    QDateTime clock; // the meter's clock at start; invalid: the computer's

    // The consumer texts of the built-in memory (windows-1251 there).
    QString consumer = QStringLiteral("Heating plant No. 4");
    QString phone = QStringLiteral("5550143");
    QString consumerId = QStringLiteral("TS-0004-0001");
    QString addressText = QStringLiteral("12 Boiler Street");
    QString contact = QStringLiteral("Duty engineer");

    std::uint16_t protVersion() const { return params[0]; }
    std::uint16_t archiveVersion() const { return params[1]; }
    std::uint16_t numSys() const { return params[2]; }
    std::uint16_t archiveSize() const { return params[3]; }
    std::uint16_t softVersion() const { return params[4]; }
    std::uint16_t buildVersion() const { return params[5]; }
};

// Sets one value by its meter-file key (letter case ignored). False with `error` set when the
// key is unknown or the value does not fit it. Relative file names are taken from `baseDir`.
bool applySetting(MeterSetup& setup, const QString& key, const QString& value, const QString& baseDir, QString* error);

// A meter file: "key = value" lines, '#' or ';' comments, section headers ignored.
bool loadMeterFile(MeterSetup& setup, const QString& path, QString* error);

// The keys and their meaning, for --help.
const char* meterFileKeys();

// A network address as frames and meter files write it: two upper-case hexadecimal digits.
QString hexAddress(std::uint8_t address);

// A number as written by a user: decimal, or hexadecimal after "0x".
std::optional<std::uint32_t> parseNumber(const QString& text, std::uint32_t max);

} // namespace metersim
