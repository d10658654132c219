#include "Adif.h"

#include "Regional.h"

#include <QRegularExpression>

#include <cstdio>
#include <ctime>
#include <iterator>

namespace exchange::adif {

namespace {

// ADIF 3.1.4's band enumeration, edges in hertz (both included).
struct Band {
    const char *name;
    qint64 low, high;
};
constexpr Band kBands[] = {
    {"2190m", 135'700, 137'800},
    {"630m", 472'000, 479'000},
    {"560m", 501'000, 504'000},
    {"160m", 1'800'000, 2'000'000},
    {"80m", 3'500'000, 4'000'000},
    {"60m", 5'060'000, 5'450'000},
    {"40m", 7'000'000, 7'300'000},
    {"30m", 10'100'000, 10'150'000},
    {"20m", 14'000'000, 14'350'000},
    {"17m", 18'068'000, 18'168'000},
    {"15m", 21'000'000, 21'450'000},
    {"12m", 24'890'000, 24'990'000},
    {"10m", 28'000'000, 29'700'000},
    {"8m", 40'000'000, 45'000'000},
    {"6m", 50'000'000, 54'000'000},
    {"5m", 54'000'001, 69'900'000},
    {"4m", 70'000'000, 71'000'000},
    {"2m", 144'000'000, 148'000'000},
    {"1.25m", 222'000'000, 225'000'000},
    {"70cm", 420'000'000, 450'000'000},
    {"33cm", 902'000'000, 928'000'000},
    {"23cm", 1'240'000'000, 1'300'000'000},
    {"13cm", 2'300'000'000, 2'450'000'000},
    {"9cm", 3'300'000'000, 3'500'000'000},
    {"6cm", 5'650'000'000, 5'925'000'000},
    {"3cm", 10'000'000'000, 10'500'000'000},
    {"1.25cm", 24'000'000'000, 24'250'000'000},
    {"6mm", 47'000'000'000, 47'200'000'000},
    {"4mm", 75'500'000'000, 81'000'000'000},
    {"2.5mm", 119'980'000'000, 123'000'000'000},
    {"2mm", 134'000'000'000, 149'000'000'000},
    {"1mm", 241'000'000'000, 250'000'000'000},
    {"submm", 300'000'000'000, 7'500'000'000'000},
};

// The modes of ADIF 3.1.4 that are not import-only, and the submodes a log
// of five characters may hold, under their modes.
constexpr const char *kModes[] = {
    "AM",    "ARDOP", "ATV",   "CHIP",   "CLO",    "CONTESTI", "CW",    "DIGITALVOICE", "DOMINO", "DYNAMIC",
    "FAX",   "FM",    "FSK441", "FT8",   "HELL",   "ISCAT",    "JT4",   "JT6M",         "JT9",    "JT44",
    "JT65",  "MFSK",  "MSK144", "MT63",  "OLIVIA", "OPERA",    "PAC",   "PAX",          "PKT",    "PSK",
    "PSK2K", "Q15",   "QRA64", "ROS",    "RTTY",   "RTTYM",    "SSB",   "SSTV",         "T10",    "THOR",
    "THRB",  "TOR",   "V4",    "VOI",    "WINMOR", "WSPR"};
struct Submode {
    const char *submode, *mode;
};
constexpr Submode kSubmodes[] = {
    {"USB", "SSB"},      {"LSB", "SSB"},    {"PCW", "CW"},     {"C4FM", "DIGITALVOICE"}, {"DMR", "DIGITALVOICE"},
    {"DSTAR", "DIGITALVOICE"}, {"FT4", "MFSK"}, {"FST4", "MFSK"}, {"JS8", "MFSK"},        {"Q65", "MFSK"},
    {"JTMS", "MFSK"},    {"PSK31", "PSK"},  {"PSK63", "PSK"},  {"QPSK31", "PSK"},        {"ASCI", "RTTY"},
    {"GTOR", "TOR"},     {"PAC2", "PAC"},   {"PAC3", "PAC"},   {"PAC4", "PAC"},          {"PAX2", "PAX"},
    {"JT65A", "JT65"},   {"JT65B", "JT65"}, {"JT65C", "JT65"}, {"JT9A", "JT9"},          {"JT4A", "JT4"},
};

// What ASCII spells a letter or sign as, for those that lose more than an accent.
struct Spelling {
    char16_t from;
    const char *to;
};
constexpr Spelling kSpellings[] = {
    {u'Œ', "OE"}, {u'œ', "oe"}, {u'Æ', "AE"}, {u'æ', "ae"}, {u'ß', "ss"},  {u'Ø', "O"},   {u'ø', "o"},
    {u'Ð', "D"},  {u'ð', "d"},  {u'Þ', "Th"}, {u'þ', "th"}, {u'€', "EUR"}, {u'«', "\""}, {u'»', "\""},
    {u'“', "\""}, {u'”', "\""}, {u'„', "\""}, {u'‘', "'"},  {u'’', "'"},   {u'‚', "'"},   {u'‹', "'"},
    {u'›', "'"},  {u'–', "-"},  {u'—', "-"},  {u'…', "..."}, {u'•', "*"},  {u'°', "o"},   {u'·', "."},
    {u'×', "x"},  {u'\u00A0', " "}, {u'™', "TM"}, {u'©', "(c)"}, {u'®', "(R)"}, {u'ˆ', "^"}, {u'˜', "~"},
};

bool isWhole(const QString &s)
{
    bool ok = false;
    s.toLongLong(&ok);
    return ok && !s.startsWith(QLatin1Char('+'));
}

} // namespace

QByteArray bandOf(qint64 hertz)
{
    for (const Band &b : kBands)
        if (hertz >= b.low && hertz <= b.high)
            return QByteArray(b.name);
    return {};
}

Mode modeOf(QByteArrayView stored)
{
    const QByteArray upper = stored.trimmed().toByteArray().toUpper();
    for (const char *m : kModes)
        if (upper == m)
            return {upper, {}};
    for (const Submode &s : kSubmodes)
        if (upper == s.submode)
            return {QByteArray(s.mode), upper};
    return {};
}

QByteArray toAscii(QStringView text, bool multiline)
{
    QByteArray out;
    out.reserve(text.size());
    bool plain = !multiline;
    for (QChar c : text)
        plain = plain && c.unicode() >= 0x20 && c.unicode() < 0x7F;
    if (plain)
        return text.toLatin1();
    const QString split = text.toString().normalized(QString::NormalizationForm_D);
    for (QChar c : split) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else if (multiline && (u == '\n' || u == '\r')) {
            out += char(u);
        } else if (u == '\t' || u == '\n' || u == '\r') {
            out += ' ';
        } else if (c.category() != QChar::Mark_NonSpacing) {
            const auto *s = std::find_if(std::begin(kSpellings), std::end(kSpellings),
                                         [u](const Spelling &sp) { return sp.from == u; });
            out += s != std::end(kSpellings) ? s->to : "?";
        }
    }
    return out;
}

const QStringList &appFieldNames()
{
    static const QStringList names{QStringLiteral("Date"),   QStringLiteral("Sequanel"), QStringLiteral("RST"),
                                   QStringLiteral("Mhertz"), QStringLiteral("Hertz"),    QStringLiteral("Bande"),
                                   QStringLiteral("Prefixe"), QStringLiteral("Qrz1"),    QStringLiteral("Qrz2"),
                                   QStringLiteral("Qrz3"),   QStringLiteral("No"),       QStringLiteral("BP"),
                                   QStringLiteral("Ville"),  QStringLiteral("CP"),       QStringLiteral("Pays"),
                                   QStringLiteral("Operateur")};
    return names;
}

QString callSignText(const QStringList &parts)
{
    QStringList present;
    for (const QString &p : parts)
        if (!p.isEmpty())
            present << p;
    return present.join(QLatin1Char(' '));
}

std::optional<QStringList> callSignParts(const QString &call)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList words = call.split(blanks, Qt::SkipEmptyParts);
    QString prefix, number;
    if (words.size() > 1 && isWhole(words.first()))
        prefix = words.takeFirst();
    if (words.size() > 1 && isWhole(words.last()))
        number = words.takeLast();
    if (words.size() > 3)
        return std::nullopt;
    words.resize(3);
    return QStringList{prefix, words[0], words[1], words[2], number};
}

