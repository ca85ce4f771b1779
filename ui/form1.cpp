#include "form1.h"

#include "compact_menu_bar_style.h"
#include "form2.h"
#include "line_selection.h"
#include "line_table.h"
#include "polling_cycle.h"
#include "port_explanation.h"
#include "port_mapping.h"
#include "program_icon.h"
#include "reading_handler.h"
#include "twips.h"
#include "value_field_style.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

namespace {

const QString programName = QStringLiteral("ZELVAX");
constexpr qreal dialogFontPointSize = 8;
constexpr int labelWidth = 960 - 120; // twips, from a label's left edge to its field

// Qt reads "[*]" in a window title as a placeholder for the modified mark; a doubled one
// stands for itself, so a reading text reaches the caption as it was received.
QString literalTitle(const QString& caption)
{
    return QString(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

QLineEdit* createValueField(QWidget* parent, const char* name, const QColor& color)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignCenter);
    applyValueFieldStyle(*field, color);
    return field;
}

// Writing a field's text, even the same text again, tells a screen reader that the text
// changed, and it reads the field out again: a failed line would be announced as "Error" at
// every run of the cycle. Only a change is written; what the field shows is the same.
void setFieldText(QLineEdit& field, const QString& text)
{
    if (field.text() != text)
        field.setText(text);
}

void setExplanation(QWidget& widget, const QString& text)
{
    if (widget.toolTip() == text)
        return;
    widget.setToolTip(text);
    widget.setAccessibleDescription(text);
}

QLabel* createLabel(QWidget* parent, const char* name, const QString& text, QLineEdit* buddy)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    // A screen reader announces each field by the label it belongs to.
    label->setBuddy(buddy);
    buddy->setAccessibleName(text.trimmed());
    return label;
}

} // namespace

Form1::Form1(QWidget* parent)
    : QMainWindow(parent), Timer1(new QTimer(this)), Timer3(new QTimer(this)),
      Timer4(new QTimer(this)), m_timer1(*Timer1, aboutBoxTime), m_timer3(*Timer3, pollInterval),
      m_timer4(*Timer4, readDelay), m_context{m_state, MSComm1, *this, m_timer3, m_timer4}
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(programName);
    setWindowIcon(programIcon());
    // The layout is measured for an 8-point dialog font; the toolkit's face at its usual
    // larger size would clip "Maximun" and the button's caption.
    QFont dialogFont = font();
    dialogFont.setPointSizeF(dialogFontPointSize);
    setFont(dialogFont);
    createFrame();
    createMenus();
    connectTimers();
    // The window is as large as its client area and menu bar need, and no larger.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    // Every timer is stopped and the port closed: nothing is received until a line is chosen.
    setRecordSentinels(m_state);
}

Form1::~Form1() = default;

void Form1::createFrame()
{
    auto* client = new QWidget(this);
    client->setFixedSize(fromTwips(2175), fromTwips(2430));
    setCentralWidget(client);

    Frame1 = new QGroupBox(QStringLiteral("Nastavte linku"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(rectFromTwips(0, 120, 2175, 2295));

    Text1 = createValueField(Frame1, "Text1", QColor(0, 255, 0));
    Text2 = createValueField(Frame1, "Text2", QColor(255, 128, 0));
    Text3 = createValueField(Frame1, "Text3", QColor(0, 255, 255));
    Label1 = createLabel(Frame1, "Label1", QStringLiteral("Teplota "), Text1);
    Label2 = createLabel(Frame1, "Label2", QStringLiteral("Maximun"), Text2);
    Label3 = createLabel(Frame1, "Label3", QStringLiteral("Minimun "), Text3);
    Command1 = new QPushButton(QStringLiteral(u"Reset záznamu teplot"), Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));

    // The labels reach to their fields rather than the measured 735 twips: the toolkit's font
    // is wider than the one the layout was measured with, and at 150 % or 200 % scale the
    // last letter of "Maximun" would be cut off. The text stays where it was.
    Label1->setGeometry(rectFromTwips(120, 360, labelWidth, 255));
    Text1->setGeometry(rectFromTwips(960, 360, 1095, 285));
    Label2->setGeometry(rectFromTwips(120, 960, labelWidth, 255));
    Text2->setGeometry(rectFromTwips(960, 960, 1095, 285));
    Label3->setGeometry(rectFromTwips(120, 1440, labelWidth, 255));
    Text3->setGeometry(rectFromTwips(960, 1440, 1095, 285));
    Command1->setGeometry(rectFromTwips(120, 1800, 1935, 375));

    // Labels and the frame take no focus; the fields and the button follow each other in
    // the order the window lists them.
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Command1);

    connect(Command1, &QPushButton::clicked, this, &Form1::onCommand1Click);
}

