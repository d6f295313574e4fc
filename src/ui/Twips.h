#pragma once

#include <QRect>
#include <QSize>

// Window layouts are written in twips, 1/1440 inch, as the layout tables give them. At 96 dots
// per inch a pixel is 15 twips.
namespace Twips {

inline constexpr int PerPixel = 15;

// Whole pixels for a length in twips: every layout value is a multiple of 15 twips.
constexpr int toPixels(int twips)
{
    return twips / PerPixel;
}

// The pixel size of a width and height in twips.
constexpr QSize size(int width, int height)
{
    return QSize(toPixels(width), toPixels(height));
}

// The pixel geometry of a control laid out by its Left, Top, Width and Height in twips, relative
// to its container's client area.
constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
