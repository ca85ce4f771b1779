#pragma once

// The window's layout is measured in twips; Qt places widgets in device-independent pixels.

#include <QRect>

inline constexpr int twipsPerPixel = 15;

constexpr int fromTwips(int twips)
{
    return twips / twipsPerPixel;
}

constexpr QRect rectFromTwips(int left, int top, int width, int height)
{
    return {fromTwips(left), fromTwips(top), fromTwips(width), fromTwips(height)};
}
