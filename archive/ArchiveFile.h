#pragma once

#include <cstdint>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"
#include "base/ResultCodes.h"

// The archive file (".tsa"): the parameter block between "<Config>" and "<Archive>", then a
// header line naming the columns and one line per record, floats as the hexadecimal text of
// their bits so that a record survives a write and a read unchanged. windows-1251, CR LF.
namespace archive {

// The header line of archive files and of the CSV export, 63 names, without a line end.
QByteArrayView columnHeader();

// A file larger than this is refused unread: an hourly archive of a hundred years is a
// twentieth of it, and a larger one would only be a way to exhaust memory.
inline constexpr qint64 kMaxArchiveFileSize = qint64(1) << 30;

// The whole file. "Serial Number" is always `serial`, whatever params.SerialNumber holds, so an
// account's file names its account even when the parameters came from elsewhere. Line breaks
// inside the text parameters are written as blanks: they would end the line and turn the rest
// of the text into a line of its own.
QByteArray archiveFileBytes(const ArchiveParams& params, const ArchiveRecordList& records, std::uint16_t serial);

// Writes the file atomically (the previous file stays as it was on any failure). A failure
// shows "Error in file: " and the path in an error box itself and returns false; `error` gets
// the system's text.
bool writeArchiveFile(const QString& path, const ArchiveParams& params, const ArchiveRecordList& records,
                      std::uint16_t serial, QString* error = nullptr);

// Reads an archive file into an account's parameters and records.
//
// With skipParams set, every line before "<Archive>" is passed over: params stay as they are and
// no serial number is compared (the import of a user's file). Otherwise the parameter lines are
// parsed, a "Serial Number" other than expectedSerial fails with string 118, and params take the
// file's values only once "<Archive>" is reached, so a rejected file leaves them untouched.
// Records are added without overwriting (the first of equal identities wins); the records'
// time span widens by the valid stamps the file holds.
//
// The reader shows its messages itself, in a message box through MessageBox, so the caller
// adds only its own message, if any:
//   empty file             "Файл пуст!"            E_FAIL
//   no "<Archive>" line    "Файл поврежден!"       E_FAIL
//   foreign serial number  string 118              E_FAIL
//   no header line         "Архив пуст!"           E_FAIL
//   header with no names   "Заголовок поврежден!"  S_OK, no records
// A file that cannot be opened or read (a missing one too) or is larger than
// kMaxArchiveFileSize shows nothing and gives E_FAIL. `message` gets the text shown, or the
// reason the file was not read; it is cleared on a quiet success.
HRESULT readArchiveFile(const QString& path, ArchiveParams& params, ArchiveRecordList& records, bool skipParams,
                        std::uint16_t expectedSerial, QString* message = nullptr);

// The same over bytes in memory.
HRESULT readArchiveBytes(QByteArrayView bytes, ArchiveParams& params, ArchiveRecordList& records, bool skipParams,
                         std::uint16_t expectedSerial, QString* message = nullptr);

} // namespace archive
