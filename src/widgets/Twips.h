#pragma once

#include <QRect>
#include <cmath>

namespace widgets {

// Window layouts are given in twips; the screen has 15 twips to a pixel.
constexpr int TwipsPerPixel = 15;

inline int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / TwipsPerPixel));
}

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

} // namespace widgets
