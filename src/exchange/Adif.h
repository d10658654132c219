#pragma once
// What ADIF 3.1.4, the exchange format of radio logs, says of the fields a
// log of Sequanel fills, and how the columns of Transmission become them and
// come back from them.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <unordered_map>

namespace exchange::adif {

inline constexpr char kVersion[] = "3.1.4";
inline constexpr char kProgramId[] = "Sequanel";
// Application fields of the program: APP_SEQUANEL_<name of the column>.
inline constexpr char kAppPrefix[] = "APP_SEQUANEL_";
inline constexpr char kAppProgram[] = "SEQUANEL";

// The band of ADIF's band enumeration a frequency (in hertz) lies in; empty
// when ADIF has none there (the 11 m band of the CB has none).
QByteArray bandOf(qint64 hertz);

// MODE and SUBMODE for a stored mode (column Bande): a mode of ADIF's
// enumeration as it is, a submode (USB, LSB...) under its mode (SSB...).
// Both empty when ADIF knows no such mode.
struct Mode {
    QByteArray mode, submode;
};
Mode modeOf(QByteArrayView stored);

// A text for a standard ADI field, which holds ASCII only: accents become
// their base letters (Hélène -> Helene), a few signs their usual ASCII
// spelling (œ -> oe, € -> EUR, « -> "), anything else "?". Tabs become
// blanks, and so do line breaks unless the field has several lines.
QByteArray toAscii(QStringView text, bool multiline = false);

// The name of a column in its application field ("Prefixe" for Préfixe,
// "No" for N°): ASCII, so that other programs read the name.
const QStringList &appFieldNames();

// The call sign as the listing writes it: its parts in order, a blank
// between two, the empty ones left out.
QString callSignText(const QStringList &parts);
// The five parts (Préfixe, Qrz1, Qrz2, Qrz3, N°) of a CALL: a whole number
// first is the prefix, a whole number last the number, the words between
// (at most three) the words; a call sign of another shape ("F4ABC") is one
// word. Nothing when it has more than three words.
std::optional<QStringList> callSignParts(const QString &call);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
qint64 daysFromCivil(int year, int month, int day);
void civilFromDays(qint64 days, int *year, int *month, int *day);

// A stored date (column Date) as a wall-clock time in seconds since 1970
// read as if UTC; nothing when it is not a date. A time alone stands on
// its day, 30 December 1899.
std::optional<qint64> storedWallClock(QByteArrayView stored);
// True when stored is a date in the stored form exactly (a real day and time).
bool isStoredForm(QByteArrayView stored);
// The stored form "yyyy-MM-dd hh:mm:ss" of a wall-clock time.
QByteArray storedText(qint64 wallClock);

// The computer's time zone, read from its rules (TZ and the zone database):
// the offset from UTC in force at each instant. A stored date is a local
// wall-clock time; ADIF's QSO_DATE and TIME_ON are UTC.
class ZoneRules
{
public:
    ZoneRules();
    // The UTC instant (seconds since 1970) of a wall-clock time given as
    // seconds since 1970 read as if it were UTC. The hour the autumn change
    // repeats is taken in its first pass (summer time); a time the spring
    // change skips is read with the offset in force before it, as a clock
    // not yet put forward would show it.
    qint64 toUtc(qint64 wallClock);
    // The wall-clock time (seconds read as if UTC) of a UTC instant.
    qint64 toLocal(qint64 utc);

private:
    int offsetAt(qint64 utc);
    std::unordered_map<qint64, int> m_hours;     // offset of the UTC hours that hold no change
    std::unordered_map<qint64, int> m_wallHours; // offset of the wall-clock hours a day away from any
};

} // namespace exchange::adif
