#include "value_field_style.h"

#include <QPalette>

QFont valueFieldFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

void applyValueFieldStyle(QWidget& field, const QColor& textColor)
{
    QPalette palette = field.palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::black);
        palette.setColor(group, QPalette::Text, textColor);
    }
    field.setPalette(palette);
    field.setFont(valueFieldFont());
}
