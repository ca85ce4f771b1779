#include "compact_menu_bar_style.h"

#include <QStyleOptionMenuItem>

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

void CompactMenuBarStyle::drawControl(ControlElement element, const QStyleOption* option,
                                      QPainter* painter, const QWidget* widget) const
{
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    // Windows 11's style draws an item's text 11 px in from either side, a point larger than
    // the bar measured it: in a narrow item it would run into the next one. It draws the
    // item's background and highlight here, and the text goes in the middle of the item.
    if (element != CE_MenuBarItem || !item || baseStyle()->name() != QLatin1String("windows11")) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionMenuItem background = *item;
    background.text.clear();
    QProxyStyle::drawControl(element, &background, painter, widget);
    int alignment = Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    if (!proxy()->styleHint(SH_UnderlineShortcut, item, widget))
        alignment |= Qt::TextHideMnemonic;
    proxy()->drawItemText(painter, item->rect, alignment, item->palette,
                          item->state.testFlag(State_Enabled), item->text, QPalette::ButtonText);
}
