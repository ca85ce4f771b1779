// The floor the benchmarks compare against: the least any Qt program doing this job costs.
// A bare main window with a menu bar, a frame and three line edits. Choosing the one entry of
// its "Linka" menu opens the line named by ZELVAX_COM1, as a user chooses the line in the
// program; then a 50 ms timer reads it and shows the last complete line in a field and the
// caption.

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QSerialPort>
#include <QTimer>
#include <QVBoxLayout>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("FLOOR"));
    window.menuBar()->addAction(QStringLiteral("Konec"), &app, &QApplication::quit);
    auto* frame = new QGroupBox(QStringLiteral("Frame"));
    auto* layout = new QVBoxLayout(frame);
    auto* current = new QLineEdit;
    layout->addWidget(current);
    layout->addWidget(new QLineEdit);
    layout->addWidget(new QLineEdit);
    window.setCentralWidget(frame);

    QSerialPort port(qEnvironmentVariable("ZELVAX_COM1"));
    port.setBaudRate(19200);
    QByteArray pending;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        pending += port.readAll();
        const qsizetype end = pending.lastIndexOf("\r\n");
        if (end < 0)
            return;
        const qsizetype start = pending.lastIndexOf("\r\n", end - 1);
        const QString line = QString::fromLatin1(
            pending.mid(start < 0 ? 0 : start + 2, end - (start < 0 ? 0 : start + 2)));
        pending.remove(0, end + 2);
        current->setText(line + QStringLiteral(u" \u00B0C"));
        window.setWindowTitle(QStringLiteral("FLOOR   ") + current->text());
    });
    window.menuBar()
        ->addMenu(QStringLiteral("Linka"))
        ->addAction(QStringLiteral("COM1"), &window, [&] {
            if (port.open(QIODevice::ReadOnly))
                poll.start(50);
        });
    window.show();
    return QApplication::exec();
}
