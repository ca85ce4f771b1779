#include "program_icon.h"

#include <QPixmap>

// The XPM sources are C arrays: built in, they are decoded by Qt's own XPM reader without
// loading the image-format plugins a file or resource path would make Qt search.
#include "icons/zelvax-16.xpm"
#include "icons/zelvax-32.xpm"

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap(zelvax_32));
    icon.addPixmap(QPixmap(zelvax_16));
    return icon;
}
