#pragma once

#include "Command.h"

// Parses a map file as an account would and prints the parser's log and the tree's size.
class CheckMapCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("check-map"); }
    QString description() const override { return QStringLiteral("Check a map file: the parser's log and counts."); }
    QString arguments() const override { return QStringLiteral("FILE"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }

protected:
    int execute(const QCommandLineParser& parser, CliStreams& io) override;
};

// "Показать" (Конфигурация ТС), or a snapshot of the list "Архив конфигураций".
class ConfigReportCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("config-report"); }
    QString description() const override { return QStringLiteral("Show an account's configuration report."); }
    QString arguments() const override { return QStringLiteral("SERIAL"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }
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
    QString name() const override { return QStringLiteral("save-config"); }
    QString description() const override { return QStringLiteral("Save an account's configuration file."); }
    QString arguments() const override { return QStringLiteral("SERIAL FILE"); }
    int minArguments() const override { return 2; }
    int maxArguments() const override { return 2; }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
