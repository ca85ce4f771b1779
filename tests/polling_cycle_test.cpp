#include "fakes.h"
#include "line_selection.h"
#include "polling_cycle.h"
#include "reading_handler.h"

#include <gtest/gtest.h>

namespace {

enum class CycleState
{
    Idle,
    Polling,
    WaitingToRead,
    BothArmed
};

CycleState cycleState(const FakeWindow& window)
{
    const bool poll = window.timer3.armed;
    const bool read = window.timer4.armed;
    if (poll && read)
        return CycleState::BothArmed;
    if (poll)
        return CycleState::Polling;
    return read ? CycleState::WaitingToRead : CycleState::Idle;
}

struct PollCase
{
    std::optional<qint64> count; // nothing: the count fails
    CycleState after;
};

class Poll : public testing::TestWithParam<PollCase>
{
};

TEST_P(Poll, ArmsTheReadOnceTwoCharactersWaitOrTheCountFails)
{
    FakeWindow window;
    window.port.open = GetParam().count.has_value();
    window.port.countOverride = GetParam().count;
    window.timer3.arm();
    runPollHandler(window.context);
    EXPECT_EQ(cycleState(window), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, Poll,
    testing::Values(PollCase{0, CycleState::Polling}, PollCase{1, CycleState::Polling},
                    PollCase{2, CycleState::WaitingToRead},
                    PollCase{1024, CycleState::WaitingToRead},
                    PollCase{32767, CycleState::WaitingToRead},
                    // Counts beyond 16 bits fail the conversion rather than wrap to a small
                    // number (65537 would become 1 and the cycle would never read).
                    PollCase{32768, CycleState::WaitingToRead},
                    PollCase{65537, CycleState::WaitingToRead},
                    PollCase{std::nullopt, CycleState::WaitingToRead}));

TEST(PollingCycle, IsIdleUntilALineIsChosen)
{
    FakeWindow window;
    EXPECT_EQ(cycleState(window), CycleState::Idle);
    selectLine(lineTable[0], window.context);
    EXPECT_EQ(cycleState(window), CycleState::Polling);
}

TEST(PollingCycle, OneCharacterWaitsForTheNextUntilTwoAreThere)
{
    FakeWindow window;
    window.timer3.arm();
    window.port.waiting = QStringLiteral("2");
    runPollHandler(window.context);
    runPollHandler(window.context);
    EXPECT_EQ(cycleState(window), CycleState::Polling);

    window.port.waiting += QStringLiteral("3.4\r\n");
    runPollHandler(window.context);
    ASSERT_EQ(cycleState(window), CycleState::WaitingToRead);
    runReadingHandler(window.context);
    EXPECT_EQ(window.display.Text1, QStringLiteral(u"23.4 \u00B0C"));
    EXPECT_EQ(cycleState(window), CycleState::Polling);
}

TEST(PollingCycle, AChoiceWhileWaitingToReadArmsBothUntilTheRead)
{
    FakeWindow window;
    window.port.waiting = QStringLiteral("23.4\r\n");
    window.timer3.arm();
    runPollHandler(window.context);
    ASSERT_EQ(cycleState(window), CycleState::WaitingToRead);

    selectLine(lineTable[2], window.context);
    EXPECT_EQ(cycleState(window), CycleState::BothArmed);

    // A poll with fewer than two characters leaves both armed...
    runPollHandler(window.context);
    EXPECT_EQ(cycleState(window), CycleState::BothArmed);
    // ...and the read that was planned returns the cycle to polling.
    window.port.waiting = QStringLiteral("21.0\r\n");
    runReadingHandler(window.context);
    EXPECT_EQ(cycleState(window), CycleState::Polling);
    EXPECT_EQ(window.display.Text1, QStringLiteral(u"21.0 \u00B0C"));
}

TEST(PollingCycle, AClosedPortReadsAtEveryPollAndShowsTheError)
{
    FakeWindow window;
    window.port.refuseOpen = true;
    window.port.open = false;
    selectLine(lineTable[1], window.context);
    for (int round = 0; round < 3; ++round) {
        runPollHandler(window.context);
        ASSERT_EQ(cycleState(window), CycleState::WaitingToRead);
        runReadingHandler(window.context);
        EXPECT_EQ(window.display.Text1, QStringLiteral("Error"));
        EXPECT_EQ(cycleState(window), CycleState::Polling);
    }
}

} // namespace
