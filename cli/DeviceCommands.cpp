#include "DeviceCommands.h"

#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>

#include "AccountOptions.h"
#include "CliShell.h"
#include "app/CLorn2Doc.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace {

bool checkDateOption(const QCommandLineParser& parser, const QString& option, QString* error)
{
    if (parser.isSet(option) && !cliopts::parseDate(parser.value(option)).isValid()) {
        *error = u"--%1: a date YYYY-MM-DD expected"_s.arg(option);
        return false;
    }
    return true;
}

bool yesNo(const QString& text)
{
    return text.compare(u"yes"_s, Qt::CaseInsensitive) == 0;
}

bool isYesNo(const QString& text)
{
    return yesNo(text) || text.compare(u"no"_s, Qt::CaseInsensitive) == 0;
}

// The questions the document and the operations ask, answered as the command's options say;
// anything else keeps its default button.
class ScriptedAnswers
{
public:
    explicit ScriptedAnswers(bool loadConfigArchive)
        : m_box(dynamic_cast<StdErrMessageBox*>(MessageBox::backend().get()))
    {
        if (m_box == nullptr)
            return;
        const QString cfgArchive = LoadResString(222).section(u'%', 0, 0);
        const QString showConfig = LoadResString(195);
        const QString showUnsaved = LoadResString(147);
        m_box->setAnswerer([=](const MessageRequest& request) {
            if (!cfgArchive.isEmpty() && request.text.startsWith(cfgArchive))
                return loadConfigArchive ? MbAnswer::Yes : MbAnswer::No;
            // Nothing to show on a command line; an archive that was not written is a failure.
            if (request.text == showConfig || request.text == showUnsaved)
                return MbAnswer::No;
            return request.defaultAnswer();
        });
    }
    ~ScriptedAnswers()
    {
        if (m_box != nullptr)
            m_box->setAnswerer({});
    }
    ScriptedAnswers(const ScriptedAnswers&) = delete;
    ScriptedAnswers& operator=(const ScriptedAnswers&) = delete;

private:
    StdErrMessageBox* m_box;
};

} // namespace

void DeviceCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
}

int DeviceCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                       CliStreams& io)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;
    CDevData& acc = doc.accounts()[std::size_t(*index)];
    // There is no connection dialog to open here.
    if (acc.m_connection.port < 1) {
        MessageBox::error(LoadResString(121, u"No COM-port selected"_s));
        return cliexit::Failed;
    }

    CliOperationHost::Options options;
    options.terminal = io.progress == ProgressMode::Always
                       || (io.progress == ProgressMode::Auto && ::isatty(STDERR_FILENO) == 1);
    options.silent = io.quiet || io.progress == ProgressMode::Never;
    hostOptions(parser, options);
    int result = -1;
    shell.setDeviceRunner([&](CDevData& account, const DeviceOperationRequest& request) {
        return runCliDeviceOperation(account, request, options, io.err, &result);
    });
    ScriptedAnswers answers(loadConfigArchive(parser));
    const bool done = runDocumentCommand(doc, shell, *index, parser, io);
    shell.setDeviceRunner({});
    return done && result == 0 ? cliexit::Ok : cliexit::Failed;
}

void ReadArchiveCommand::addOptions(QCommandLineParser& parser) const
{
    DeviceCommand::addOptions(parser);
    parser.addOption(QCommandLineOption(u"start"_s, u"The newest day to read (default today)."_s, u"DATE"_s));
    parser.addOption(
        QCommandLineOption(u"end"_s, u"The oldest day to read (default the latest day already read)."_s, u"DATE"_s));
    parser.addOption(QCommandLineOption(u"to-end"_s, u"Read back to the beginning of the meter's archive."_s));
}

bool ReadArchiveCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (!checkDateOption(parser, u"start"_s, error) || !checkDateOption(parser, u"end"_s, error))
        return false;
    if (parser.isSet(u"end"_s) && parser.isSet(u"to-end"_s)) {
        *error = u"--end and --to-end exclude each other"_s;
        return false;
    }
    return true;
}

void ReadArchiveCommand::hostOptions(const QCommandLineParser& parser, CliOperationHost::Options& options) const
{
    if (parser.isSet(u"start"_s))
        options.start = cliopts::parseDate(parser.value(u"start"_s));
    if (parser.isSet(u"end"_s))
        options.end = cliopts::parseDate(parser.value(u"end"_s));
    options.toEnd = parser.isSet(u"to-end"_s);
}

bool ReadArchiveCommand::runDocumentCommand(CLorn2Doc& doc, CliShell&, int, const QCommandLineParser&, CliStreams&)
{
    return doc.OnReadArchive();
}

