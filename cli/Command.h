#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

class CLorn2App;
class CLorn2Doc;
class CliShell;

// How device commands show their progress: a redrawn line on a terminal (auto), or lines.
enum class ProgressMode { Auto, Always, Never };

// Where a command writes, and the global options that shape what it writes; tests replace both
// streams.
struct CliStreams
{
    QTextStream& out;
    QTextStream& err;
    bool quiet = false; // messages only, no progress
    ProgressMode progress = ProgressMode::Auto;
    bool json = false; // one JSON document on standard output
};

// One command of lorn2-cli: its name, its options and its work.
class Command
{
public:
    // What the help and the usage line say of a command, and how many positional arguments
    // it takes at least and at most (-1: any number).
    struct Info
    {
        QString name;
        QString description;
        QString arguments; // "SERIAL FILE" and the like
        int minArguments = 0;
        int maxArguments = 0;
    };

    explicit Command(Info info)
        : m_info(std::move(info))
    {
    }
    virtual ~Command() = default;

    const QString& name() const { return m_info.name; }
    const QString& description() const { return m_info.description; }
    const QString& arguments() const { return m_info.arguments; }
    int minArguments() const { return m_info.minArguments; }
    int maxArguments() const { return m_info.maxArguments; }
    virtual void addOptions(QCommandLineParser& parser) const { Q_UNUSED(parser); }
    // The arguments as the parser is to see them. The parser knows one meaning per option; a
    // command whose option means something else beside another option tells them apart here.
    virtual QStringList prepareArguments(const QStringList& args) const { return args; }
    // Whether the command can write one JSON document instead of its text (--json).
    virtual bool speaksJson() const { return false; }
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

private:
    Info m_info;
};

// A command that works on the document: the working folder, settings, database and accounts
// are set up first, exactly as the desktop program starts, and taken down after.
class DocumentCommand : public Command
{
public:
    using Command::Command;

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
