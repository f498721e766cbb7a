#include <cstdio>
#include <cstring>
#include <memory>

#include <QCoreApplication>
#include <QApplication>
#include <QGuiApplication>
#include <QTextStream>

#include "base/MessageBox.h"
#include "cli/Command.h"

namespace {

// The command name, found the way runCli finds it: after the global options.
const char* commandName(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-C") == 0 || std::strcmp(argv[i], "--progress") == 0)
            ++i;
        else if (argv[i][0] != '-')
            return argv[i];
    }
    return "";
}

// Only the commands that draw need fonts and paint devices; the others start without a display.
bool commandDraws(const char* name)
{
    return std::strcmp(name, "render") == 0 || std::strcmp(name, "report") == 0 || std::strcmp(name, "chart") == 0;
}

// Standard error carries the program's messages only; a bare environment (cron, containers) has
// no runtime folder, which does not matter to drawing into files.
void dropRuntimeFolderWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1StringView("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fputs(qPrintable(qFormatLogMessage(type, context, message) + QLatin1Char('\n')), stderr);
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> application;
    if (commandDraws(commandName(argc, argv))) {
        // Drawing to files needs no window system, and none may be there (cron, ssh).
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(dropRuntimeFolderWarning);
        // The chart is a graphics scene, which wants the widgets' application.
        if (std::strcmp(commandName(argc, argv), "chart") == 0)
            application = std::make_unique<QApplication>(argc, argv);
        else
            application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("lorn2-cli"));
    MessageBox::setBackend(std::make_shared<StdErrMessageBox>());

    QTextStream out(stdout);
    QTextStream err(stderr);
    CliStreams io{out, err};
    const int rc = runCli(QCoreApplication::arguments(), io);
    out.flush();
    err.flush();
    return rc;
}
