#include "Regional.h"

#include <QRegularExpression>
#include <QStringList>

namespace platform {

QDate timeOnlyDate() { return QDate(1899, 12, 30); }

namespace {

// Removes the time-zone field ("t", "tt", "ttt", "tttt") and the blanks around it.
QString withoutTimeZone(QString format)
{
    static const QRegularExpression tz(QStringLiteral("\\s*\\bt+\\b\\s*"));
    format.replace(tz, QStringLiteral(" "));
    return format.trimmed();
}

QString fourDigitYear(QString format)
{
    static const QRegularExpression yy(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(yy, QStringLiteral("yyyy"));
    return format;
}

// A two-digit year as typed: Qt reads "24" as 1924.
QDate windowYear(QDate d, bool twoDigitYear)
{
    if (!twoDigitYear || !d.isValid())
        return d;
    int y = d.year() % 100;
    int full = y < 30 ? 2000 + y : 1900 + y;
    return QDate(full, d.month(), d.day());
}

// A wall-clock date and time. Where the local clock skips that hour (the
// spring change to summer time), a local QDateTime is invalid and prints as
// nothing; the same fields are then kept with a zone that has no gap.
QDateTime wallClock(QDate d, QTime t)
{
    QDateTime v(d, t);
    if (!v.isValid() && d.isValid() && t.isValid())
        v = QDateTime(d, t, Qt::UTC);
    return v;
}

bool hasTwoDigitYear(const QString &format)
{
    static const QRegularExpression yy(QStringLiteral("(?<!y)yy(?!y)"));
    return yy.match(format).hasMatch();
}

QStringList dateFormats(const QLocale &locale)
{
    QStringList out;
    auto add = [&](const QString &f) {
        if (!f.isEmpty() && !out.contains(f))
            out << f;
    };
    QString s = locale.dateFormat(QLocale::ShortFormat);
    add(fourDigitYear(s));
    add(s);
    // The same order of day, month and year with one-digit fields and either year length.
    QString loose = s;
    loose.replace(QStringLiteral("dd"), QStringLiteral("d")).replace(QStringLiteral("MM"), QStringLiteral("M"));
    add(fourDigitYear(loose));
    static const QRegularExpression yyyy(QStringLiteral("yyyy"));
    QString looseShort = loose;
    looseShort.replace(yyyy, QStringLiteral("yy"));
    add(looseShort);
    add(QStringLiteral("yyyy-MM-dd"));
    return out;
}

QStringList timeFormats(const QLocale &locale)
{
    QStringList out;
    auto add = [&](const QString &f) {
        if (!f.isEmpty() && !out.contains(f))
            out << f;
    };
    add(withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    add(withoutTimeZone(locale.timeFormat(QLocale::ShortFormat)));
    add(QStringLiteral("H:mm:ss"));
    add(QStringLiteral("H:mm"));
    return out;
}

std::optional<QDate> readDate(const QString &text, const QLocale &locale)
{
    for (const QString &f : dateFormats(locale)) {
        QDate d = locale.toDate(text, f);
        if (!d.isValid())
            d = QDate::fromString(text, f);
        if (d.isValid())
            return windowYear(d, hasTwoDigitYear(f));
    }
    return std::nullopt;
}

std::optional<QTime> readTime(const QString &text, const QLocale &locale)
{
    for (const QString &f : timeFormats(locale)) {
        QTime t = locale.toTime(text, f);
        if (!t.isValid())
            t = QTime::fromString(text, f);
        if (t.isValid())
            return t;
    }
    return std::nullopt;
}

} // namespace

QString shortDateFormat(const QLocale &locale)
{
    return fourDigitYear(locale.dateFormat(QLocale::ShortFormat));
}

QString longTimeFormat(const QLocale &locale)
{
    return withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
}

QString formatTime(const QTime &value, const QLocale &locale)
{
    return locale.toString(value, longTimeFormat(locale));
}

QString formatDateTime(const QDateTime &value, const QLocale &locale)
{
    const QDate d = value.date();
    const QTime t = value.time();
    if (d == timeOnlyDate())
        return formatTime(t, locale);
    const QString date = locale.toString(d, shortDateFormat(locale));
    if (t == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + formatTime(t, locale);
}

std::optional<QDateTime> parseDateTime(const QString &input, const QLocale &locale)
{
    const QString text = input.simplified();
    if (text.isEmpty())
        return std::nullopt;

    if (auto d = readDate(text, locale))
        return wallClock(*d, QTime(0, 0));
    if (auto t = readTime(text, locale))
        return wallClock(timeOnlyDate(), *t);

    // A date followed by a time: the date holds no blank in any short format
    // we know, but try every split so that "12/6/2026 5:04:03 PM" works too.
    qsizetype pos = text.indexOf(QLatin1Char(' '));
    while (pos > 0) {
        auto d = readDate(text.left(pos), locale);
        if (d) {
            if (auto t = readTime(text.mid(pos + 1), locale))
                return wallClock(*d, *t);
        }
        pos = text.indexOf(QLatin1Char(' '), pos + 1);
    }
    return std::nullopt;
}

std::optional<double> parseNumber(const QString &input, const QLocale &locale)
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    // [+-] digits [decimal point digits], the digits ASCII ones (read one by
    // one: this runs at each keystroke of a number).
    const QString dec = locale.decimalPoint();
    qsizetype at = 0;
    auto digits = [&] {
        const qsizetype from = at;
        while (at < text.size() && text[at] >= u'0' && text[at] <= u'9')
            ++at;
        return text.mid(from, at - from);
    };
    const QString sign = at < text.size() && (text[at] == u'+' || text[at] == u'-') ? QString(text[at++]) : QString();
    const QString whole = digits();
    QString frac;
    if (!dec.isEmpty() && QStringView(text).mid(at).startsWith(dec)) {
        at += dec.size();
        frac = digits();
    }
    if (at != text.size() || (whole.isEmpty() && frac.isEmpty()))
        return std::nullopt;
    bool ok = false;
    double v = QString(QStringLiteral("%1%2.%3"))
                   .arg(sign, whole.isEmpty() ? QStringLiteral("0") : whole, frac.isEmpty() ? QStringLiteral("0") : frac)
                   .toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

QString toStorage(const QDateTime &value)
{
    if (!value.date().isValid())
        return QString();
    // From the fields, so that a local time in the spring gap is not lost.
    return value.date().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ')
           + value.time().toString(QStringLiteral("HH:mm:ss"));
}

std::optional<QDateTime> fromStorage(const QString &text)
{
    const QDate day = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(10), QStringLiteral(" HH:mm:ss"));
    // (Qt takes an invalid time for midnight: "2024-03-05T23:59:00" must not
    // be read as 00:00 here but by the ISO reading below)
    QDateTime v = time.isValid() ? wallClock(day, time) : QDateTime();
    if (!v.isValid())
        v = QDateTime::fromString(text, Qt::ISODate);
    if (!v.isValid()) {
        QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (d.isValid())
            v = wallClock(d, QTime(0, 0));
    }
    if (!v.isValid())
        return std::nullopt;
    return v;
}

} // namespace platform
