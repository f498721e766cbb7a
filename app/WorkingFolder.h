#pragma once

#include <QString>

// Where the programs work: the current directory, a folder given with -C, or the user's home
// folder of the program (--home). Shared by lorn2 and lorn2-cli.
namespace workfolder {

// $LORN2_HOME, else ~/Lorn2.
QString homeFolder();

// What the global options chose; `error` says why the choice cannot be used.
struct Choice
{
    QString folder; // empty: stay in the current directory
    bool home = false;
};

// Makes the chosen folder the current directory: -C DIR must exist; the home folder is
// created when missing. False with a message in `error` otherwise.
bool enter(const Choice& choice, QString* error);

// Writes the stock printer control table into `folder` when it has no "esc.ini", so that no
// account load complains of a file nobody made. False only when writing failed.
bool ensurePrinterTable(const QString& folder);

// The stock table's bytes.
QByteArray stockPrinterTable();

} // namespace workfolder
