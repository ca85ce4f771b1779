#include "program_icon.h"

#include "icon_pixels.h"

#include <QImage>
#include <QPixmap>

// The pixels are compiled in: QImage takes them as they are, without the image-format
// plugins that reading a file or a resource would make Qt look for.
QIcon programIcon()
{
    QIcon icon;
    for (const IconPixels& pixels : zelvaxIconSizes)
        icon.addPixmap(QPixmap::fromImage(
            QImage(pixels.rgba, pixels.size, pixels.size, QImage::Format_RGBA8888)));
    return icon;
}
