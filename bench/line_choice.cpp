// The real main window on Qt's offscreen platform, for two measurements of choosing a line:
//   zelvax-line-choice time COUNT     chooses a line COUNT times and prints, one per line, the
//                                     milliseconds from the click to the handler's return (the
//                                     frame caption and its tooltip are set by then), with the
//                                     port list looked up ("lookup") and with ZELVAX_COM1 set
//                                     to a pseudo-terminal ("env");
//   zelvax-line-choice replug CYCLES  unplugs and replugs the line CYCLES times, each cycle:
//                                     hang-up, "Error", a new device, the line chosen again,
//                                     a reading shown; prints open descriptors, lock files and
//                                     resident memory after the first and the last cycle.

#include "event_loop.h"
#include "form1.h"
#include "pseudo_terminal.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QThreadPool>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

QAction* lineEntry(Form1& window, const char* name)
{
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

int timeChoices(int count)
{
    Form1 window;
    window.show();
    PseudoTerminal line;
    auto* frame = window.findChild<QGroupBox*>(QStringLiteral("Frame1"));
    // Alternating entries, so every choice changes the frame's caption.
    const char* entries[] = {"mnu96001", "mnu192001"};
    for (const char* kind : {"lookup", "env"}) {
        if (std::strcmp(kind, "env") == 0)
            qputenv("ZELVAX_COM1", line.devicePath().toLocal8Bit());
        else
            qunsetenv("ZELVAX_COM1");
        for (int i = 0; i < count; ++i) {
            const QString before = frame->title();
            QElapsedTimer clock;
            clock.start();
            lineEntry(window, entries[i % 2])->trigger();
            const double ms = clock.nsecsElapsed() / 1e6;
            if (frame->title() == before)
                return 1;
            std::printf("%s %.3f\n", kind, ms);
            runEventsFor(5ms);
        }
    }
    return 0;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot).size());
}

// Qt Serial Port keeps its lock files in the first writable of these.
int lockFiles()
{
    int count = 0;
    for (const char* folder :
         {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"})
        count += int(QDir(QString::fromLatin1(folder))
                         .entryList({QStringLiteral("LCK..*")}, QDir::Files | QDir::System)
                         .size());
    return count;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    return status.readAll().split(' ').value(1).toLong() * (::getpagesize() / 1024);
}

int replug(int cycles)
{
    const QString link = QDir::temp().filePath(QStringLiteral("zelvax-bench-%1").arg(getpid()));
    qputenv("ZELVAX_COM1", link.toLocal8Bit());
    Form1 window;
    window.show();
    auto* text1 = window.findChild<QLineEdit*>(QStringLiteral("Text1"));
    const QString reading = QStringLiteral(u"21.0 \u00B0C");
    // Qt paints with pooled threads that end after 30 s idle, each taking its event
    // descriptors along; kept alive, they leave the count to what the program itself holds.
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    std::unique_ptr<PseudoTerminal> line;
    int status = 0;
    // The probes' own first use (directory listings, printing) costs memory; pay it up front.
    std::printf("before fds %d locks %d rss %ld\n", openDescriptors(), lockFiles(), residentKiB());
    for (int cycle = 1; cycle <= cycles && status == 0; ++cycle) {
        // The device comes back, under the same name, and the line is chosen again.
        line = std::make_unique<PseudoTerminal>();
        QFile::remove(link);
        QFile::link(line->devicePath(), link);
        lineEntry(window, "mnu96001")->trigger();
        line->write("21.0\r\n");
        if (!waitUntil([&] { return text1->text() == reading; }, 2s))
            status = 1;
        line->hangUp();
        if (!waitUntil([&] { return text1->text() == QStringLiteral("Error"); }, 2s))
            status = 1;
        line.reset();
        runEventsFor(20ms);
        if (cycle == 1 || cycle == cycles)
            std::printf("cycle %d fds %d locks %d rss %ld\n", cycle, openDescriptors(), lockFiles(),
                        residentKiB());
    }
    QFile::remove(link);
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int amount = argc > 2 ? std::atoi(argv[2]) : 0;
    if (argc > 2 && std::strcmp(argv[1], "time") == 0)
        return timeChoices(amount);
    if (argc > 2 && std::strcmp(argv[1], "replug") == 0)
        return replug(amount);
    std::fprintf(stderr, "usage: %s time COUNT | replug CYCLES\n", argv[0]);
    return 2;
}
