#pragma once

#include "Command.h"

// The archive list: the column captions, then one line per record in the range.
class ShowArchiveCommand : public DocumentCommand
{
public:
    ShowArchiveCommand()
        : DocumentCommand({ QStringLiteral("show-archive"), QStringLiteral("Show the records of an account's archive."),
                            QStringLiteral("SERIAL"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;
    bool speaksJson() const override { return true; }

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Импорт из файла...": a new serial number creates the account of --type.
class ImportArchiveCommand : public DocumentCommand
{
public:
    ImportArchiveCommand()
        : DocumentCommand({ QStringLiteral("import-archive"),
                            QStringLiteral("Import an archive file into its account."), QStringLiteral("FILE"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Экспорт в файл...": ".tsa" copy, ".csv" table.
class ExportArchiveCommand : public DocumentCommand
{
public:
    ExportArchiveCommand()
        : DocumentCommand({ QStringLiteral("export-archive"), QStringLiteral("Export an account's archive to a file."),
                            QStringLiteral("SERIAL FILE"), 2, 2 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Экспортровать сут. и мес. архивы": daily and monthly records into the database.
class ExportDbCommand : public DocumentCommand
{
public:
    ExportDbCommand()
        : DocumentCommand({ QStringLiteral("export-db"),
                            QStringLiteral("Store an account's daily and monthly records in the database."),
                            QStringLiteral("SERIAL"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
