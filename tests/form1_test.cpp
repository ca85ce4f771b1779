// The windows as a user meets them, on Qt's offscreen platform.

#include "event_loop.h"
#include "form1.h"
#include "form2.h"
#include "line_table.h"
#include "prerequisite.h"
#include "pseudo_terminal.h"
#include "qt_translations.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

template <typename T> T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_TRUE(found) << name;
    return found;
}

QAction* action(const Form1& window, const char* name)
{
    return child<QAction>(window, name);
}

bool anyTimerActive(const Form1& window)
{
    const QList<QTimer*> timers = window.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    return std::any_of(timers.begin(), timers.end(), [](QTimer* t) { return t->isActive(); });
}

TEST(MainWindow, StartsWithTheFrameAskingForALineAndEverythingStopped)
{
    Form1 window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ZELVAX"));
    EXPECT_EQ(child<QGroupBox>(window, "Frame1")->title(), QStringLiteral("Nastavte linku"));
    EXPECT_EQ(child<QLabel>(window, "Label1")->text(), QStringLiteral("Teplota "));
    EXPECT_EQ(child<QLabel>(window, "Label2")->text(), QStringLiteral("Maximun"));
    EXPECT_EQ(child<QLabel>(window, "Label3")->text(), QStringLiteral("Minimun "));
    EXPECT_EQ(child<QPushButton>(window, "Command1")->text(),
              QStringLiteral(u"Reset z\u00E1znamu teplot"));
    for (const char* name : {"Text1", "Text2", "Text3"}) {
        auto* field = child<QLineEdit>(window, name);
        EXPECT_EQ(field->text(), QString()) << name;
        EXPECT_TRUE(field->isReadOnly()) << name;
    }
    EXPECT_FALSE(anyTimerActive(window));
    EXPECT_FALSE(window.port().portOpen());
    EXPECT_EQ(window.state().MinTeplota, 1000);
    EXPECT_EQ(window.state().MaxTeplota, -1000);
    EXPECT_FALSE(window.windowIcon().isNull());
}

TEST(MainWindow, PlacesTheControlsAtTheirMeasuredPositions)
{
    Form1 window;
    window.show();
    EXPECT_EQ(window.centralWidget()->size(), QSize(145, 162));
    EXPECT_EQ(window.size(), QSize(145, 162 + window.menuBar()->height()));

    const struct
    {
        const char* name;
        QRect geometry;
    } placed[] = {
        {"Frame1", {0, 8, 145, 153}}, {"Label1", {8, 24, 56, 17}},     {"Text1", {64, 24, 73, 19}},
        {"Label2", {8, 64, 56, 17}},  {"Text2", {64, 64, 73, 19}},     {"Label3", {8, 96, 56, 17}},
        {"Text3", {64, 96, 73, 19}},  {"Command1", {8, 120, 129, 25}},
    };
    for (const auto& [name, geometry] : placed)
        EXPECT_EQ(child<QWidget>(window, name)->geometry(), geometry) << name;

    // Every menu fits on the bar: none hides behind an overflow button.
    for (QAction* menu : window.menuBar()->actions())
        EXPECT_TRUE(window.menuBar()->actionGeometry(menu).right() < window.width())
            << menu->text().toStdString();
}

TEST(MainWindow, ShowsQtsOwnTextsInCzechWhenTheTranslationsAreInstalled)
{
    ZELVAX_REQUIRE(installCzechQtTranslations(*QCoreApplication::instance()),
                   "Qt's Czech translations (qt6-translations-l10n)");
    Form1 window;
    const std::unique_ptr<QMenu> menu(
        child<QLineEdit>(window, "Text1")->createStandardContextMenu());
    QStringList entries;
    for (const QAction* entry : menu->actions())
        entries << entry->text();
    EXPECT_TRUE(entries.join(u'|').contains(QStringLiteral(u"Kopírovat")))
        << entries.join(u'|').toStdString();
}

