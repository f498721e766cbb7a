#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>

// A Hayes modem between the line and the meter: AT commands until a dialled connection is up,
// then the bytes pass both ways until "+++" (with a second of silence before and after) brings
// the commands back. Times are nanoseconds on any steady clock.
namespace metersim {

enum class DialFailure { None, Busy, NoCarrier, Silent };

class HayesModem
{
public:
    static constexpr std::int64_t kSecond = 1000000000;

    struct Options
    {
        DialFailure failure = DialFailure::None;
        std::int64_t connectDelay = kSecond / 4;
        std::int64_t guardTime = kSecond;
    };

    HayesModem();
    explicit HayesModem(Options options);

    // A byte from the computer, arriving at time t.
    void fromLine(char c, std::int64_t t);
    // Timers: the end of dialling, the silence after "+++".
    void tick(std::int64_t t);
    std::optional<std::int64_t> nextDeadline() const;

    // Bytes for the computer, and bytes for the meter (only while connected).
    QByteArray takeForLine();
    QByteArray takeForMeter();
    // The meter's reply goes to the line only while the data connection is up.
    void fromMeter(QByteArrayView bytes);

    bool dataMode() const { return m_state == State::Data; }
    bool connected() const { return m_connected; }
    bool echo() const { return m_echo; }

private:
    enum class State { Command, Dialling, Data };

    void command(const QByteArray& line, std::int64_t t);
    void result(QByteArrayView word);

    Options m_options;
    State m_state = State::Command;
    bool m_echo = true;
    bool m_connected = false; // a carrier, in data mode or back in command mode after "+++"
    QByteArray m_line;
    QByteArray m_forLine;
    QByteArray m_forMeter;
    std::int64_t m_dialDone = 0;
    std::int64_t m_lastByte = -kSecond * 1000;
    int m_plus = 0; // '+' received after a guard time of silence
    std::int64_t m_plusAt = 0;
};

} // namespace metersim
