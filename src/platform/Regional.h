#pragma once
// The user's regional notation for dates, times and numbers.
//
// Dates are written as "short date, blank, long time" like the rest of the
// desktop, with two corrections over Qt's own formats: the time-zone name Qt
// appends to the long time is dropped (the regional long time does not show it
// and "CEST" does not parse back), and the year is always written with four
// digits so that what is written reads back to the same day.
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

namespace platform {

// The day that stands for "no date, only a time of day".
QDate timeOnlyDate();

QString shortDateFormat(const QLocale &locale = QLocale());
QString longTimeFormat(const QLocale &locale = QLocale());

// Short date + blank + long time; the short date alone at exactly midnight,
// the long time alone for a time-only value.
QString formatDateTime(const QDateTime &value, const QLocale &locale = QLocale());

// The time of day alone, in the long time format.
QString formatTime(const QTime &value, const QLocale &locale = QLocale());

// Reads a date, a time, or a date followed by a time. A time alone gives
// timeOnlyDate(); a date alone gives midnight. Two-digit years fall in
// 1930..2029. Surrounding blanks are allowed; anything else is refused.
std::optional<QDateTime> parseDateTime(const QString &text, const QLocale &locale = QLocale());

// Reads an optional sign, digits and an optional decimal part written with the
// locale's decimal separator; surrounding blanks allowed.
std::optional<double> parseNumber(const QString &text, const QLocale &locale = QLocale());

// Stored form of a date-time value: ISO-8601 "YYYY-MM-DD HH:MM:SS".
QString toStorage(const QDateTime &value);
std::optional<QDateTime> fromStorage(const QString &text);

} // namespace platform
