#include "compact_menu_bar_style.h"

namespace {
constexpr int itemPadding = 6; // horizontal, both sides together
} // namespace

int CompactMenuBarStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                     const QWidget* widget) const
{
    if (metric == PM_MenuBarItemSpacing || metric == PM_MenuBarHMargin)
        return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize CompactMenuBarStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                            const QSize& size, const QWidget* widget) const
{
    if (type == CT_MenuBarItem) {
        QSize item = QProxyStyle::sizeFromContents(type, option, size, widget);
        item.setWidth(size.width() + itemPadding);
        return item;
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}
