#pragma once

// The main window: the current, maximum and minimum readings in a frame, the reset button,
// and the menus that end the program, choose the line and show the about box. It owns the
// monitor state, the port and the timers, and forwards every event to the core's handlers.

#include "form2.h"
#include "monitor_context.h"
#include "monitor_state.h"
#include "mscomm.h"
#include "qt_armable_timer.h"
#include "value_display.h"

#include <QMainWindow>
#include <QPointer>
#include <chrono>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
struct LineChoice;

class Form1 final : public QMainWindow, private ValueDisplay
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds aboutBoxTime{5000}; // Timer1

    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    [[nodiscard]] const MonitorState& state() const { return m_state; }
    [[nodiscard]] const MSComm& port() const { return MSComm1; }
    [[nodiscard]] Form2* aboutBox() const { return m_form2; }

    // Ends the program at once: timers stopped, port closed, every window closed.
    void endProgram();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createFrame();
    void createMenus();
    void connectTimers();

    void onCommand1Click();
    void onLineChosen(const LineChoice& line);
    void explainLineEntries();
    void explainText1(const QString& text);
    void onMnuPomocClick();
    void onTimer1Tick();

    void setText1(const QString& text) override;
    [[nodiscard]] QString text1() const override;
    void setText2(const QString& text) override;
    void setText3(const QString& text) override;
    void setCaption(const QString& caption) override;
    void setFrameCaption(const QString& caption) override;

    MonitorState m_state;
    MSComm MSComm1;
    QTimer* Timer1;
    QTimer* Timer3;
    QTimer* Timer4;
    QtArmableTimer m_timer1;
    QtArmableTimer m_timer3;
    QtArmableTimer m_timer4;
    MonitorContext m_context;

    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text3 = nullptr;
    QPushButton* Command1 = nullptr;
    QMenu* mnuLinka = nullptr;
    bool m_lineEntriesExplained = false; // during this opening of the menu
    QPointer<Form2> m_form2;
};
