#include "program_icon.h"

#include <QPixmap>

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/icons/zelvax-32.xpm")));
    icon.addPixmap(QPixmap(QStringLiteral(":/icons/zelvax-16.xpm")));
    return icon;
}
