#pragma once

#include "Command.h"

// Parses a map file as an account would and prints the parser's log and the tree's size.
class CheckMapCommand : public Command
{
public:
    CheckMapCommand()
        : Command({ QStringLiteral("check-map"), QStringLiteral("Check a map file: the parser's log and counts."),
                    QStringLiteral("FILE"), 1, 1 })
    {
    }

protected:
    int execute(const QCommandLineParser& parser, CliStreams& io) override;
};

// "Показать" (Конфигурация ТС), or a snapshot of the list "Архив конфигураций".
class ConfigReportCommand : public DocumentCommand
{
public:
    ConfigReportCommand()
        : DocumentCommand({ QStringLiteral("config-report"), QStringLiteral("Show an account's configuration report."),
                            QStringLiteral("SERIAL"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Сохранить..." (Конфигурация ТС): the current configuration as a ".cfg" file.
class SaveConfigCommand : public DocumentCommand
{
public:
    SaveConfigCommand()
        : DocumentCommand({ QStringLiteral("save-config"), QStringLiteral("Save an account's configuration file."),
                            QStringLiteral("SERIAL FILE"), 2, 2 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
