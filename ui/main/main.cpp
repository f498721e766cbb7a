#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QDialog>
#include <QSocketNotifier>

#include "app/CLorn2App.h"
#include "app/CmdLine.h"
#include "app/WorkingFolder.h"
#include "base/MessageBox.h"
#include "ui/DesktopFrontEnd.h"
#include "ui/QtMessageBoxBackend.h"
#include "ui/QtTranslations.h"
#include "lorn2_version/Version.h"

using namespace Qt::Literals::StringLiterals;

namespace {

int g_signalPipe[2] = {-1, -1};
bool g_terminated = false;

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// A logout or `kill` sends SIGTERM: leave the event loop so that the settings are written as at
// a normal exit. The handler only writes a byte; the loop does the rest. Quitting ends every
// event loop, so an open dialog or message box returns as if cancelled, and no later one waits.
void quitOnTerminationSignals(QObject* context)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        g_terminated = true;
        // Before the main loop runs, quitting does not reach a dialog's own loop: close them.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog != nullptr && dialog->isVisible())
                dialog->reject();
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    // Help and version need no display and touch no file, so they come before the application.
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == u"--"_s)
            break;
        if (a == u"-C"_s) {
            ++i;
            continue;
        }
        if (a == u"--help"_s || a == u"-h"_s) {
            std::fputs(qPrintable(ProgramOptions::usage()), stdout);
            return 0;
        }
        if (a == u"--version"_s) {
            std::printf("lorn2 %s\n", LORN2_VERSION_STRING);
            return 0;
        }
    }
    QApplication app(argc, argv);
    // Qt has taken its own options (-platform, -style, ...) out of the arguments by now.
    const ProgramOptions options = ProgramOptions::parse(QCoreApplication::arguments().mid(1));
    if (options.action == ProgramOptions::Action::UsageError) {
        std::fprintf(stderr, "lorn2: %s\n%s", qPrintable(options.error), qPrintable(ProgramOptions::usage()));
        return 2;
    }
    QString folderError;
    if (!workfolder::enter(options.folder, &folderError)) {
        std::fprintf(stderr, "lorn2: %s\n", qPrintable(folderError));
        return 1;
    }
    QApplication::setApplicationName(u"Lorn2"_s);
    QApplication::setDesktopFileName(u"org.lorn2.Lorn2"_s);
    QApplication::setWindowIcon(QIcon::fromTheme(u"org.lorn2.Lorn2"_s));
    // The interface is Russian; Qt's own dialogs (files, fonts, printing) should be too.
    ui::installQtTranslations();
    ScopedMessageBoxBackend messages(std::make_shared<QtMessageBoxBackend>());
    quitOnTerminationSignals(&app);

    CLorn2App theApp;
    DesktopFrontEnd frontEnd;
    if (!theApp.InitInstance(options.rest, frontEnd))
        return 0;
    // A signal during start-up (a message box of it open) has ended start-up's own loops; the
    // main loop would start afresh and never see it.
    const int loopResult = g_terminated ? 0 : QApplication::exec();
    // The frame refers to the document, which ExitInstance destroys.
    frontEnd.destroyFrame();
    const int exitCode = theApp.ExitInstance();
    return loopResult != 0 ? loopResult : exitCode;
}