// Howard Hinnant's algorithms for the days of the civil calendar.
qint64 daysFromCivil(int year, int month, int day)
{
    const qint64 y = year - (month <= 2);
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(qint64 days, int *year, int *month, int *day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    *day = int(doy - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = int(yoe + era * 400 + (*month <= 2));
}

namespace {
// The fields of the stored form "yyyy-MM-dd hh:mm:ss" when s is one (a real
// day and time).
bool plainFields(QByteArrayView s, int f[6])
{
    if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':')
        return false;
    static constexpr int kAt[6] = {0, 5, 8, 11, 14, 17}, kSize[6] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i) {
        f[i] = 0;
        for (int j = kAt[i]; j < kAt[i] + kSize[i]; ++j) {
            if (s[j] < '0' || s[j] > '9')
                return false;
            f[i] = f[i] * 10 + (s[j] - '0');
        }
    }
    return QDate::isValid(f[0], f[1], f[2]) && QTime::isValid(f[3], f[4], f[5]);
}
} // namespace

bool isStoredForm(QByteArrayView stored)
{
    int f[6];
    return plainFields(stored, f);
}

std::optional<qint64> storedWallClock(QByteArrayView s)
{
    int f[6];
    if (!plainFields(s, f)) { // another form the log may hold
        const auto v = platform::fromStorage(QString::fromUtf8(s));
        if (!v || !v->isValid())
            return std::nullopt;
        f[0] = v->date().year(), f[1] = v->date().month(), f[2] = v->date().day();
        f[3] = v->time().hour(), f[4] = v->time().minute(), f[5] = v->time().second();
    }
    return daysFromCivil(f[0], f[1], f[2]) * 86400 + f[3] * 3600 + f[4] * 60 + f[5];
}

