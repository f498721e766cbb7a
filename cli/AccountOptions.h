#pragma once

#include <optional>

#include <QCommandLineParser>
#include <QString>

class CDevData;
class CLorn2Doc;

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

} // namespace cliopts
