#include <memory>

#include <QApplication>

#include "app/CLorn2App.h"
#include "base/MessageBox.h"
#include "ui/DesktopFrontEnd.h"
#include "ui/QtMessageBoxBackend.h"

using namespace Qt::Literals::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Lorn2"_s);
    QApplication::setDesktopFileName(u"lorn2"_s);
    ScopedMessageBoxBackend messages(std::make_shared<QtMessageBoxBackend>());

    CLorn2App theApp;
    DesktopFrontEnd frontEnd;
    if (!theApp.InitInstance(QCoreApplication::arguments().mid(1), frontEnd))
        return 0;
    const int loopResult = QApplication::exec();
    // The frame refers to the document, which ExitInstance destroys.
    frontEnd.destroyFrame();
    const int exitCode = theApp.ExitInstance();
    return loopResult != 0 ? loopResult : exitCode;
}
