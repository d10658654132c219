#include "ZoneClock.h"

#include "Regional.h"

#include <cmath>

namespace zoneclock {

namespace {
constexpr int secondsPerDay = 24 * 60 * 60;

int secondsOf(QTime t) { return t.hour() * 3600 + t.minute() * 60 + t.second(); }

QTime fromSeconds(long long s)
{
    s %= secondsPerDay;
    if (s < 0)
        s += secondsPerDay;
    return QTime(0, 0).addSecs(static_cast<int>(s));
}
} // namespace

QStringList zoneCaptions()
{
    return {
        QStringLiteral("Îles Midway, GMT - 11h"),
        QStringLiteral("Hawaï, GMT - 10h"),
        QStringLiteral("Alaska, GMT - 09h"),
        QStringLiteral("Côte Ouest USA, GMT - 08h"),
        QStringLiteral("Canada, GMT - 07h"),
        QStringLiteral("Mexique, GMT - 06h"),
        QStringLiteral("Pérou, GMT - 05h"),
        QStringLiteral("Brésil, GMT - 04h"),
        QStringLiteral("Argentine, GMT - 03h"),
        QStringLiteral("Groenland, GMT - 02h"),
        QStringLiteral("Les Açores, GMT - 01h"),
        QStringLiteral("GMT (Greenwich mean time)"),
        QStringLiteral("Madrid, GMT + 01h"),
        QStringLiteral("Grèce, GMT + 02h"),
        QStringLiteral("Koweït, GMT + 03h"),
        QStringLiteral("Afghanistan, GMT + 04h"),
        QStringLiteral("Inde, GMT + 05h"),
        QStringLiteral("Birmanie, GMT + 06h"),
        QStringLiteral("Thaïlande, GMT + 07h"),
        QStringLiteral("Philippines, GMT + 08h"),
        QStringLiteral("Australie, GMT + 09h"),
        QStringLiteral("Nlle Guinée, GMT + 10h"),
        QStringLiteral("Nlle Zélande, GMT + 11h"),
        QStringLiteral("Îles Marshall, GMT + 12h"),
    };
}

QString zoneOffsetText(int index)
{
    // The fraction of a day is taken in single precision, then rounded to the
    // nearest second; a whole day wraps to midnight.
    const float fraction = static_cast<float>(index) / 24.0f;
    const long long seconds = std::llround(static_cast<double>(fraction) * secondsPerDay);
    return formatZoneTime(fromSeconds(seconds));
}

std::optional<QTime> parseDeltaGmt(const QString &stored, const QLocale &locale)
{
    // parseDateTime refuses signs and hours past 23; a date (alone or with a
    // time) is not an offset either.
    const auto v = platform::parseDateTime(stored, locale);
    if (!v || v->date() != platform::timeOnlyDate() || !v->time().isValid())
        return std::nullopt;
    return v->time();
}

QTime computerOffset(const QDateTime &now) { return fromSeconds(now.offsetFromUtc()); }

QTime effectiveDeltaGmt(const QString &stored, const QDateTime &now, const QLocale &locale)
{
    if (auto t = parseDeltaGmt(stored, locale))
        return *t;
    return computerOffset(now);
}

std::optional<QTime> parseZoneOffset(const QString &text)
{
    const QTime t = QTime::fromString(text.trimmed(), QStringLiteral("HH:mm:ss"));
    if (!t.isValid())
        return std::nullopt;
    return t;
}

QTime zoneTime(const QDateTime &now, QTime delta, QTime zone)
{
    const long long local = secondsOf(now.time());
    return fromSeconds(12LL * 3600 + (local - secondsOf(delta)) + secondsOf(zone));
}

QString formatZoneTime(QTime t) { return t.toString(QStringLiteral("HH:mm:ss")); }

QString zoneTimeText(const QDateTime &now, const QString &storedDelta, const QString &zoneTag,
                     const QLocale &locale)
{
    const QTime zone = parseZoneOffset(zoneTag).value_or(QTime(12, 0));
    return formatZoneTime(zoneTime(now, effectiveDeltaGmt(storedDelta, now, locale), zone));
}

QPoint cascadePlace(QRect usual, const QVector<QPoint> &taken, QRect screen, int step)
{
    QRect r = usual;
    // Each step moves past one window: as many steps as windows at most.
    for (qsizetype i = 0; i <= taken.size() && taken.contains(r.topLeft()); ++i) {
        r.translate(step, step);
        if (!screen.contains(r))
            r.moveTopLeft(screen.topLeft() + QPoint(step, step));
    }
    return r.topLeft();
}

} // namespace zoneclock
