// The contacts as ADIF 3.1.4 records: ADI (tagged text) or ADX (XML).
#include "Adif.h"
#include "Messages.h"
#include "RowWriter.h"

#include "Clock.h"
#include "Engine.h"
#include "LogFile.h"
#include "ProgramFolder.h"
#include "Regional.h"

#include <QHash>

#include <array>
#include <string>

namespace exchange {

namespace {

enum Column { Date, Serial, Rst, Mhertz, Hertz, Mode, Prefix, Word1, Word2, Word3, Number, Box, Town, PostCode,
              Country, Operator, kColumns };

// A control character XML 1.0 cannot hold, even written as a reference.
bool xmlForbids(QByteArrayView t)
{
    return std::any_of(t.begin(), t.end(), [](char c) { return uchar(c) < 0x20 && c != '\t' && c != '\n' && c != '\r'; });
}

// The record being written: appending to it costs a copy of the bytes.
using Record = std::string;

Record &operator<<(Record &out, QByteArrayView v)
{
    out.append(v.data(), size_t(v.size()));
    return out;
}

QByteArrayView view(const Record &r) { return QByteArrayView(r.data(), qsizetype(r.size())); }

void appendXml(Record &out, QByteArrayView text)
{
    if (std::none_of(text.begin(), text.end(), [](char c) { return c == '&' || c == '<' || c == '>' || c == '\r'; })) {
        out << text;
        return;
    }
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break; // (a reader turns a bare CR into LF)
        default: out += c;
        }
    }
}

