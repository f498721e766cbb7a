#pragma once

#include <optional>
#include <vector>

#include <QCommandLineParser>
#include <QDate>
#include <QString>

class CDevData;
class CLorn2Doc;
struct ReportSettingsRequest;

// The account and connection options of "add" and "edit", and the account named by a serial
// number on the command line.
namespace cliopts {

void addAccountOptions(QCommandLineParser& parser);
void addConnectionOptions(QCommandLineParser& parser);
void addTypeOption(QCommandLineParser& parser);

// Checks every given option; the first bad one is described in `error`.
bool validate(const QCommandLineParser& parser, QString* error);
// Applies the given options to the record; options not given leave their fields alone.
void applyAccountOptions(const QCommandLineParser& parser, CDevData& record);
void applyConnectionOptions(const QCommandLineParser& parser, CDevData& record);
bool hasConnectionOptions(const QCommandLineParser& parser);

// The device type of --type, 0 when not given; -1 when unknown.
int typeOption(const QCommandLineParser& parser);

// The account with the serial number (and --type when given). Shows the reason and returns
// none when there is no such account or the choice is ambiguous.
std::optional<int> findAccount(const CLorn2Doc& doc, const QString& serialText, const QCommandLineParser& parser);

// A date YYYY-MM-DD; invalid otherwise.
QDate parseDate(const QString& text);

// --from and --to, each a date when given, the first not after the second.
bool checkPeriod(const QCommandLineParser& parser, QString* error);
// SERIAL... or --all, not both and not neither.
bool checkAccountChoice(const QCommandLineParser& parser, QString* error);
// The accounts named (by serial number and --type) or, with --all, every row of the list, in
// the list's order and each once; none when a name finds no account (the reason was shown).
std::optional<std::vector<int>> chosenAccounts(const CLorn2Doc& doc, const std::vector<int>& rows,
                                               const QCommandLineParser& parser);

// The period and contour of the report commands: --hourly DATE | --daily FROM TO, --contour C.
struct ReportRange
{
    bool daily = false;
    QDate first;
    QDate last; // the same day for an hourly report
    int contour = 0; // from 0
};
void addReportRangeOptions(QCommandLineParser& parser, const QString& hourlyHelp);
// Checks the options and that the serial number is the only other argument.
bool checkReportRange(const QCommandLineParser& parser, QString* error);
// The dates of --hourly or --daily (TO given apart, as commands place it differently) and --contour.
bool checkReportDates(const QCommandLineParser& parser, const QString& toText, QString* error);
ReportRange reportRange(const QCommandLineParser& parser);
// The report settings dialog answered from the range; refuses a contour the meter lacks.
bool answerReportSettings(const ReportRange& range, ReportSettingsRequest& request);

} // namespace cliopts