QByteArray storedText(qint64 wallClock)
{
    const qint64 day = wallClock >= 0 ? wallClock / 86400 : (wallClock - 86399) / 86400;
    const qint64 seconds = wallClock - day * 86400;
    int y, mo, d;
    civilFromDays(day, &y, &mo, &d);
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, int(seconds / 3600),
                                int(seconds / 60 % 60), int(seconds % 60));
    return QByteArray(text, n);
}

ZoneRules::ZoneRules() { ::tzset(); }

int ZoneRules::offsetAt(qint64 utc)
{
    auto exact = [](qint64 t) {
        const std::time_t at = std::time_t(t);
        std::tm local{};
        return ::localtime_r(&at, &local) ? int(local.tm_gmtoff) : 0;
    };
    const qint64 hour = utc >= 0 ? utc / 3600 : (utc - 3599) / 3600;
    if (const auto it = m_hours.find(hour); it != m_hours.end())
        return it->second;
    const int first = exact(hour * 3600), last = exact(hour * 3600 + 3599);
    if (first != last)
        return exact(utc);
    if (m_hours.size() > 100000)
        m_hours.clear();
    m_hours.emplace(hour, first);
    return first;
}

qint64 ZoneRules::toUtc(qint64 wallClock)
{
    // An hour of the wall clock far from any change has one offset, kept.
    const qint64 hour = wallClock >= 0 ? wallClock / 3600 : (wallClock - 3599) / 3600;
    if (const auto it = m_wallHours.find(hour); it != m_wallHours.end())
        return wallClock - it->second;
    // The offsets in force a day before and a day after; an instant fits
    // when the offset in force then is the one it was worked out with.
    const int before = offsetAt(wallClock - 86400), after = offsetAt(wallClock + 86400);
    if (before == after && offsetAt(hour * 3600 - 86400) == before && offsetAt(hour * 3600 + 3600 + 86400) == before) {
        if (m_wallHours.size() > 100000)
            m_wallHours.clear();
        m_wallHours.emplace(hour, before);
    }
    const bool fitsBefore = offsetAt(wallClock - before) == before;
    const bool fitsAfter = offsetAt(wallClock - after) == after;
    if (fitsBefore && fitsAfter)
        return wallClock - std::max(before, after); // the earlier instant: the first pass
    if (fitsAfter)
        return wallClock - after;
    return wallClock - before; // (also the skipped hour)
}

qint64 ZoneRules::toLocal(qint64 utc) { return utc + offsetAt(utc); }

} // namespace exchange::adif
