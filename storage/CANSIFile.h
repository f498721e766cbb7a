#pragma once

#include <memory>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringView>

class AtomicFile;

// An 8-bit text file in windows-1251, the program's format for exported and hand-edited text.
// Written files behave as the Windows text mode did ("\n" becomes CR LF) and reach the disk
// only on close(); reading accepts CR LF, LF and CR and never returns an empty line.
class CANSIFile
{
public:
    enum class Mode { Read, Write };

    CANSIFile();
    ~CANSIFile(); // a written file that was not closed is discarded
    CANSIFile(const CANSIFile&) = delete;
    CANSIFile& operator=(const CANSIFile&) = delete;

    // Write replaces any file of that name, but only when close() succeeds.
    bool open(const QString& path, Mode mode);
    bool isOpen() const;

    // Converts to windows-1251 and writes; each "\n" is written as CR LF.
    bool write(QStringView text);

    // The next non-empty line without its line break; false when no line is left (or on a
    // read error, see failed()).
    bool readLine(QString& line);
    bool failed() const { return m_failed; }

    // Ends reading, or puts the written file in place.
    bool close();
    QString errorString() const;

private:
    bool fill();

    std::unique_ptr<AtomicFile> m_out;
    QFile m_in;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_eof = false;
    bool m_failed = false;
    QString m_error;
};
