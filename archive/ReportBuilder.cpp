#include "archive/ReportBuilder.h"

namespace archive {

ReportDialogDefaults reportDialogDefaults(const ArchiveRecordList& records, const QDate& today)
{
    ReportDialogDefaults d{QDate(2000, 1, 1), today};
    if (records.isEmpty())
        return d;
    const RecordStamp first = records.earliestStamp();
    const RecordStamp last = records.latestStamp();
    const QDate a(2000 + first.year, first.month, first.day);
    const QDate b(2000 + last.year, last.month, last.day);
    if (a.isValid())
        d.start = a;
    if (b.isValid())
        d.end = b;
    return d;
}

ReportRequest makeReportRequest(ReportKind kind, int contour, const QDate& first, const QDate& last)
{
    ReportRequest r;
    r.kind = kind;
    r.contour = contour;
    r.start = QDateTime(first, QTime(0, 0));
    r.end = QDateTime((kind == ReportKind::Daily ? last : first).addDays(1), QTime(0, 0));
    return r;
}

ReportResult buildReport(const ReportInput& input)
{
    ReportResult result;
    result.state.kind = input.request.kind;
    result.state.contour = input.request.contour;
    result.state.start = input.request.start;
    result.state.end = input.request.end;
    return result;
}

} // namespace archive
