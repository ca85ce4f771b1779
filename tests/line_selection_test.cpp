#include "fakes.h"
#include "line_selection.h"
#include "line_settings.h"
#include "line_table.h"
#include "reading_handler.h"

#include <gtest/gtest.h>

namespace {

TEST(LineTable, HoldsTheFourLinesInMenuOrder)
{
    struct Row
    {
        const char16_t *name, *menu, *frame, *settings, *port;
    };
    const Row expected[] = {
        {u"mnu96002", u"\u0020\u00209600,N,8,1 - COM2", u"9600,N,8,1 - COM2", u"9600,N,8,1", u"2"},
        {u"mnu192002", u"19200,N,8,1 - COM2", u"19200,N,8,1 - COM2", u"19200,N,8,1", u"2"},
        {u"mnu96001", u"\u0020\u00209600,N,8,1 - COM1", u"9600,N,8,1 - COM1", u"9600,N,8,1", u"1"},
        {u"mnu192001", u"19200,N,8,1 - COM1", u"19200,N,8,1 - COM1", u"19200,N,8,1", u"1"},
    };
    ASSERT_EQ(lineTable.size(), std::size(expected));
    for (std::size_t i = 0; i < lineTable.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lineTable[i].name, QStringView(expected[i].name));
        EXPECT_EQ(lineTable[i].menuCaption, QStringView(expected[i].menu));
        EXPECT_EQ(lineTable[i].frameCaption, QStringView(expected[i].frame));
        EXPECT_EQ(lineTable[i].settings, QStringView(expected[i].settings));
        EXPECT_EQ(lineTable[i].port, QStringView(expected[i].port));
    }
}

TEST(LineSelection, ReopensThePortWithTheLinesSettingsAndRestartsTheDisplay)
{
    FakeWindow window;
    window.port.waiting = QStringLiteral("23.4\r\n");
    runReadingHandler(window.context);
    window.port.calls.clear();

    selectLine(lineTable[1], window.context);

    EXPECT_EQ(window.port.calls, (QStringList{"close", "port 2", "settings 19200,N,8,1", "open"}));
    EXPECT_EQ(window.display.frame, QStringLiteral("19200,N,8,1 - COM2"));
    EXPECT_EQ(window.state.StringNastaveniComu, QStringLiteral("19200,N,8,1"));
    EXPECT_EQ(window.state.PouzityCom, QStringLiteral("2"));
    EXPECT_EQ(window.display.Text1, QStringLiteral("?"));
    EXPECT_EQ(window.display.Text2, QString());
    EXPECT_EQ(window.display.Text3, QString());
    EXPECT_EQ(window.state.MinTeplota, 1000);
    EXPECT_EQ(window.state.MaxTeplota, -1000);
    // What the last reading left stays: its value, its text and the caption.
    EXPECT_DOUBLE_EQ(window.state.Teplota, 23.4);
    EXPECT_EQ(window.state.ZmerenaTeplotaString, QStringLiteral("23.4"));
    EXPECT_EQ(window.display.caption, QStringLiteral(u"ZELVAX   23.4 \u00B0C"));
    EXPECT_TRUE(window.timer3.armed);
}

TEST(LineSelection, AFailedOpenStillStartsTheCycleAndReportsNothing)
{
    FakeWindow window;
    window.port.open = false;
    window.port.refuseOpen = true;
    selectLine(lineTable[3], window.context);
    EXPECT_FALSE(window.port.open);
    EXPECT_EQ(window.display.frame, QStringLiteral("19200,N,8,1 - COM1"));
    EXPECT_EQ(window.display.Text1, QStringLiteral("?"));
    EXPECT_TRUE(window.timer3.armed);
    EXPECT_EQ(window.state.MinTeplota, 1000);

    // Choosing again retries the open.
    window.port.refuseOpen = false;
    selectLine(lineTable[3], window.context);
    EXPECT_TRUE(window.port.open);
}

TEST(LineSelection, KeepsAPendingResetSoTheNextReadingIsTheMinimum)
{
    FakeWindow window;
    resetRecords(window.state);
    selectLine(lineTable[0], window.context);
    EXPECT_EQ(window.state.Start, 1);
    window.port.waiting = QStringLiteral("2000\r\n");
    runReadingHandler(window.context);
    EXPECT_EQ(window.state.MinTeplota, 2000);
    EXPECT_EQ(window.state.MaxTeplota, 2000);
    EXPECT_EQ(window.state.Start, 0);
}

TEST(LineSettings, AcceptsWellFormedSettingsOnly)
{
    const auto parsed = parseLineSettings(u"19200,N,8,1");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->baudRate, 19200);
    EXPECT_EQ(parsed->parity, Parity::None);
    EXPECT_EQ(parsed->dataBits, 8);
    EXPECT_EQ(parsed->stopBits, StopBits::One);
    EXPECT_TRUE(parseLineSettings(u"9600,e,7,2"));

    for (const char16_t* bad :
         {u"", u"9600", u"9600,N,8", u"9600,N,8,1,1", u"9601,N,8,1", u"-9600,N,8,1", u"9600,X,8,1",
          u"9600,NN,8,1", u"9600,N,9,1", u"9600,N,8,3", u" 9600,N,8,1", u"abc,N,8,1"})
        EXPECT_FALSE(parseLineSettings(QStringView(bad))) << QString::fromUtf16(bad).toStdString();
}

} // namespace
