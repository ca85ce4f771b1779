#include "port_listing_unix.h"

#include <QFile>
#include <algorithm>

namespace {

// ttyS<number>: an on-board port, counted first.
std::optional<int> onBoardNumber(const QString& name)
{
    if (!name.startsWith(QLatin1String("ttyS")) || name.size() == 4)
        return std::nullopt;
    bool ok = false;
    const int number = QStringView(name).mid(4).toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

// Compares runs of digits by their value and everything else character by character.
bool naturallyBefore(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i;
            const qsizetype startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            // Leading zeros aside, the longer run is the larger number.
            QStringView runA = QStringView(a).mid(startA, i - startA);
            QStringView runB = QStringView(b).mid(startB, j - startB);
            while (runA.size() > 1 && runA.front() == u'0')
                runA = runA.mid(1);
            while (runB.size() > 1 && runB.front() == u'0')
                runB = runB.mid(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size();
            if (const int order = runA.compare(runB); order != 0)
                return order < 0;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool inPortOrder(const PresentPort& a, const PresentPort& b)
{
    const std::optional<int> onBoardA = onBoardNumber(a.portName);
    const std::optional<int> onBoardB = onBoardNumber(b.portName);
    if (onBoardA && onBoardB)
        return *onBoardA < *onBoardB;
    if (onBoardA || onBoardB)
        return onBoardA.has_value();
    return naturallyBefore(a.portName, b.portName);
}

} // namespace

std::vector<PresentPort> withHardware(std::vector<PresentPort> ports, const QString& ttyClassFolder)
{
    const auto withoutUart = [&](const PresentPort& port) {
        QFile type(ttyClassFolder + u'/' + port.portName + QStringLiteral("/type"));
        // A type that can't be read leaves the port in: better offered than hidden.
        return type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0";
    };
    ports.erase(std::remove_if(ports.begin(), ports.end(), withoutUart), ports.end());
    return ports;
}

std::optional<PresentPort> numberedPort(int port, std::vector<PresentPort> present)
{
    if (port < 1 || static_cast<std::size_t>(port) > present.size())
        return std::nullopt;
    // Only the first n places matter; the ports' names are unique, so the order is total.
    const auto nth = present.begin() + (port - 1);
    std::nth_element(present.begin(), nth, present.end(), inPortOrder);
    return *nth;
}
