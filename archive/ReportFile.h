#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Report files (".tsr") hold the report text exactly as built or received: no header, no
// conversion, nothing before or after it.
namespace reportfile {

// Anything larger is not a report; refusing it keeps a wrong file from exhausting memory.
constexpr qint64 kMaxReportFileSize = 64 * 1024 * 1024;

// Reads the whole file into `bytes`; false with the system's text in `error` on failure.
bool load(const QString& path, QByteArray& bytes, QString* error = nullptr);

// Writes the bytes through a temporary file beside the target, so a failed write leaves the
// previous file as it was.
bool save(const QString& path, QByteArrayView bytes, QString* error = nullptr);

} // namespace reportfile
