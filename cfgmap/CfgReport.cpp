#include "CfgReport.h"

#include <algorithm>

#include <QLocale>

#include "base/AtomicFile.h"
#include "base/CodePage.h"
#include "base/DateUtil.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "base/TextBlock.h"
#include "cfgmap/CfgDecode.h"
#include "cfgmap/CfgMgr.h"

using namespace Qt::Literals::StringLiterals;

namespace cfgmap {

namespace {

void appendSection(CfgSection& section, int depth, QByteArray& out)
{
    out += "\r\n";
    out += QByteArray(depth, '\t');
    out += section.displayName;
    out += ":\r\n";
    for (CfgVar& v : section.vars)
        out += FormatVariableLine(v, depth);
    for (CfgSection& s : section.sections)
        appendSection(s, depth + 1, out);
}

} // namespace

TextMeasure measureText(QByteArrayView text, int tabSize)
{
    TextMeasure m;
    int ends = 0;
    int cells = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            // The other half of a CR LF or LF CR pair belongs to the same line end.
            if (i + 1 < n && (text[i + 1] == '\r' || text[i + 1] == '\n') && text[i + 1] != c)
                ++i;
            ++ends;
            m.width = std::max(m.width, cells);
            cells = 0;
        } else {
            cells += c == '\t' ? tabSize : 1;
        }
    }
    m.width = std::max(m.width, cells);
    m.lines = ends + 1;
    return m;
}

QString snapshotTime(QByteArrayView snapshot)
{
    if (snapshot.size() < kStampedSize)
        return {};
    auto at = [&](qsizetype i) { return unsigned(std::uint8_t(snapshot[kStampOffset + i])); };
    const unsigned second = at(0), minute = at(1), hour = at(2), day = at(3), month = at(4), year = at(5);
    const QDateTime t = dateutil::makeDateTime(int(2000 + year), int(month), int(day), int(hour), int(minute),
                                               int(second));
    if (!t.isValid())
        return fmt::text(LoadResString(217), day, month, year, hour, minute, second);
    return u" ("_s + t.toString(u"dd-MM-yyyy HH:mm:ss"_s) + u')';
}

void askToShowLog(int stringId, const QString& log)
{
    if (MessageBox::question(LoadResString(stringId)) != MbAnswer::Yes || log.isEmpty())
        return;
    // A message box breaks lines at "\n" and needs no break after the last.
    QString text = log;
    text.replace(u"\r\n"_s, u"\n"_s);
    if (text.endsWith(u'\n'))
        text.chop(1);
    MessageBox::show(text, MbIcon::Information);
}

bool decodeWithMessages(CfgMgr& map, QByteArrayView block, QString& log)
{
    if (!CheckOverlaps(map, log)) {
        askToShowLog(182, log);
        return false;
    }
    const int untyped = DecodeBlock(map, block, log);
    if (untyped < 0)
        return false;
    if (untyped > 0)
        askToShowLog(185, log);
    return true;
}

QByteArray reportBody(CfgMgr& map)
{
    QByteArray out;
    for (CfgVar& v : map.root().vars)
        out += FormatVariableLine(v, -1);
    for (CfgSection& s : map.root().sections)
        appendSection(s, 0, out);
    return out;
}

bool BuildConfigurationReport(CfgMgr& map, const ReportSubject& subject, const QByteArray* snapshot, QString& log,
                              TextBlock& report, TextMeasure& measure)
{
    if (snapshot == nullptr && subject.current.isEmpty()) {
        MessageBox::error(LoadResString(180));
        return false;
    }
    if (snapshot != nullptr && snapshot->isEmpty()) {
        MessageBox::error(fmt::text(LoadResString(215), 0u));
        return false;
    }
    report = TextBlock();
    measure = TextMeasure();
    log.clear();

    const QByteArray& block = snapshot != nullptr ? *snapshot : subject.current;
    if (!decodeWithMessages(map, block, log))
        return false;

    QString header;
    if (snapshot == nullptr)
        header = fmt::text(LoadResString(179), subject.typeName, unsigned(subject.serial));
    else
        header = fmt::text(LoadResString(216), subject.typeName, unsigned(subject.serial)) + snapshotTime(*snapshot);
    header += u"\r\n\r\n"_s;
    // The header is program text; the map's texts are already in the map's own code page.
    QByteArray text = codepage::ansiToOem(codepage::toAnsi(header));
    text += reportBody(map);

    if (report.setData(text) != 0) {
        MessageBox::error(LoadResString(102));
        return false;
    }
    measure = measureText(text, subject.tabSize);
    return true;
}

QByteArray configurationFileText(const CfgSection& root, const QDate& today)
{
    const QString date = QLocale(QLocale::English, QLocale::UnitedStates).toString(today, u"dddd, dd MMMM yyyy"_s);
    QByteArray out = "#Config file for QZ-44\r\n";
    out += "#Generated: " + codepage::toAnsi(date) + "\r\n";
    out += "\r\n";
    // Written as a Windows text-mode file is: every line feed, one inside a value too, gets its CR.
    for (QByteArray line : root.CollectLines()) {
        out += line.replace('\n', "\r\n");
        out += "\r\n";
    }
    return out;
}

bool writeConfigurationFile(const QString& path, const CfgSection& root, const QDate& today)
{
    if (writeFileAtomically(path, configurationFileText(root, today)))
        return true;
    MessageBox::error(u"Failed to save file: "_s + path);
    return false;
}

} // namespace cfgmap