void Form1::createMenus()
{
    auto* compact = new CompactMenuBarStyle;
    compact->setParent(menuBar());
    menuBar()->setStyle(compact);
    // No '&' anywhere: the entries have neither access keys nor shortcuts.
    QAction* mnuKonec = menuBar()->addAction(QStringLiteral("Konec"));
    mnuKonec->setObjectName(QStringLiteral("mnuKonec"));
    connect(mnuKonec, &QAction::triggered, this, &Form1::endProgram);

    mnuLinka = menuBar()->addMenu(QStringLiteral("Linka"));
    mnuLinka->setObjectName(QStringLiteral("mnuLinka"));
    // Each entry names, on hover, the device its port would open right now. Listing the
    // ports takes milliseconds and loads the system's device database, so it waits for the
    // first tooltip of each opening: a menu opened to pick a line opens at once.
    mnuLinka->setToolTipsVisible(true);
    mnuLinka->installEventFilter(this);
    connect(mnuLinka, &QMenu::aboutToShow, this, [this] { m_lineEntriesExplained = false; });
    for (const LineChoice& line : lineTable) {
        QAction* entry = mnuLinka->addAction(line.menuCaption.toString());
        entry->setObjectName(line.name.toString());
        entry->setData(line.port.toInt());
        connect(entry, &QAction::triggered, this, [this, &line] { onLineChosen(line); });
    }

    QAction* mnuPomoc = menuBar()->addAction(QStringLiteral("Program"));
    mnuPomoc->setObjectName(QStringLiteral("mnuPomoc"));
    connect(mnuPomoc, &QAction::triggered, this, &Form1::onMnuPomocClick);
}

void Form1::connectTimers()
{
    connect(Timer1, &QTimer::timeout, this, &Form1::onTimer1Tick);
    connect(Timer3, &QTimer::timeout, this, [this] { runPollHandler(m_context); });
    connect(Timer4, &QTimer::timeout, this, [this] { runReadingHandler(m_context); });
}

void Form1::endProgram()
{
    m_timer1.stop();
    m_timer3.stop();
    m_timer4.stop();
    if (MSComm1.portOpen())
        static_cast<void>(MSComm1.setPortOpen(false));
    if (m_form2)
        m_form2->close();
    hide();
    QCoreApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program even while the about box is shown.
    endProgram();
    event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mnuLinka && event->type() == QEvent::ToolTip && !m_lineEntriesExplained) {
        explainLineEntries();
        m_lineEntriesExplained = true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::onCommand1Click()
{
    resetRecords(m_state);
}

void Form1::onLineChosen(const LineChoice& line)
{
    // The choice writes "?" into Text1, which explains the frame's new device too.
    selectLine(line, m_context);
}

void Form1::explainLineEntries()
{
    // Ports come and go (an adapter plugged in after start), so they are looked up afresh
    // in every opening of the menu.
    PortLookup ports;
    for (QAction* entry : mnuLinka->actions()) {
        const int port = entry->data().toInt();
        entry->setToolTip(lineEntryExplanation(port, ports.deviceForPort(port)));
    }
}

void Form1::explainText1(const QString& text)
{
    if (text != errorText) {
        setExplanation(*Text1, QString());
        return;
    }
    // The port not receiving is the cause of the error; otherwise the reading was rejected.
    setExplanation(*Text1, MSComm1.receiving() ? rejectedReadingExplanation(MSComm1.lastInput())
                                               : portFailureExplanation(MSComm1.report()));
}

void Form1::onMnuPomocClick()
{
    if (!m_form2)
        m_form2 = new Form2(this);
    m_form2->show();
    m_timer1.arm();
    // The box is not modal: the main window keeps the keyboard.
    activateWindow();
}

void Form1::onTimer1Tick()
{
    m_timer1.stop();
    // The user may have closed the box already; then the tick has nothing to take away.
    if (m_form2) {
        m_form2->hide();
        delete m_form2;
    }
}

void Form1::setText1(const QString& text)
{
    setFieldText(*Text1, text);
    // The cause may change under an unchanged "Error": a rejected reading, then a lost device.
    explainText1(text);
    // Every line choice and every run of the reading handler come here, so the frame follows
    // the port: the device chosen, the one that failed to open, or the one that went away.
    setExplanation(*Frame1, chosenDeviceExplanation(MSComm1.report()));
}

QString Form1::text1() const
{
    return Text1->text();
}

void Form1::setText2(const QString& text)
{
    setFieldText(*Text2, text);
}

void Form1::setText3(const QString& text)
{
    setFieldText(*Text3, text);
}

void Form1::setCaption(const QString& caption)
{
    setWindowTitle(literalTitle(caption));
}

void Form1::setFrameCaption(const QString& caption)
{
    Frame1->setTitle(caption);
}