bool isDigits(QByteArrayView t)
{
    return !t.isEmpty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole number of at most nine digits, as the engine writes one.
std::optional<qint64> wholeNumber(QByteArrayView t)
{
    const bool negative = t.startsWith('-');
    if (negative)
        t = t.sliced(1);
    if (t.isEmpty() || t.size() > 9 || !isDigits(t))
        return std::nullopt;
    qint64 v = 0;
    for (const char c : t)
        v = v * 10 + (c - '0');
    return negative ? -v : v;
}

void appendNumber(Record &out, qint64 n, int width = 1)
{
    char digits[24];
    int at = sizeof digits;
    const bool negative = n < 0;
    quint64 u = negative ? 0 - quint64(n) : quint64(n);
    do {
        digits[--at] = char('0' + u % 10);
        u /= 10;
    } while (u || int(sizeof digits) - at < width);
    if (negative)
        digits[--at] = '-';
    out.append(digits + at, size_t(int(sizeof digits) - at));
}

QByteArrayView trimmed(QByteArrayView t)
{
    while (!t.isEmpty() && uchar(t.front()) <= ' ')
        t = t.sliced(1);
    while (!t.isEmpty() && uchar(t.back()) <= ' ')
        t.chop(1);
    return t;
}

// Writes the records straight into the buffer, row after row: a log of a
// million contacts holds few different towns, names and modes, so that what
// a value becomes in ASCII or in ADIF's modes is worked out once.
class AdifWriter : public RowWriter
{
public:
    explicit AdifWriter(bool xml) : m_xml(xml)
    {
        for (const QString &name : adif::appFieldNames())
            m_appOpen << (xml ? QByteArray("<APP PROGRAMID=\"") + adif::kAppProgram + "\" FIELDNAME=\"" + name.toLatin1()
                                    + "\" TYPE=\"I\">"
                              : QByteArray("<") + adif::kAppPrefix + name.toLatin1() + ':');
    }

    void begin(QByteArray &buffer) override
    {
        const QByteArray now = platform::now().toUTC().toString(QStringLiteral("yyyyMMdd HHmmss")).toLatin1();
        Record out;
        if (m_xml)
            out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<ADX>\r\n<HEADER>\r\n";
        else
            out << QByteArray("Sequanel - ADIF ") + adif::kVersion + "\r\n";
        field(out, "ADIF_VER", adif::kVersion);
        field(out, "PROGRAMID", adif::kProgramId);
        field(out, "PROGRAMVERSION", platform::programVersion().toLatin1());
        field(out, "CREATED_TIMESTAMP", now);
        out += m_xml ? "\r\n</HEADER>\r\n<RECORDS>\r\n" : "<EOH>\r\n";
        buffer.append(out.data(), qsizetype(out.size()));
    }

    bool write(const platform::RowText &row, qint64 number, QByteArray &buffer, QString *why) override
    {
        Record &out = m_record;
        out.clear();
        std::array<QByteArrayView, kColumns> values;
        std::array<bool, kColumns> nulls;
        for (int c = 0; c < kColumns; ++c) {
            nulls[c] = row.isNull(c);
            values[c] = nulls[c] ? QByteArrayView() : row.text(c);
        }
        auto value = [&](int c) { return values[size_t(c)]; };
        if (m_xml)
            for (int c = 0; c < kColumns; ++c)
                if (xmlForbids(value(c))) {
                    *why = msg::exportXmlControl().arg(number).arg(logfile::fieldLabel(logfile::columnNames()[c]));
                    return false;
                }
        if (m_xml)
            out += "<RECORD>";

        // (ADIF has no date before 1930, nor a time alone)
        const auto wall = nulls[Date] ? std::nullopt : adif::storedWallClock(value(Date));
        if (wall && *wall >= adif::daysFromCivil(1930, 1, 1) * 86400) {
            const qint64 utc = m_zone.toUtc(*wall);
            const qint64 day = utc >= 0 ? utc / 86400 : (utc - 86399) / 86400, seconds = utc - day * 86400;
            int y, mo, d;
            adif::civilFromDays(day, &y, &mo, &d);
            m_scratch.clear();
            appendNumber(m_scratch, qint64(y) * 10000 + mo * 100 + d, 8);
            field(out, "QSO_DATE", view(m_scratch));
            m_scratch.clear();
            appendNumber(m_scratch, seconds / 3600 * 10000 + seconds / 60 % 60 * 100 + seconds % 60, 6);
            field(out, "TIME_ON", view(m_scratch));
        }
        m_scratch.clear();
        for (int c : {Prefix, Word1, Word2, Word3, Number})
            if (const QByteArrayView part = trimmed(value(c)); !part.isEmpty()) {
                if (!m_scratch.empty())
                    m_scratch += ' ';
                m_scratch << part;
            }
        text(out, "CALL", view(m_scratch));
        const auto mhz = wholeNumber(value(Mhertz)), khz = wholeNumber(value(Hertz));
        if (mhz && khz && *mhz >= 0 && *khz >= 0 && *khz <= 999) {
            m_scratch.clear();
            appendNumber(m_scratch, *mhz);
            m_scratch += '.';
            appendNumber(m_scratch, *khz, 3);
            field(out, "FREQ", view(m_scratch));
            field(out, "BAND", adif::bandOf(*mhz * 1'000'000 + *khz * 1'000));
        }
        const QByteArrayView mode = value(Mode);
        auto known = m_modes.constFind(QByteArray::fromRawData(mode.data(), mode.size()));
        if (known == m_modes.cend())
            known = m_modes.insert(mode.toByteArray(), adif::modeOf(mode));
        field(out, "MODE", known->mode);
        field(out, "SUBMODE", known->submode);
        text(out, "RST_SENT", value(Rst));
        if (isDigits(value(Serial)))
            field(out, "STX", value(Serial));
        else
            text(out, "STX_STRING", value(Serial));
        text(out, "OPERATOR", value(Operator));
        text(out, "QTH", value(Town), "QTH_INTL");
        // The address on its lines: post-office box, postal code and town, country.
        m_place.clear();
        m_place << trimmed(value(PostCode));
        if (!m_place.empty() && !trimmed(value(Town)).isEmpty())
            m_place += ' ';
        m_place << trimmed(value(Town));
        m_scratch.clear();
        for (const QByteArrayView line : {trimmed(value(Box)), view(m_place), trimmed(value(Country))})
            if (!line.isEmpty()) {
                if (!m_scratch.empty())
                    m_scratch += "\r\n";
                m_scratch << line;
            }
        text(out, "ADDRESS", view(m_scratch), "ADDRESS_INTL", true);
        text(out, "COUNTRY", value(Country), "COUNTRY_INTL");

        // Every column as stored, in its own field.
        for (int c = 0; c < kColumns; ++c) {
            if (nulls[c])
                continue;
            QByteArrayView v = value(c);
            QByteArray mended;
            if (!isUtf8(v))
                v = mended = QString::fromUtf8(v).toUtf8(); // (what another program wrote in another encoding)
            out << m_appOpen[c];
            if (m_xml) {
                appendXml(out, v);
                out += "</APP>";
            } else {
                appendNumber(out, v.size());
                out += '>';
                out << v;
                out += ' ';
            }
        }
        out += m_xml ? "</RECORD>\r\n" : "<EOR>\r\n";
        buffer.append(out.data(), qsizetype(out.size()));
        return true;
    }

    void end(QByteArray &buffer) override
    {
        if (m_xml)
            buffer += "</RECORDS>\r\n</ADX>\r\n";
    }

    QString nothingWritten() const override { return msg::exportNothingAdif(); }

private:
    // A field, when it holds something.
    void field(Record &out, const char *name, QByteArrayView v) const
    {
        if (v.isEmpty())
            return;
        out += '<';
        out += name;
        if (m_xml) {
            out += '>';
            appendXml(out, v);
            out += "</";
            out += name;
            out += '>';
            return;
        }
        out += ':';
        appendNumber(out, v.size());
        out += '>';
        out << v;
        out += ' ';
    }

    // A standard field in ASCII; in ADX, for a field that has an _INTL form
    // (intl), the text itself beside it where ASCII loses something.
    void text(Record &out, const char *name, QByteArrayView utf8, const char *intl = nullptr, bool multiline = false)
    {
        const bool ascii = std::all_of(utf8.begin(), utf8.end(), [&](char c) {
            return (c >= 0x20 && c < 0x7F) || (multiline && (c == '\r' || c == '\n'));
        });
        if (ascii) {
            field(out, name, utf8);
            return;
        }
        QHash<QByteArray, QByteArray> &cache = m_ascii[multiline];
        auto it = cache.constFind(QByteArray::fromRawData(utf8.data(), utf8.size()));
        if (it == cache.cend()) {
            if (cache.size() > 4096) // (not a short list after all)
                cache.clear();
            it = cache.insert(utf8.toByteArray(), adif::toAscii(QString::fromUtf8(utf8), multiline));
        }
        field(out, name, *it);
        if (m_xml && intl)
            field(out, intl, utf8);
    }

    bool m_xml;
    adif::ZoneRules m_zone;
    QList<QByteArray> m_appOpen;          // the start of each column's application field
    Record m_record, m_scratch, m_place;
    QHash<QByteArray, QByteArray> m_ascii[2]; // values in ASCII by their UTF-8: on one line, on several
    QHash<QByteArray, adif::Mode> m_modes;  // MODE and SUBMODE by stored mode
};

} // namespace

std::unique_ptr<RowWriter> adifWriter(bool xml) { return std::make_unique<AdifWriter>(xml); }

} // namespace exchange
