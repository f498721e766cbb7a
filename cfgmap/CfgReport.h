#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

class CfgMgr;
class CfgSection;
class TextBlock;

// The configuration report (an IBM866 text with CR LF line ends and tab indentation) and the
// configuration file (".cfg": one "key.path=value" line per variable).
namespace cfgmap {

// Lines (line ends + 1) and the widest line in cells of a text; a TAB counts tabSize cells.
// CR LF and LF CR are one line end, any other CR or LF one each.
struct TextMeasure
{
    int lines = 0;
    int width = 0;
};
TextMeasure measureText(QByteArrayView text, int tabSize);

// Snapshots of at least this size carry their time stamp in the bytes from kStampOffset on:
// second, minute, hour, day, month, year - 2000.
constexpr qsizetype kStampedSize = 1022;
constexpr qsizetype kStampOffset = 1016;

// " (dd-mm-yyyy HH:MM:SS)" for a snapshot's stamp, the invalid-time text when it is no moment,
// empty for a snapshot too short to carry one.
QString snapshotTime(QByteArrayView snapshot);

// Shown when a decoding problem is reported; a Yes shows the log that explains it.
void askToShowLog(int stringId, const QString& log);

// CheckOverlaps and DecodeBlock with their messages. False when decoding stopped (overlaps, no
// variables, no memory); variables without a type are reported and decoding goes on.
bool decodeWithMessages(CfgMgr& map, QByteArrayView block, QString& log);

// The report lines of the tree: root variables unindented, then each section depth-first.
QByteArray reportBody(CfgMgr& map);

struct ReportSubject
{
    QString typeName; // display name of the account's device type
    int serial = 0;
    QByteArray current; // the account's configuration memory
    int tabSize = 8;
};

// Makes the report from the current configuration, or from `snapshot` when given. False with
// the message shown when no report was made; the previous text is kept only when the input was
// refused before decoding began.
bool BuildConfigurationReport(CfgMgr& map, const ReportSubject& subject, const QByteArray* snapshot, QString& log,
                              TextBlock& report, TextMeasure& measure);

// The file's bytes for a map whose variables hold the decoded values.
QByteArray configurationFileText(const CfgSection& root, const QDate& today);

// Writes the file atomically, so a failure leaves any previous file whole; false with
// "Failed to save file: " and the path shown.
bool writeConfigurationFile(const QString& path, const CfgSection& root, const QDate& today);

} // namespace cfgmap
