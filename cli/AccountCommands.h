#pragma once

#include "Command.h"

// "Добавить учётную запись..." with the dialog filled from the options.
class AddCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("add"); }
    QString description() const override { return QStringLiteral("Add a device account."); }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Поля записи..." and "Параметры связи...": the options given replace those fields.
class EditCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("edit"); }
    QString description() const override { return QStringLiteral("Change the fields of a device account."); }
    QString arguments() const override { return QStringLiteral("SERIAL"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Удалить учётную запись", its files removed or moved to DeviceArchives.
class DeleteCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("delete"); }
    QString description() const override { return QStringLiteral("Delete a device account."); }
    QString arguments() const override { return QStringLiteral("SERIAL"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Экспортировать список приборов..."
class ExportDevicesCommand : public DocumentCommand
{
public:
    QString name() const override { return QStringLiteral("export-devices"); }
    QString description() const override { return QStringLiteral("Export the device list to a CSV file."); }
    QString arguments() const override { return QStringLiteral("FILE"); }
    int minArguments() const override { return 1; }
    int maxArguments() const override { return 1; }

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
