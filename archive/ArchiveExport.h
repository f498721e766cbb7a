#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"
#include "base/MessageBox.h"

// Export of an account's archive to a file the user chose: a copy of its archive file or a CSV
// table. Nothing here shows a message; the command shows the one the result carries.
namespace archive {

enum class ExportType { ArchiveCopy, Csv, NotSupported };

// By the chosen file's extension in any letter case: "tsa", "csv", anything else.
ExportType exportTypeOf(const QString& path);

// A CSV field as RFC 4180 has it: in double quotes, inner quotes doubled, when it holds a comma,
// a double quote or a line break; otherwise unchanged.
QByteArray csvField(QByteArrayView field);

// One CSV data line with its CR LF, empty for a record whose stamp is no calendar date and
// time. Cumulative readings (X + pre_X) in the Q and M columns, "0" for the masses of a contour
// of Formula 3 or 8 in Archive Version 1.
QByteArray csvLine(const ArchiveParams& params, const sctArcZap& record);

// The header line and a line per valid record, windows-1251 with CR LF.
QByteArray csvBytes(const ArchiveParams& params, const ArchiveRecordList& records);

// Atomic writes; on failure `error` gets the system's text and the target is left as it was.
bool writeCsvFile(const QString& path, const ArchiveParams& params, const ArchiveRecordList& records,
                  QString* error = nullptr);
bool copyArchiveFile(const QString& from, const QString& to, QString* error = nullptr);

struct ExportResult
{
    enum class Status { Exported, Failed, NotSupported };
    Status status = Status::Failed;
    // The message the command shows, and its icon.
    QString message;
    MbIcon icon = MbIcon::Error;
};

// Exports to `target` by its extension: "tsa" copies `archiveFile` (the account's own file) byte
// for byte, "csv" writes the table from `params` and `records`, any other extension writes
// nothing. Exported: string 198, information; failed: string 197 followed by the system's text,
// error; other: "Not supported", warning.
ExportResult exportArchive(const QString& archiveFile, const ArchiveParams& params, const ArchiveRecordList& records,
                           const QString& target);

} // namespace archive
