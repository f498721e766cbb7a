#pragma once

#include <memory>
#include <vector>

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

class CLorn2App;
class CLorn2Doc;
class CliShell;

// Where a command writes; tests replace both streams.
struct CliStreams
{
    QTextStream& out;
    QTextStream& err;
};

// One command of lorn2-cli: its name, its options and its work.
class Command
{
public:
    virtual ~Command() = default;

    virtual QString name() const = 0;
    virtual QString description() const = 0;
    // "SERIAL FILE" and the like, for the usage line.
    virtual QString arguments() const { return {}; }
    virtual void addOptions(QCommandLineParser& parser) const { Q_UNUSED(parser); }
    // Positional arguments the command needs at least and at most (-1: any number).
    virtual int minArguments() const { return 0; }
    virtual int maxArguments() const { return 0; }
    // Checks the options before any file is touched; `error` says what is wrong.
    virtual bool checkArguments(const QCommandLineParser& parser, QString* error) const
    {
        Q_UNUSED(parser);
        Q_UNUSED(error);
        return true;
    }

    // Parses `args` (the command name first) and runs; returns the exit status.
    int run(const QStringList& args, CliStreams& io);

protected:
    virtual int execute(const QCommandLineParser& parser, CliStreams& io) = 0;
    int usageError(const QString& message, const QCommandLineParser& parser, CliStreams& io) const;
    QString usageText(const QCommandLineParser& parser) const;
};

// A command that works on the document: the working folder, settings, database and accounts
// are set up first, exactly as the desktop program starts, and taken down after.
class DocumentCommand : public Command
{
protected:
    int execute(const QCommandLineParser& parser, CliStreams& io) final;
    virtual int executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                    CliStreams& io)
        = 0;
};

std::vector<std::unique_ptr<Command>> allCommands();

// The whole program: global options, then the command. Returns the exit status.
int runCli(const QStringList& arguments, CliStreams& io);

namespace cliexit {
constexpr int Ok = 0;
constexpr int Failed = 1;
constexpr int Usage = 2;
} // namespace cliexit
