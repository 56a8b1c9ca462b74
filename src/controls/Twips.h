#pragma once

#include <QColor>
#include <QRect>

// Positions and sizes are laid out in twips: 15 to a pixel at 96 dots per inch.
constexpr int twips(int n)
{
    return (n + 7) / 15;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Colours are written as &H00BBGGRR& values.
inline QColor bgrColor(unsigned bbggrr)
{
    return QColor(int(bbggrr & 0xff), int((bbggrr >> 8) & 0xff), int((bbggrr >> 16) & 0xff));
}

// The blue of the main window, its tool bar and its panels.
inline QColor mainBlue()
{
    return QColor(0, 0, 192);
}
