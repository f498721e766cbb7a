#pragma once

#include <optional>

#include "CliOperationHost.h"
#include "Command.h"

// A command that talks to the meter of an account: the account must have a port, the operation
// runs behind a progress line, and the command fails unless the operation completed.
class DeviceCommand : public DocumentCommand
{
public:
    using DocumentCommand::DocumentCommand;
    void addOptions(QCommandLineParser& parser) const override;

protected:
    int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                            CliStreams& io) final;
    // Fills the host's options from the command line.
    virtual void hostOptions(const QCommandLineParser& parser, CliOperationHost::Options& options) const
    {
        Q_UNUSED(parser);
        Q_UNUSED(options);
    }
    // Runs the document command on the selected account; false when it did not do its work.
    virtual bool runDocumentCommand(CLorn2Doc& doc, CliShell& shell, int accountIndex, const QCommandLineParser& parser,
                                    CliStreams& io)
        = 0;
    // The answer to the configuration archive question.
    virtual bool loadConfigArchive(const QCommandLineParser& parser) const
    {
        Q_UNUSED(parser);
        return true;
    }
};

// "Считать из ТС..." (Архивы)
class ReadArchiveCommand : public DeviceCommand
{
public:
    ReadArchiveCommand()
        : DeviceCommand(
            { QStringLiteral("read-archive"),
              QStringLiteral("Read the meter's archive into the account. Ctrl-C stops and keeps what came."),
              QStringLiteral("SERIAL"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    void hostOptions(const QCommandLineParser& parser, CliOperationHost::Options& options) const override;
    bool runDocumentCommand(CLorn2Doc& doc, CliShell& shell, int accountIndex, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Загрузить" (Конфигурация ТС)
class ReadConfigCommand : public DeviceCommand
{
public:
    ReadConfigCommand()
        : DeviceCommand({ QStringLiteral("read-config"),
                          QStringLiteral("Read the meter's configuration into the account."), QStringLiteral("SERIAL"),
                          1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    bool runDocumentCommand(CLorn2Doc& doc, CliShell& shell, int accountIndex, const QCommandLineParser& parser,
                            CliStreams& io) override;
    bool loadConfigArchive(const QCommandLineParser& parser) const override;
};

// "Считать из ТС..." (Отчёты): the meter prints its own report, which is saved as received.
class ReadReportCommand : public DeviceCommand
{
public:
    ReadReportCommand()
        : DeviceCommand({ QStringLiteral("read-report"), QStringLiteral("Receive the report the meter prints."),
                          QStringLiteral("SERIAL [TO]"), 1, 2 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    void hostOptions(const QCommandLineParser& parser, CliOperationHost::Options& options) const override;
    bool runDocumentCommand(CLorn2Doc& doc, CliShell& shell, int accountIndex, const QCommandLineParser& parser,
                            CliStreams& io) override;
};

// "Установка времени ТС"
class SetClockCommand : public DeviceCommand
{
public:
    SetClockCommand()
        : DeviceCommand({ QStringLiteral("set-clock"),
                          QStringLiteral("Set the meter's clock to --time, else to the computer's clock."),
                          QStringLiteral("SERIAL"), 1, 1 })
    {
    }
    void addOptions(QCommandLineParser& parser) const override;
    bool checkArguments(const QCommandLineParser& parser, QString* error) const override;

protected:
    bool runDocumentCommand(CLorn2Doc& doc, CliShell& shell, int accountIndex, const QCommandLineParser& parser,
                            CliStreams& io) override;
};
