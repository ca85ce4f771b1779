// Streams readings back to back at 19200 baud into the polling cycle for a given time and
// reports whether every byte reached the reading handler exactly once.
//   zelvax-throughput SECONDS  ->  "sent N read M runs R"

#include "cycle_harness.h"
#include "event_loop.h"
#include "pseudo_terminal.h"

#include <QCoreApplication>
#include <cstdio>
#include <thread>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    PseudoTerminal line;
    qputenv("ZELVAX_COM1", line.devicePath().toLocal8Bit());
    CycleHarness cycle;
    cycle.chooseLine();
    if (!cycle.port.portOpen())
        return 1;

    std::atomic<bool> stop{false};
    std::atomic<qint64> sent{0};
    std::thread thermometer([&] {
        using namespace std::chrono;
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
    runEventsFor(std::chrono::seconds(seconds));
    stop = true;
    thermometer.join();
    waitUntil([&] { return cycle.display.charactersRead >= sent; }, std::chrono::seconds(5));
    std::printf("sent %lld read %lld runs %lld\n", static_cast<long long>(sent.load()),
                static_cast<long long>(cycle.display.charactersRead),
                static_cast<long long>(cycle.display.runs));
    return cycle.display.charactersRead == sent ? 0 : 1;
}
