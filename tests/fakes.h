#pragma once

// Small stand-ins for the port, the window and the timers, so the handlers' logic can be
// driven step by step without a device, a window or an event loop.

#include "monitor_context.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

class FakePort final : public SerialPort
{
public:
    bool setCommPort(int port) override
    {
        calls << QStringLiteral("port %1").arg(port);
        return !open;
    }
    bool setSettings(const QString& settings) override
    {
        calls << QStringLiteral("settings %1").arg(settings);
        return true;
    }
    bool setPortOpen(bool wanted) override
    {
        calls << (wanted ? QStringLiteral("open") : QStringLiteral("close"));
        if (wanted == open || (wanted && refuseOpen))
            return false;
        open = wanted;
        if (!open)
            waiting.clear(); // as the real port, closing discards what waits
        return true;
    }
    bool portOpen() const override { return open; }

    std::optional<qint64> inBufferCount() override
    {
        if (!open)
            return std::nullopt;
        return countOverride ? *countOverride : waiting.size();
    }
    std::optional<QString> input() override
    {
        if (!open)
            return std::nullopt;
        return std::exchange(waiting, QString());
    }

    bool open = true;
    bool refuseOpen = false;
    QString waiting;
    std::optional<qint64> countOverride;
    QStringList calls;
};

class FakeDisplay final : public ValueDisplay
{
public:
    void setText1(const QString& text) override { Text1 = text; }
    QString text1() const override { return Text1; }
    void setText2(const QString& text) override { Text2 = text; }
    void setText3(const QString& text) override { Text3 = text; }
    void setCaption(const QString& text) override { caption = text; }
    void setFrameCaption(const QString& text) override { frame = text; }

    QString Text1, Text2, Text3;
    QString caption = QStringLiteral("ZELVAX");
    QString frame = QStringLiteral("Nastavte linku");
};

class FakeTimer final : public ArmableTimer
{
public:
    void arm() override { armed = true; }
    void stop() override { armed = false; }
    bool isArmed() const override { return armed; }

    bool armed = false;
};

// A window's worth of fakes, wired the way the main window wires the real parts.
struct FakeWindow
{
    FakeWindow() { setRecordSentinels(state); }

    MonitorState state;
    FakePort port;
    FakeDisplay display;
    FakeTimer timer3;
    FakeTimer timer4;
    MonitorContext context{state, port, display, timer3, timer4};
};
