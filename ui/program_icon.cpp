#include "program_icon.h"

#include "icon_pixels.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace {

// Makes each pixmap when it is asked for, straight from the compiled-in pixels, and keeps
// none: a window system copies the icon once, so holding decoded copies in every window
// would only cost memory. The pixels need no decoding, so no image-format plugin is loaded
// either, as reading a file or a resource would.
class CompiledIconEngine final : public QIconEngine
{
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const IconPixels& pixels = nearestAtLeast(std::max(size.width(), size.height()));
        QPixmap pixmap = QPixmap::fromImage(
            QImage(pixels.rgba, pixels.size, pixels.size, QImage::Format_RGBA8888));
        if (pixmap.size() == size)
            return pixmap;
        return pixmap.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const IconPixels& pixels : zelvaxIconSizes)
            sizes.append(QSize(pixels.size, pixels.size));
        return sizes;
    }

    QIconEngine* clone() const override { return new CompiledIconEngine; }
    QString key() const override { return QStringLiteral("zelvax-compiled"); }

private:
    // The smallest that is large enough, so the scaling only ever shrinks; else the largest.
    static const IconPixels& nearestAtLeast(int extent)
    {
        for (const IconPixels& pixels : zelvaxIconSizes)
            if (pixels.size >= extent)
                return pixels;
        return zelvaxIconSizes.back();
    }
};

} // namespace

QIcon programIcon()
{
    return QIcon(new CompiledIconEngine);
}
