#pragma once
// Geometry of the orientation needle, in twips of the compass picture: origin
// at its top-left corner, x to the right, y downwards. Computed in double
// precision and kept in single precision.
#include <cmath>

namespace needle {

struct Line {
    float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

// Left edge of the picture, from the window's inner width. The picture is
// square in intent, and it is its height that is taken off the width.
inline double roseLeft(double innerWidth, double roseHeight) { return (innerWidth - roseHeight) / 2; }

// Needle length: half the picture's height rounded to a whole number, halves
// to even (1027.5 gives 1028), so that a needle pointing north reaches the top.
inline double needleLength(double roseHeight)
{
    const double half = roseHeight / 2;
    const double lower = std::floor(half);
    const double diff = half - lower;
    if (diff > 0.5)
        return lower + 1;
    if (diff < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

// The needle at rest: both ends at the centre of the picture.
inline Line atRest(double roseWidth, double roseHeight)
{
    Line l;
    l.X1 = l.X2 = static_cast<float>(roseWidth / 2);
    l.Y1 = l.Y2 = static_cast<float>(roseHeight / 2);
    return l;
}

// The needle for a bearing in degrees, clockwise from north, starting from the
// start point already in `from`.
inline Line pointing(Line from, double roseHeight, double bearingDegrees)
{
    const double pi = 4 * std::atan(1.0);
    const double r = needleLength(roseHeight);
    const double theta = bearingDegrees / 180 * pi;
    from.X2 = static_cast<float>(from.X1 + r * std::sin(theta));
    from.Y2 = static_cast<float>(from.Y1 - r * std::cos(theta));
    return from;
}

} // namespace needle
