#pragma once

// Where the handlers show what they found: the three value fields, the frame caption and
// the main window's caption.

#include <QString>

class ValueDisplay
{
public:
    virtual ~ValueDisplay() = default;

    virtual void setText1(const QString& text) = 0; // current reading
    [[nodiscard]] virtual QString text1() const = 0;
    virtual void setText2(const QString& text) = 0; // maximum record
    virtual void setText3(const QString& text) = 0; // minimum record
    virtual void setCaption(const QString& caption) = 0;
    virtual void setFrameCaption(const QString& caption) = 0;
};
