#include "form2.h"

#include "program_icon.h"
#include "twips.h"
#include "value_field_style.h"

#include <QPlainTextEdit>
#include <QTextOption>

const QString Form2::aboutText = QStringLiteral(u"                      \r\n"
                                                u"ZELVAX v1.1\r\n"
                                                u"Napsal vývojář ZELVAXu pro přítele\r\n"
                                                u"  \r\n"
                                                u"15.11. 1999\r\n");

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window), Text1(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString());
    setWindowIcon(programIcon());
    setFixedSize(fromTwips(3975), fromTwips(1200));
    // Its usual place, up and to the right of the main window; a window manager may
    // choose another.
    move(fromTwips(3645), fromTwips(570));
    setAttribute(Qt::WA_DeleteOnClose);

    Text1->setObjectName(QStringLiteral("Text1"));
    // One pixel taller than the window, so no strip of the window shows below the field.
    Text1->setGeometry(rectFromTwips(0, 0, 3975, 1215));
    Text1->setReadOnly(true);
    Text1->setFrameShape(QFrame::NoFrame);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    applyValueFieldStyle(*Text1, QColor(0, 255, 0));
    QTextOption centred = Text1->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    Text1->document()->setDefaultTextOption(centred);
    // The document splits paragraphs on line feeds and would draw the carriage returns.
    Text1->setPlainText(QString(aboutText).remove(u'\r'));
}
