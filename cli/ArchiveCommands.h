#pragma once

#include "Command.h"

// The archive list: the column captions, then one line per record in the range.
class ShowArchiveCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("show-archive"); }
    QString description() const override { return QStringLiteral("Show the records of an account's archive."); }
    QString arguments() const override { return QStringLiteral("SERIAL"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Импорт из файла...": a new serial number creates the account of --type.
class ImportArchiveCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("import-archive"); }
    QString description() const override { return QStringLiteral("Import an archive file into its account."); }
    QString arguments() const override { return QStringLiteral("FILE"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Экспорт в файл...": ".tsa" copy, ".csv" table.
class ExportArchiveCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("export-archive"); }
    QString description() const override { return QStringLiteral("Export an account's archive to a file."); }
    QString arguments() const override { return QStringLiteral("SERIAL FILE"); }
    int minArguments() const override { return 2; }
    int maxArguments() const override { return 2; }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Экспортровать сут. и мес. архивы": daily and monthly records into the database.
class ExportDbCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("export-db"); }
    QString description() const override
    {
        return QStringLiteral("Store an account's daily and monthly records in the database.");
    }
    QString arguments() const override { return QStringLiteral("SERIAL"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
