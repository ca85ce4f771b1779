#include "fakes.h"
#include "reading_handler.h"

#include <gtest/gtest.h>

namespace {

const QString deg = QStringLiteral(u" \u00B0C");

QString shown(const char16_t* reading)
{
    return QString::fromUtf16(reading) + deg;
}

// The error display: "Error" for the reading, both record fields emptied.
void expectErrorShown(const FakeWindow& window)
{
    EXPECT_EQ(window.display.Text1, QStringLiteral("Error"));
    EXPECT_EQ(window.display.Text2, QString());
    EXPECT_EQ(window.display.Text3, QString());
}

void expectReadings(const FakeWindow& window, double current, double minimum, double maximum)
{
    EXPECT_DOUBLE_EQ(window.state.Teplota, current);
    EXPECT_DOUBLE_EQ(window.state.MinTeplota, minimum);
    EXPECT_DOUBLE_EQ(window.state.MaxTeplota, maximum);
}

// Sends one burst and runs the handler on it, as the read timer would.
void receive(FakeWindow& window, const QString& burst)
{
    window.port.waiting += burst;
    window.timer4.arm();
    runReadingHandler(window.context);
}

struct FirstReadingCase
{
    const char16_t* burst;
    const char16_t* text1; // nullptr: the reading is refused
    double value;
};

class FirstReading : public testing::TestWithParam<FirstReadingCase>
{
};

TEST_P(FirstReading, ShowsWhatTheSecondCharacterAccepts)
{
    const auto [burst, text1, value] = GetParam();
    FakeWindow window;
    receive(window, QString::fromUtf16(burst));

    if (!text1) {
        expectErrorShown(window);
        EXPECT_EQ(window.display.caption, QStringLiteral("ZELVAX"));
        EXPECT_EQ(window.state.MinTeplota, 1000);
        EXPECT_EQ(window.state.MaxTeplota, -1000);
        EXPECT_EQ(window.state.Teplota, 0);
        return;
    }
    const QString expected = shown(text1);
    EXPECT_EQ(window.display.Text1, expected);
    EXPECT_EQ(window.display.caption, QStringLiteral("ZELVAX   ") + expected);
    // Within the sentinels the first reading is both records.
    EXPECT_EQ(window.display.Text2, expected);
    EXPECT_EQ(window.display.Text3, expected);
    expectReadings(window, value, value, value);
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, FirstReading,
    testing::Values(FirstReadingCase{u"23.4\r\n", u"23.4", 23.4},
                    FirstReadingCase{u"-5.2\r\n", u"-5.2", -5.2},
                    FirstReadingCase{u"+21.0\r\n", u"+21.0", 21},
                    FirstReadingCase{u"A.5\r\n", u"A.5", 0}, FirstReadingCase{u"--\r\n", u"--", 0},
                    // The last two characters go whatever they are.
                    FirstReadingCase{u"23.4", u"23", 23},
                    FirstReadingCase{u"1000\r\n", u"1000", 1000},
                    FirstReadingCase{u"-1000\r\n", u"-1000", -1000},
                    // Two readings in one burst: shown whole, valued by the first.
                    FirstReadingCase{u"23.4\r\n23.5\r\n", u"23.4\r\n23.5", 23.4},
                    FirstReadingCase{u"5\r\n", nullptr, 0}, FirstReadingCase{u"\r\n", nullptr, 0},
                    FirstReadingCase{u"7", nullptr, 0}, FirstReadingCase{u"", nullptr, 0},
                    FirstReadingCase{u"x+5\r\n", nullptr, 0},
                    FirstReadingCase{u"\u00B023\r\n", u"\u00B023", 0}));

TEST(ReadingHandler, KeepsTheStoredLengthAndCutText)
{
    FakeWindow window;
    receive(window, QStringLiteral("23.4\r\n"));
    EXPECT_EQ(window.state.DelkaPrijatehoStringu, 6);
    EXPECT_EQ(window.state.ZmerenaTeplotaString, QStringLiteral("23.4"));

    receive(window, QStringLiteral("1"));
    EXPECT_EQ(window.state.DelkaPrijatehoStringu, 1);
    EXPECT_EQ(window.state.ZmerenaTeplotaString, QStringLiteral("1"));
}

TEST(ReadingHandler, ReadingsOutsideTheSentinelsFillOnlyOneRecord)
{
    FakeWindow window;
    receive(window, QStringLiteral("2000\r\n"));
    EXPECT_EQ(window.display.Text2, shown(u"2000"));
    EXPECT_EQ(window.display.Text3, QString());
    EXPECT_EQ(window.state.MaxTeplota, 2000);
    EXPECT_EQ(window.state.MinTeplota, 1000);
}

TEST(ReadingHandler, ALateLineEndIsReadWithTheNextReading)
{
    FakeWindow window;
    receive(window, QStringLiteral("23.4\r"));
    EXPECT_EQ(window.display.Text1, shown(u"23."));
    EXPECT_EQ(window.state.Teplota, 23);

    receive(window, QStringLiteral("\n23.5\r\n"));
    EXPECT_EQ(window.display.Text1, shown(u"\n23.5"));
    EXPECT_DOUBLE_EQ(window.state.Teplota, 23.5);
    EXPECT_DOUBLE_EQ(window.state.MaxTeplota, 23.5);
    EXPECT_DOUBLE_EQ(window.state.MinTeplota, 23);
}

TEST(ReadingHandler, RecordsFollowMinimumAndMaximumWithTies)
{
    FakeWindow window;
    receive(window, QStringLiteral("20\r\n"));
    receive(window, QStringLiteral("25\r\n"));
    EXPECT_EQ(window.display.Text2, shown(u"25"));
    EXPECT_EQ(window.display.Text3, shown(u"20"));

    receive(window, QStringLiteral("22\r\n"));
    EXPECT_EQ(window.display.Text2, shown(u"25"));
    EXPECT_EQ(window.display.Text3, shown(u"20"));

    // A tie is taken again, in the form it now arrives in.
    receive(window, QStringLiteral("25.00\r\n"));
    receive(window, QStringLiteral("+20\r\n"));
    EXPECT_EQ(window.display.Text2, shown(u"25.00"));
    EXPECT_EQ(window.display.Text3, shown(u"+20"));
    EXPECT_EQ(window.state.MinTeplota, 20);
    EXPECT_EQ(window.state.MaxTeplota, 25);
}

TEST(ReadingHandler, ARefusedReadingClearsTheRecordFieldsButKeepsTheRecords)
{
    FakeWindow window;
    receive(window, QStringLiteral("20\r\n"));
    receive(window, QStringLiteral("25\r\n"));
    receive(window, QStringLiteral("?\r\n"));
    expectErrorShown(window);
    // The caption keeps the last accepted reading.
    EXPECT_EQ(window.display.caption, QStringLiteral("ZELVAX   ") + shown(u"25"));
    EXPECT_EQ(window.state.Teplota, 25);

    receive(window, QStringLiteral("22\r\n"));
    EXPECT_EQ(window.display.Text2, QString());
    EXPECT_EQ(window.display.Text3, QString());
    receive(window, QStringLiteral("20\r\n"));
    EXPECT_EQ(window.display.Text3, shown(u"20"));
    EXPECT_EQ(window.display.Text2, QString());
}

TEST(ReadingHandler, ANumberTooLargeForADoubleIsShownAsAnError)
{
    FakeWindow window;
    receive(window, QStringLiteral("21.5\r\n"));
    receive(window, QStringLiteral("1") + QString(400, u'0') + QStringLiteral("\r\n"));
    expectErrorShown(window);
    EXPECT_EQ(window.display.caption, QStringLiteral("ZELVAX   ") + shown(u"21.5"));
    expectReadings(window, 21.5, 21.5, 21.5);
}

TEST(ReadingHandler, AFailedReadShowsAnErrorInsteadOfWhatIsLeftOfTheLastReading)
{
    FakeWindow window;
    receive(window, QStringLiteral("123.4\r\n"));
    window.port.open = false;

    for (int run = 0; run < 3; ++run) {
        runReadingHandler(window.context);
        expectErrorShown(window);
        EXPECT_EQ(window.display.caption, QStringLiteral("ZELVAX   ") + shown(u"123.4"));
        expectReadings(window, 123.4, 123.4, 123.4);
        EXPECT_EQ(window.state.ZmerenaTeplotaString, QString());
    }
}

TEST(ReadingHandler, EveryRunStopsTheReadTimerAndArmsThePoll)
{
    for (const QString& burst :
         {QStringLiteral("23.4\r\n"), QStringLiteral("x\r\n"), QString(), QStringLiteral("9")}) {
        FakeWindow window;
        receive(window, burst);
        EXPECT_FALSE(window.timer4.armed);
        EXPECT_TRUE(window.timer3.armed);
    }
    FakeWindow closed;
    closed.port.open = false;
    closed.timer4.arm();
    runReadingHandler(closed.context);
    EXPECT_FALSE(closed.timer4.armed);
    EXPECT_TRUE(closed.timer3.armed);
}

TEST(ResetOfTheRecords, BeforeAnyReadingRestartsFromZero)
{
    FakeWindow window;
    resetRecords(window.state);
    resetRecords(window.state); // twice is the same as once
    EXPECT_EQ(window.state.MinTeplota, 0);
    EXPECT_EQ(window.state.MaxTeplota, 0);
    EXPECT_EQ(window.state.Start, 1);

    // The next reading is the minimum whatever its value, the maximum only from 0 up.
    receive(window, QStringLiteral("-3\r\n"));
    EXPECT_EQ(window.state.MinTeplota, -3);
    EXPECT_EQ(window.state.MaxTeplota, 0);
    EXPECT_EQ(window.display.Text3, shown(u"-3"));
    EXPECT_EQ(window.display.Text2, QString());
    EXPECT_EQ(window.state.Start, 0);
}

TEST(ResetOfTheRecords, LeavesTheFieldsUntilReadingsRewriteThem)
{
    FakeWindow window;
    receive(window, QStringLiteral("25\r\n"));
    receive(window, QStringLiteral("20\r\n"));
    resetRecords(window.state);
    EXPECT_EQ(window.display.Text2, shown(u"25"));
    EXPECT_EQ(window.display.Text3, shown(u"20"));

    receive(window, QStringLiteral("19\r\n"));
    EXPECT_EQ(window.state.MinTeplota, 19);
    EXPECT_EQ(window.state.MaxTeplota, 20);
    EXPECT_EQ(window.display.Text3, shown(u"19"));
    EXPECT_EQ(window.display.Text2, shown(u"25"));

    receive(window, QStringLiteral("20\r\n"));
    EXPECT_EQ(window.display.Text2, shown(u"20"));
}

TEST(ResetOfTheRecords, ARefusedReadingKeepsTheResetPending)
{
    FakeWindow window;
    receive(window, QStringLiteral("20\r\n"));
    resetRecords(window.state);
    receive(window, QStringLiteral("Err\r\n"));
    EXPECT_EQ(window.state.Start, 1);
    receive(window, QStringLiteral("30\r\n"));
    EXPECT_EQ(window.state.MinTeplota, 30);
    EXPECT_EQ(window.state.Start, 0);
}

} // namespace
