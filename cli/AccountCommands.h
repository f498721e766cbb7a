#pragma once

#include "Command.h"

// "Добавить учётную запись..." with the dialog filled from the options.
class AddCommand : public DocumentCommand
{
public:
    AddCommand()
        : DocumentCommand({ QStringLiteral("add"), QStringLiteral("Add a device account."), QStringLiteral(""), 0, 0 })
    {
    }
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
    EditCommand()
        : DocumentCommand({ QStringLiteral("edit"), QStringLiteral("Change the fields of a device account."),
                            QStringLiteral("SERIAL"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Удалить учётную запись", its files removed or moved to DeviceArchives.
class DeleteCommand : public DocumentCommand
{
public:
    DeleteCommand()
        : DocumentCommand(
            { QStringLiteral("delete"), QStringLiteral("Delete a device account."), QStringLiteral("SERIAL"), 1, 1 })
    {
    }
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
    ExportDevicesCommand()
        : DocumentCommand({ QStringLiteral("export-devices"), QStringLiteral("Export the device list to a CSV file."),
                            QStringLiteral("FILE"), 1, 1 })
    {
    }

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
