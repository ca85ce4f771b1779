#include "form1.h"
#include "program_icon.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvax"));
    QApplication::setWindowIcon(programIcon());
    // Ties the window to zelvax.desktop, so desktops show its icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("zelvax"));
    Form1 window;
    window.show();
    return QApplication::exec();
}
