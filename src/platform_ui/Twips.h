#pragma once
// Screen positions are given in twips: 15 twips make one pixel at 96 dpi.
#include <QRect>
#include <cmath>

namespace platform {

inline constexpr double kTwipsPerPixel = 15.0;

// Whole pixels, for geometry; exact pixels, for drawing.
inline int px(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }
inline double pxF(double twips) { return twips / kTwipsPerPixel; }
inline double twips(int pixels) { return pixels * kTwipsPerPixel; }
inline QRect rectTw(double l, double t, double w, double h) { return QRect(px(l), px(t), px(w), px(h)); }

} // namespace platform
