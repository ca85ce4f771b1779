#pragma once

// The four lines the user can choose, in the order of the menu entries.

#include <QStringView>
#include <array>

struct LineChoice
{
    QStringView name;         // the menu entry's object name
    QStringView menuCaption;  // shown in the "Linka" menu
    QStringView frameCaption; // shown on the frame once chosen
    QStringView settings;
    QStringView port; // port number as text
};

// The 9600-baud menu captions begin with two blanks so the entries line up.
inline constexpr std::array<LineChoice, 4> lineTable{{
    {u"mnu96002", u"  9600,N,8,1 - COM2", u"9600,N,8,1 - COM2", u"9600,N,8,1", u"2"},
    {u"mnu192002", u"19200,N,8,1 - COM2", u"19200,N,8,1 - COM2", u"19200,N,8,1", u"2"},
    {u"mnu96001", u"  9600,N,8,1 - COM1", u"9600,N,8,1 - COM1", u"9600,N,8,1", u"1"},
    {u"mnu192001", u"19200,N,8,1 - COM1", u"19200,N,8,1 - COM1", u"19200,N,8,1", u"1"},
}};
