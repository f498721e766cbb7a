#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"
#include "archive/DayMonRecord.h"
#include "archive/ReportColumns.h"

// The hourly and daily report of one contour, built from an account's records as plain values.
// The document (app/) gathers the inputs: the account's list and parameter block, its header
// texts and flags, and for a daily report the database's daily rows between start and end,
// fetched from storage before the call. The builder shows its own messages through MessageBox
// and never touches storage or the account.
//
// Typical use by the document command:
//   auto d = archive::reportDialogDefaults(account.m_records, QDate::currentDate());
//   ... dialog returns kind, contour, first and last date ...
//   ReportRequest req = archive::makeReportRequest(kind, contour, first, last);
//   rows = database daily rows from req.start to req.end (daily only; a failed query gives none)
//   ReportResult r = archive::buildReport(input);
//   if (r.outcome == ReportOutcome::Built) store r.state.text as the account's report text.
namespace archive {

// The five customer texts of the account that replace those of the parameter block when the
// account asks for it.
struct ReportHeaderTexts
{
    QString consumer;
    QString telephone;
    QString subscriber;
    QString address;
    QString person;
};

struct ReportAccount
{
    int deviceType = 0; // 1-based: 1 and 3 have their own names, any other prints as type 2
    ArchiveParams params;
    std::array<bool, 3> printVolumes{};
    bool useAccountForHeader = false;
    ReportHeaderTexts header;
};

struct ReportRequest
{
    ReportKind kind = ReportKind::Hourly;
    int contour = 0; // 0..2
    QDateTime start; // 00:00 of the first day; an hourly report uses its date only
    QDateTime end; // 00:00 of the day after the last day (daily) or after start (hourly)
};

struct ReportFooter
{
    QString programName; // empty: the product name of the build
    QString version; // empty: the version of the build
    QDate today; // invalid: today's date in UTC
};

struct ReportInput
{
    const ArchiveRecordList* records = nullptr; // sorted; null counts as no records
    ReportAccount account;
    ReportRequest request;
    // The database's daily rows between start and end in query order (daily reports only).
    std::vector<DayMonRow> dailyRows;
    // Number of daily rows the database holds for the meter; -1: dailyRows.size().
    int dailyRowCount = -1;
    ReportFooter footer;
};

struct ReportAverages
{
    float tSupply = 0.0f; // mass-weighted
    float tReturn = 0.0f;
    float pSupply = 0.0f;
    float pReturn = 0.0f;
};

struct ReportState
{
    ReportKind kind = ReportKind::Hourly;
    int contour = 0;
    QDateTime start;
    QDateTime end;
    std::vector<TwoZap> rows;
    QList<_columnRep> columns;
    ReportAverages averages;
    // Minutes with G<Gmin, G>Gmax and dt<dtmin over all rows.
    std::uint32_t Tmin = 0;
    std::uint32_t Tmax = 0;
    std::uint32_t Tdt = 0;
    QByteArray text; // IBM866 with printer control codes
};

enum class ReportOutcome {
    Built, // the text is the whole report
    NoData, // no records (and no daily rows): message 158, no text
    UnknownFormula, // no text
    EmptyInterval, // no rows: the text holds the header only
};

struct ReportResult
{
    ReportOutcome outcome = ReportOutcome::NoData;
    ReportState state;
};

// Defaults of the report settings dialog: the dates of the earliest and the latest record, or
// 01/01/2000 and today for an account without records.
struct ReportDialogDefaults
{
    QDate start;
    QDate end;
};
ReportDialogDefaults reportDialogDefaults(const ArchiveRecordList& records, const QDate& today);

// Start and end as the builder wants them from the dates chosen in the dialog.
ReportRequest makeReportRequest(ReportKind kind, int contour, const QDate& first, const QDate& last);

ReportResult buildReport(const ReportInput& input);

} // namespace archive