TEST(MainWindow, ShowsEachValueInItsColourCentredAndBoldOnBlack)
{
    Form1 window;
    const struct
    {
        const char* name;
        QColor colour;
    } fields[] = {{"Text1", QColor(0, 255, 0)},
                  {"Text2", QColor(255, 128, 0)},
                  {"Text3", QColor(0, 255, 255)}};
    for (const auto& [name, colour] : fields) {
        auto* field = child<QLineEdit>(window, name);
        EXPECT_EQ(field->palette().color(QPalette::Active, QPalette::Text), colour) << name;
        EXPECT_EQ(field->palette().color(QPalette::Inactive, QPalette::Text), colour) << name;
        EXPECT_EQ(field->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::black));
        EXPECT_EQ(field->alignment(), Qt::AlignCenter) << name;
        EXPECT_TRUE(field->font().bold()) << name;
        EXPECT_DOUBLE_EQ(field->font().pointSizeF(), 8.25) << name;
    }
}

TEST(MainWindow, TabsThroughTheFieldsThenTheButton)
{
    Form1 window;
    QStringList order;
    QWidget* widget = child<QWidget>(window, "Text1");
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget->objectName() != QStringLiteral("Text1"));
    EXPECT_EQ(order, (QStringList{"Text1", "Text2", "Text3", "Command1"}));
}

TEST(MainWindow, OffersTheMenusWithoutAccessKeysOrShortcutsAndNamesEachLinesDevice)
{
    qputenv("ZELVAX_COM1", "/dev/ttyUSB7");
    Form1 window;
    QStringList bar;
    for (QAction* menu : window.menuBar()->actions())
        bar << menu->text();
    EXPECT_EQ(bar, (QStringList{"Konec", "Linka", "Program"}));

    QStringList entries;
    for (QAction* entry : child<QMenu>(window, "mnuLinka")->actions())
        entries << entry->text();
    QStringList table;
    for (const LineChoice& line : lineTable)
        table << line.menuCaption.toString();
    EXPECT_EQ(entries, table);

    for (QAction* each : window.findChildren<QAction*>()) {
        EXPECT_FALSE(each->text().contains(u'&')) << each->text().toStdString();
        EXPECT_TRUE(each->shortcut().isEmpty()) << each->text().toStdString();
        EXPECT_FALSE(each->isCheckable()) << each->text().toStdString();
    }

    // Hovering over the open menu names, for each line, the device its port would open.
    auto* linka = child<QMenu>(window, "mnuLinka");
    QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    QCoreApplication::sendEvent(linka, &hover);
    EXPECT_TRUE(action(window, "mnu96001")->toolTip().contains(QStringLiteral("/dev/ttyUSB7")));
    EXPECT_FALSE(action(window, "mnu192002")->toolTip().isEmpty()); // whatever this computer has
    qunsetenv("ZELVAX_COM1");
}

TEST(MainWindow, AnnouncesTheFieldsByTheirLabelsToScreenReaders)
{
    Form1 window;
    window.show();
    const struct
    {
        const char* name;
        const char* announced;
    } fields[] = {{"Text1", "Teplota"}, {"Text2", "Maximun"}, {"Text3", "Minimun"}};
    for (const auto& [name, announced] : fields) {
        QAccessibleInterface* field =
            QAccessible::queryAccessibleInterface(child<QWidget>(window, name));
        ASSERT_TRUE(field);
        EXPECT_EQ(field->text(QAccessible::Name), QString::fromLatin1(announced));
    }
    QAccessibleInterface* button =
        QAccessible::queryAccessibleInterface(child<QWidget>(window, "Command1"));
    ASSERT_TRUE(button && button->actionInterface());
    EXPECT_TRUE(button->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));
}

TEST(MainWindow, TheResetButtonRestartsTheRecordsWithoutTouchingTheFields)
{
    PseudoTerminal line;
    qputenv("ZELVAX_COM1", line.devicePath().toLocal8Bit());
    Form1 window;
    action(window, "mnu96001")->trigger();
    line.write("20.5\r\n");
    ASSERT_TRUE(waitUntil([&] { return window.state().Teplota == 20.5; }));
    line.write("25\r\n");
    ASSERT_TRUE(waitUntil([&] { return window.state().Teplota == 25; }));

    child<QPushButton>(window, "Command1")->click();
    EXPECT_EQ(window.state().MinTeplota, 25);
    EXPECT_EQ(window.state().MaxTeplota, 25);
    EXPECT_EQ(window.state().Start, 1);
    EXPECT_EQ(child<QLineEdit>(window, "Text3")->text(), QStringLiteral(u"20.5 \u00B0C"));
    EXPECT_TRUE(anyTimerActive(window)); // the cycle goes on
    qunsetenv("ZELVAX_COM1");
}

