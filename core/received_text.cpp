#include "received_text.h"

namespace {

QString escaped(QChar character)
{
    switch (character.unicode()) {
    case u'\r':
        return QStringLiteral("\\r");
    case u'\n':
        return QStringLiteral("\\n");
    case u'\t':
        return QStringLiteral("\\t");
    case u'\\':
        return QStringLiteral("\\\\");
    default:
        break;
    }
    const uint code = character.unicode(); // arg() takes uint on every Qt version
    if (code >= 0x20 && code < 0x7F)
        return QString(character);
    // Each received byte is one character up to 0xFF; anything wider is written in full.
    if (code <= 0xFF)
        return QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
}

} // namespace

QString printableExcerpt(QStringView received)
{
    QString excerpt;
    for (const QChar character : received) {
        const QString piece = escaped(character);
        // An escape is never split, so the excerpt may stop a little short of the limit.
        if (excerpt.size() + piece.size() > receivedExcerptLength)
            return excerpt + QChar(0x2026);
        excerpt += piece;
    }
    return excerpt;
}
