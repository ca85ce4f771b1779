#pragma once

// Narrower menu-bar items than the style's own, so the three menus fit above the window's
// narrow client area instead of widening the window or hiding behind an overflow button.

#include <QProxyStyle>

class CompactMenuBarStyle final : public QProxyStyle
{
public:
    // Draws everything else as the application's style does.
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};
