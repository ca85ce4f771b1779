#include "form1.h"
#include "program_icon.h"
#include "termination_signals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvax"));
    QApplication::setWindowIcon(programIcon());
    // Ties the window to zelvax.desktop, so desktops show its icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("zelvax"));

    Form1 window;
    TerminationSignals signals;
    // Without the routing, a signal still ends the program, only less tidily.
    static_cast<void>(signals.install([&window] { window.endProgram(); }));
    window.show();
    return QApplication::exec();
}
