#pragma once

#include <cstdint>
#include <memory>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include "tools/metersim/MeterArchive.h"
#include "tools/metersim/MeterRequest.h"
#include "tools/metersim/MeterSetup.h"

// The simulated meter: one reply for each request frame it reads, nothing for a frame that fails
// its check or names another meter. Replies carry the meter's own address. After sub-command 5
// it prints its report, which the line takes from it piece by piece.
namespace metersim {

class Meter
{
public:
    // Loads the configuration and archive files the setup names; nothing, with `error` set,
    // when one cannot be used.
    static std::unique_ptr<Meter> create(const MeterSetup& setup, const QDateTime& now, QString* error);

    Meter(const MeterSetup& setup, const QDateTime& now);

    // The reply to one frame (':' up to its line end); empty: the meter stays silent. `note`
    // gets a word for the log about what the meter did.
    QByteArray answer(QByteArrayView frame, QString* note = nullptr);
    QByteArray answer(const MeterRequest& request, QString* note = nullptr);

    bool printing() const { return m_reportPos < m_report.size(); }
    // Up to `max` further bytes of the report being printed.
    QByteArray takeReport(qsizetype max);
    void stopPrinting();

    // The meter's clock: the computer's, moved by the last clock setting.
    QDateTime clock() const;
    std::uint16_t paramWord(int index) const;
    const MeterSetup& setup() const { return m_setup; }
    MeterArchive& archive() { return m_archive; }
    // The configuration memory as Get Config reads it, and the configuration archive.
    QByteArray configuration() const { return m_file1.first(m_cfgSize); }
    const QByteArray& configurationArchive() const { return m_cfgArchive; }
    // Replaces the configuration memory (its length is the configuration size).
    bool setConfiguration(const QByteArray& bytes, bool builtIn, QString* error);

private:
    QByteArray reply(std::uint8_t function, const QByteArray& data) const;
    QByteArray readRegister(const MeterRequest& r, QString* note);
    QByteArray readParam(const MeterRequest& r, QString* note);
    QByteArray readFile(const MeterRequest& r, QString* note);
    QByteArray archiveCommand(const MeterRequest& r, QString* note);
    QByteArray findByDate(const MeterRequest& r, QString* note);
    QByteArray setClock(const MeterRequest& r, QString* note);
    QByteArray archiveReply(ArchiveKind kind, int number, bool extension) const;
    QByteArray contourReply(ArchiveKind kind, int number, int contour) const;
    QByteArray reportText(int contour, bool hourly) const;
    void buildConfigurationArchive();

    MeterSetup m_setup;
    MeterArchive m_archive;
    QByteArray m_file1; // file 1: the configuration memory, padded to the registers read from it
    qsizetype m_cfgSize = 0;
    QByteArray m_cfgArchive; // file 5
    qint64 m_clockOffset = 0; // seconds
    std::uint16_t m_reportStart = 1;
    std::uint16_t m_reportEnd = 1;
    bool m_settingUpReport = false; // after sub-command 4, sub-command 3 sets the report start
    QByteArray m_reportFile; // printed instead of the generated text, when given
    QByteArray m_report;
    qsizetype m_reportPos = 0;
};

// Gcal readings of a loaded archive file, whatever units the file was written in.
void toGcal(sctArcZap& record, std::uint8_t energyUnits);

} // namespace metersim
