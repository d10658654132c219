#pragma once
// The time arithmetic of the clock windows, as plain functions.
//
// Times of day are handled as whole seconds since midnight. A zone is given by
// its offset text: index/24 of a day as "hh:mm:ss", so that 12:00:00 stands
// for Greenwich time, 01:00:00 for twelve hours less one behind it and
// 00:00:00 (a whole day) for twelve hours ahead.
#include <QDateTime>
#include <QLocale>
#include <QPoint>
#include <QRect>
#include <QVector>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

namespace zoneclock {

// Number of zone items; indexes run from 1 to zoneCount().
constexpr int zoneCount() { return 24; }

// The captions of the 24 zone items, index 1 first.
QStringList zoneCaptions();

// index/24 of a day, computed in single precision, as "hh:mm:ss";
// "00:00:00" for 24.
QString zoneOffsetText(int index);

// Reads a stored DeltaGMT as a time of day, in the user's regional time
// notation (or plain H:mm / H:mm:ss). Empty text, other text, a date, a
// negative value or 24:00 and beyond give nullopt.
std::optional<QTime> parseDeltaGmt(const QString &stored, const QLocale &locale = QLocale());

// The offset of the computer's clock from Greenwich at the moment now (summer
// time included), as a time of day: a clock behind Greenwich by five hours
// gives 19:00.
QTime computerOffset(const QDateTime &now);

// The offset actually used: the stored value when it reads as a time of day,
// else the computer's own offset at the moment now.
QTime effectiveDeltaGmt(const QString &stored, const QDateTime &now, const QLocale &locale = QLocale());

// Reads a zone offset text ("hh:mm:ss"); nullopt when it is not one.
std::optional<QTime> parseZoneOffset(const QString &text);

// Zone time = 12:00:00 + (now - delta) + zone, modulo a day. The
// milliseconds of now are dropped, as the display has whole seconds.
QTime zoneTime(const QDateTime &now, QTime delta, QTime zone);

// "hh:mm:ss", hours 00 to 23.
QString formatZoneTime(QTime t);

// One tick of a clock window: the text shown for the given local time, stored
// DeltaGMT (empty when there is none) and zone offset text. An offset text
// that cannot be read counts as 12:00:00 (Greenwich time).
QString zoneTimeText(const QDateTime &now, const QString &storedDelta, const QString &zoneTag,
                     const QLocale &locale = QLocale());

// Where a new clock window goes: its usual place, stepped down and right by
// step while another window stands exactly there; back to the top left of the
// screen, one step in, when the next step would leave the screen.
QPoint cascadePlace(QRect usual, const QVector<QPoint> &taken, QRect screen, int step);

} // namespace zoneclock