void ReadConfigCommand::addOptions(QCommandLineParser& parser) const
{
    DeviceCommand::addOptions(parser);
    parser.addOption(QCommandLineOption(
        u"cfg-archive"_s, u"Read a configuration archive of more than five records: yes or no (default yes)."_s,
        u"yes|no"_s));
}

bool ReadConfigCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (parser.isSet(u"cfg-archive"_s) && !isYesNo(parser.value(u"cfg-archive"_s))) {
        *error = u"--cfg-archive: yes or no expected"_s;
        return false;
    }
    return true;
}

bool ReadConfigCommand::loadConfigArchive(const QCommandLineParser& parser) const
{
    return !parser.isSet(u"cfg-archive"_s) || yesNo(parser.value(u"cfg-archive"_s));
}

bool ReadConfigCommand::runDocumentCommand(CLorn2Doc& doc, CliShell&, int, const QCommandLineParser&, CliStreams&)
{
    return doc.OnReadConfig();
}

void ReadReportCommand::addOptions(QCommandLineParser& parser) const
{
    DeviceCommand::addOptions(parser);
    cliopts::addReportRangeOptions(parser, u"The hourly report of the day DATE."_s);
    parser.addOption(QCommandLineOption(
        u"idle"_s, u"Stop receiving after S seconds without a byte (default 5)."_s, u"S"_s));
    parser.addOption(QCommandLineOption(u"max-bytes"_s, u"Stop receiving after N bytes."_s, u"N"_s));
    parser.addOption(QCommandLineOption(u"o"_s, u"Save the received report here."_s, u"FILE"_s));
}

bool ReadReportCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (!cliopts::checkReportRange(parser, error))
        return false;
    if (parser.isSet(u"idle"_s)) {
        bool ok = false;
        const double seconds = parser.value(u"idle"_s).toDouble(&ok);
        if (!ok || !(seconds > 0.0) || seconds > 86400.0) {
            *error = u"--idle: a number of seconds above 0 expected"_s;
            return false;
        }
    }
    if (parser.isSet(u"max-bytes"_s)) {
        bool ok = false;
        const qint64 n = parser.value(u"max-bytes"_s).toLongLong(&ok);
        if (!ok || n < 1) {
            *error = u"--max-bytes: a number from 1 expected"_s;
            return false;
        }
    }
    if (parser.value(u"o"_s).isEmpty()) {
        *error = u"-o FILE: where to save the report"_s;
        return false;
    }
    return true;
}

void ReadReportCommand::hostOptions(const QCommandLineParser& parser, CliOperationHost::Options& options) const
{
    const double idle = parser.isSet(u"idle"_s) ? parser.value(u"idle"_s).toDouble() : 5.0;
    options.idleMs = qint64(idle * 1000.0);
    if (parser.isSet(u"max-bytes"_s))
        options.maxBytes = parser.value(u"max-bytes"_s).toLongLong();
}

bool ReadReportCommand::runDocumentCommand(CLorn2Doc& doc, CliShell& shell, int accountIndex,
                                           const QCommandLineParser& parser, CliStreams&)
{
    const cliopts::ReportRange range = cliopts::reportRange(parser);
    shell.setReportSettings(
        [range](ReportSettingsRequest& request) { return cliopts::answerReportSettings(range, request); });

    CDevData& acc = doc.accounts()[std::size_t(accountIndex)];
    // Whatever report the account held is not what the meter sends; an empty text afterwards
    // means nothing came.
    acc.m_reportText.clear();
    if (!doc.OnReadReport())
        return false;
    if (acc.m_reportText.isEmpty()) {
        MessageBox::error(u"The meter sent no report bytes."_s);
        return false;
    }
    return doc.saveReport(accountIndex, QFileInfo(parser.value(u"o"_s)).absoluteFilePath());
}

void SetClockCommand::addOptions(QCommandLineParser& parser) const
{
    DeviceCommand::addOptions(parser);
    parser.addOption(QCommandLineOption(
        u"time"_s, u"The date and time to set, \"YYYY-MM-DD HH:MM:SS\" (default the computer's clock)."_s,
        u"DATETIME"_s));
}

bool SetClockCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (parser.isSet(u"time"_s)
        && !QDateTime::fromString(parser.value(u"time"_s), u"yyyy-MM-dd HH:mm:ss"_s).isValid()) {
        *error = u"--time: a date-time YYYY-MM-DD HH:MM:SS expected"_s;
        return false;
    }
    return true;
}

bool SetClockCommand::runDocumentCommand(CLorn2Doc& doc, CliShell& shell, int, const QCommandLineParser& parser,
                                         CliStreams&)
{
    if (parser.isSet(u"time"_s))
        shell.setClockTime(QDateTime::fromString(parser.value(u"time"_s), u"yyyy-MM-dd HH:mm:ss"_s));
    else
        shell.setClockTime(std::nullopt);
    return doc.OnSetClock();
}
