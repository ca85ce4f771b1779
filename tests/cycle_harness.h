#pragma once

// The polling cycle with its real parts (the serial port, Qt's timers) and a display that
// counts what every run of the reading handler took, so a test can check that every byte
// sent was read exactly once.

#include "line_selection.h"
#include "monitor_context.h"
#include "mscomm.h"
#include "polling_cycle.h"
#include "qt_armable_timer.h"
#include "reading_handler.h"

#include <QObject>
#include <QTimer>

class CountingDisplay final : public ValueDisplay
{
public:
    explicit CountingDisplay(const MonitorState& state) : m_state(state) {}

    // Every run of the reading handler writes Text1 exactly once, after it has read.
    void setText1(const QString& text) override
    {
        m_text1 = text;
        ++runs;
        charactersRead += m_state.DelkaPrijatehoStringu;
    }
    QString text1() const override { return m_text1; }
    void setText2(const QString&) override {}
    void setText3(const QString&) override {}
    void setCaption(const QString&) override {}
    void setFrameCaption(const QString&) override {}

    qint64 runs = 0;
    qint64 charactersRead = 0;

private:
    const MonitorState& m_state;
    QString m_text1;
};

class CycleHarness final : public QObject
{
public:
    CycleHarness()
    {
        setRecordSentinels(state);
        connect(&pollTimer, &QTimer::timeout, this, [this] { runPollHandler(context); });
        connect(&readTimer, &QTimer::timeout, this, [this] { runReadingHandler(context); });
    }

    // Chooses COM1 at 19200 baud; the line selection's own "?" is not a run.
    void chooseLine()
    {
        selectLine(lineTable[3], context);
        display.runs = 0;
        display.charactersRead = 0;
    }

    MonitorState state;
    MSComm port;
    CountingDisplay display{state};
    QTimer pollTimer;
    QTimer readTimer;
    QtArmableTimer timer3{pollTimer, pollInterval};
    QtArmableTimer timer4{readTimer, readDelay};
    MonitorContext context{state, port, display, timer3, timer4};
};