TEST(MainWindow, ShowsAReadingInTheCaptionExactlyAsReceived)
{
    PseudoTerminal line;
    qputenv("ZELVAX_COM1", line.devicePath().toLocal8Bit());
    Form1 window;
    window.show();
    action(window, "mnu192001")->trigger();
    // "[*]" would otherwise be taken for the modified-document placeholder and vanish.
    line.write("1.[*]\r\n");
    const QString expected = QStringLiteral(u"ZELVAX   1.[*] \u00B0C");
    EXPECT_TRUE(waitUntil([&] { return window.windowHandle()->title() == expected; }))
        << window.windowHandle()->title().toStdString();
    qunsetenv("ZELVAX_COM1");
}

TEST(MainWindow, KonecStopsEverythingAndClosesTheWindows)
{
    PseudoTerminal line;
    qputenv("ZELVAX_COM1", line.devicePath().toLocal8Bit());
    Form1 window;
    window.show();
    action(window, "mnu96001")->trigger();
    action(window, "mnuPomoc")->trigger();
    ASSERT_TRUE(window.port().portOpen());
    ASSERT_TRUE(window.aboutBox());

    action(window, "mnuKonec")->trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.port().portOpen());
    EXPECT_FALSE(anyTimerActive(window));
    EXPECT_TRUE(waitUntil([&] { return !window.aboutBox(); }, 1s));
    qunsetenv("ZELVAX_COM1");
}

TEST(MainWindow, ClosingItEndsTheProgramEvenWhileTheAboutBoxIsShown)
{
    Form1 window;
    window.show();
    action(window, "mnuPomoc")->trigger();
    ASSERT_TRUE(window.aboutBox() && window.aboutBox()->isVisible());
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(anyTimerActive(window));
    EXPECT_TRUE(waitUntil([&] { return !window.aboutBox(); }, 1s));
}

TEST(AboutBox, HoldsTheNameVersionAndDateInFiveLines)
{
    const QStringList lines = Form2::aboutText.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 6); // five lines, each ended by CR LF
    EXPECT_EQ(lines[0], QString(22, u' '));
    EXPECT_EQ(lines[1], QStringLiteral("ZELVAX v1.1"));
    EXPECT_FALSE(lines[2].trimmed().isEmpty());
    EXPECT_EQ(lines[3], QStringLiteral("  "));
    EXPECT_EQ(lines[4], QStringLiteral("15.11. 1999"));
    EXPECT_EQ(lines[5], QString());

    Form2 box;
    EXPECT_EQ(box.windowTitle(), QString());
    EXPECT_EQ(box.size(), QSize(265, 80));
    EXPECT_EQ(box.text1()->geometry(), QRect(0, 0, 265, 81));
    EXPECT_EQ(box.text1()->toPlainText().split(u'\n'), lines);
    EXPECT_EQ(box.text1()->palette().color(QPalette::Text), QColor(0, 255, 0));
    EXPECT_FALSE(box.windowIcon().isNull());
}

TEST(AboutBox, DisappearsFiveSecondsAfterTheClickAndComesBackFresh)
{
    Form1 window;
    window.show();
    QElapsedTimer clock;
    clock.start();
    action(window, "mnuPomoc")->trigger();
    QPointer<Form2> first = window.aboutBox();
    ASSERT_TRUE(first && first->isVisible());
    EXPECT_FALSE(first->isModal());

    ASSERT_TRUE(waitUntil([&] { return !first; }, 8s));
    EXPECT_GE(clock.elapsed(), 4900);
    EXPECT_LE(clock.elapsed(), 5000 + scaled(2000ms).count());
    EXPECT_FALSE(anyTimerActive(window));

    action(window, "mnuPomoc")->trigger();
    ASSERT_TRUE(window.aboutBox());
    EXPECT_TRUE(window.aboutBox()->isVisible());
}

TEST(AboutBox, ATickAfterTheUserClosedItChangesNothing)
{
    Form1 window;
    window.show();
    action(window, "mnuPomoc")->trigger();
    ASSERT_TRUE(window.aboutBox());
    window.aboutBox()->close();
    EXPECT_TRUE(waitUntil([&] { return !window.aboutBox(); }, 1s));

    runEventsFor(5500ms);
    EXPECT_FALSE(anyTimerActive(window));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ZELVAX"));
}

} // namespace
