#pragma once

#include <array>
#include <cstdint>

#include <QByteArray>

// The protocol state of one device operation: the address every request goes to and the
// parameter words read so far.
struct MeterContext
{
    static constexpr int kParamWords = 16;

    // Index = parameter number of function 66; words not read stay 0.
    std::array<std::uint16_t, kParamWords> params{};
    std::uint8_t address = 0;

    // The address as the two upper-case digits of every frame.
    QByteArray addressText() const;

    std::uint16_t protVersion() const { return params[0]; }
    std::uint16_t archiveVersion() const { return params[1]; }
    std::uint16_t softVersion() const { return params[4]; }
    std::uint16_t buildVersion() const { return params[5]; }
};
