#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "base/MessageBox.h"
#include "cli/Command.h"

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
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
