#pragma once
// Screen positions are given in twips: 15 twips make one pixel at 96 dpi.
#include <QRect>
#include <cmath>

namespace platform {

inline int px(double twips) { return static_cast<int>(std::lround(twips / 15.0)); }
inline double twips(int pixels) { return pixels * 15.0; }
inline QRect rectTw(double l, double t, double w, double h) { return QRect(px(l), px(t), px(w), px(h)); }

} // namespace platform
