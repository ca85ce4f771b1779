#include "form1.h"
#include "program_icon.h"
#include "qt_translations.h"
#include "termination_signals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvax"));
    QApplication::setWindowIcon(programIcon());
    // The desktop entry's id: Wayland's app_id and X11's WM_CLASS name it, so desktops match
    // the window to its launcher and show its icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZELVAX_APP_ID));
    installCzechQtTranslationsOnFirstContextMenu(app);

    Form1 window;
    TerminationSignals signals;
    // Without the routing, a signal still ends the program, only less tidily.
    static_cast<void>(signals.install([&window] { window.endProgram(); }));
    window.show();
    return QApplication::exec();
}
