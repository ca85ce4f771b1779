// The polling cycle with its real port and timers, without a window, for two measurements:
//   zelvax-cycle throughput SECONDS  streams readings back to back at 19200 baud and prints
//                                    "sent N read M runs R": every byte must be read once;
//   zelvax-cycle unplug COUNT        hangs up the line COUNT times after a reading and prints
//                                    the milliseconds until the error shows, one per line.

#include "cycle_harness.h"
#include "event_loop.h"
#include "pseudo_terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono;

int throughput(int seconds)
{
    PseudoTerminal line;
    qputenv("ZELVAX_COM1", line.devicePath().toLocal8Bit());
    CycleHarness cycle;
    cycle.chooseLine();
    if (!cycle.port.portOpen())
        return 1;

    std::atomic<bool> stop{false};
    std::atomic<qint64> sent{0};
    std::thread thermometer([&] {
        const auto characterTime =
            duration_cast<steady_clock::duration>(duration<double>(10.0 / 19200));
        auto next = steady_clock::now();
        for (int i = 0; !stop; ++i) {
            const QByteArray reading = QByteArray::number(10 + (i % 300) / 10.0, 'f', 1) + "\r\n";
            if (!line.write(reading, &stop))
                break;
            sent += reading.size();
            next += characterTime * reading.size();
            std::this_thread::sleep_until(next);
        }
    });
    runEventsFor(seconds * 1s);
    stop = true;
    thermometer.join();
    waitUntil([&] { return cycle.display.charactersRead >= sent; }, 5s);
    std::printf("sent %lld read %lld runs %lld\n", static_cast<long long>(sent.load()),
                static_cast<long long>(cycle.display.charactersRead),
                static_cast<long long>(cycle.display.runs));
    return cycle.display.charactersRead == sent ? 0 : 1;
}

int unplug(int count)
{
    CycleHarness cycle;
    const QString error = QStringLiteral("Error");
    for (int i = 0; i < count; ++i) {
        auto line = std::make_unique<PseudoTerminal>();
        qputenv("ZELVAX_COM1", line->devicePath().toLocal8Bit());
        cycle.chooseLine();
        line->write("21.0\r\n");
        if (!waitUntil([&] { return cycle.display.runs > 0; }, 2s))
            return 1;
        // Hang up at a different point of the cycle each time.
        runEventsFor(milliseconds(10 + (i * 37) % 140));
        QElapsedTimer clock;
        clock.start();
        line.reset();
        if (!waitUntil([&] { return cycle.display.text1() == error; }, 2s))
            return 1;
        std::printf("%.1f\n", clock.nsecsElapsed() / 1e6);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int amount = argc > 2 ? std::atoi(argv[2]) : 0;
    if (argc > 2 && std::strcmp(argv[1], "throughput") == 0)
        return throughput(amount);
    if (argc > 2 && std::strcmp(argv[1], "unplug") == 0)
        return unplug(amount);
    std::fprintf(stderr, "usage: %s throughput SECONDS | unplug COUNT\n", argv[0]);
    return 2;
}
