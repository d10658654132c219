// The contacts as ADIF 3.1.4 records: ADI (tagged text) or ADX (XML).
#include "Adif.h"
#include "Messages.h"
#include "RowWriter.h"

#include "Clock.h"
#include "Engine.h"
#include "LogFile.h"
#include "Regional.h"


#include <vector>

namespace exchange {

namespace {

enum Column { Date, Serial, Rst, Mhertz, Hertz, Mode, Prefix, Word1, Word2, Word3, Number, Box, Town, PostCode,
              Country, Operator, kColumns };

struct Field {
    QByteArray name;
    QByteArray value;
};

bool isDigits(QByteArrayView t)
{
    return !t.isEmpty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<qint64> wholeNumber(QByteArrayView t)
{
    bool ok = false;
    const qint64 v = t.toByteArray().toLongLong(&ok);
    return ok ? std::optional(v) : std::nullopt;
}

// A control character XML 1.0 cannot hold, even written as a reference.
bool xmlForbids(QByteArrayView t)
{
    return std::any_of(t.begin(), t.end(), [](char c) { return uchar(c) < 0x20 && c != '\t' && c != '\n' && c != '\r'; });
}

void appendXml(QByteArray &out, QByteArrayView text)
{
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

class AdifWriter : public RowWriter
{
public:
    explicit AdifWriter(bool xml) : m_xml(xml) {}

    void begin(QByteArray &out) override
    {
        const QDateTime now = platform::now().toUTC();
        const std::vector<Field> header{
            {"ADIF_VER", adif::kVersion},
            {"PROGRAMID", adif::kProgramId},
            {"PROGRAMVERSION", SEQUANEL_VERSION},
            {"CREATED_TIMESTAMP", now.toString(QStringLiteral("yyyyMMdd HHmmss")).toLatin1()}};
        if (m_xml) {
            out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<ADX>\r\n<HEADER>\r\n";
            for (const Field &f : header)
                element(out, f);
            out += "</HEADER>\r\n<RECORDS>\r\n";
        } else {
            out += "Sequanel - ADIF ";
            out += adif::kVersion;
            out += "\r\n";
            for (const Field &f : header)
                tag(out, f);
            out += "<EOH>\r\n";
        }
    }

    bool write(const platform::RowText &row, qint64 number, QByteArray &out, QString *why) override
    {
        std::vector<Field> fields;
        std::vector<Field> intl;
        auto value = [&](int c) { return row.isNull(c) ? QByteArrayView() : row.text(c); };
        auto text = [&](int c) { return QString::fromUtf8(value(c)); };
        auto add = [&](const char *name, const QByteArray &v) {
            if (!v.isEmpty())
                fields.push_back({name, v});
        };
        // Standard fields in ASCII; in ADX, for a field that has an _INTL
        // form, the text itself beside it where ASCII loses something.
        auto addText = [&](const char *name, const QString &t, bool hasIntl = false) {
            const QByteArray ascii = adif::toAscii(t, qstrcmp(name, "ADDRESS") == 0);
            add(name, ascii);
            if (m_xml && hasIntl && !ascii.isEmpty() && QString::fromLatin1(ascii) != t)
                intl.push_back({QByteArray(name) + "_INTL", t.toUtf8()});
        };

        if (m_xml)
            for (int c = 0; c < kColumns; ++c)
                if (!row.isNull(c) && xmlForbids(row.text(c))) {
                    *why = msg::exportXmlControl().arg(number).arg(logfile::fieldLabel(logfile::columnNames()[c]));
                    return false;
                }
        // (ADIF has no date before 1930, nor a time alone)
        const auto wall = row.isNull(Date) ? std::nullopt : adif::storedWallClock(value(Date));
        if (wall && *wall >= adif::daysFromCivil(1930, 1, 1) * 86400) {
            const QByteArray utc = adif::storedText(m_zone.toUtc(*wall)); // yyyy-MM-dd hh:mm:ss
            add("QSO_DATE", utc.mid(0, 4) + utc.mid(5, 2) + utc.mid(8, 2));
            add("TIME_ON", utc.mid(11, 2) + utc.mid(14, 2) + utc.mid(17, 2));
        }
        QStringList parts;
        for (int c : {Prefix, Word1, Word2, Word3, Number})
            parts << text(c).trimmed();
        add("CALL", adif::toAscii(adif::callSignText(parts)));
        const auto mhz = wholeNumber(value(Mhertz));
        const auto khz = wholeNumber(value(Hertz));
        if (mhz && khz && *mhz >= 0 && *khz >= 0 && *khz <= 999) {
            add("FREQ", QByteArray::number(*mhz) + '.' + QByteArray::number(*khz).rightJustified(3, '0'));
            add("BAND", adif::bandOf(*mhz * 1'000'000 + *khz * 1'000));
        }
        const adif::Mode mode = adif::modeOf(value(Mode));
        add("MODE", mode.mode);
        add("SUBMODE", mode.submode);
        addText("RST_SENT", text(Rst));
        if (isDigits(value(Serial)))
            add("STX", value(Serial).toByteArray());
        else
            addText("STX_STRING", text(Serial));
        addText("OPERATOR", text(Operator));
        addText("QTH", text(Town), true);
        // The address on its lines: post-office box, postal code and town, country.
        QStringList lines;
        for (const QString &line : {text(Box), text(PostCode) + QLatin1Char(' ') + text(Town), text(Country)})
            if (!line.simplified().isEmpty())
                lines << line.simplified();
        addText("ADDRESS", lines.join(QStringLiteral("\r\n")), true);
        addText("COUNTRY", text(Country), true);
        fields.insert(fields.end(), intl.begin(), intl.end());

        // Every column as stored, in its own field.
        const std::size_t firstApp = fields.size();
        for (int c = 0; c < kColumns; ++c) {
            if (row.isNull(c))
                continue;
            QByteArray v = value(c).toByteArray();
            if (!isUtf8(v))
                v = QString::fromUtf8(v).toUtf8(); // (what another program wrote in another encoding)
            fields.push_back({adif::appFieldNames()[c].toLatin1(), v});
        }
        if (m_xml) {
            out += "<RECORD>";
            for (std::size_t i = 0; i < firstApp; ++i)
                element(out, fields[i]);
            for (std::size_t i = firstApp; i < fields.size(); ++i) {
                out += "<APP PROGRAMID=\"";
                out += adif::kAppProgram;
                out += "\" FIELDNAME=\"" + fields[i].name + "\" TYPE=\"I\">";
                appendXml(out, fields[i].value);
                out += "</APP>";
            }
            out += "</RECORD>\r\n";
        } else {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (i >= firstApp)
                    fields[i].name.prepend(adif::kAppPrefix);
                tag(out, fields[i]);
            }
            out += "<EOR>\r\n";
        }
        return true;
    }

    void end(QByteArray &out) override
    {
        if (m_xml)
            out += "</RECORDS>\r\n</ADX>\r\n";
    }

    QString nothingWritten() const override { return msg::exportNothingAdif(); }

private:
    static void tag(QByteArray &out, const Field &f)
    {
        out += '<';
        out += f.name;
        out += ':';
        out += QByteArray::number(f.value.size());
        out += '>';
        out += f.value;
        out += ' ';
    }
    static void element(QByteArray &out, const Field &f)
    {
        out += '<' + f.name + '>';
        appendXml(out, f.value);
        out += "</" + f.name + '>';
    }

    bool m_xml;
    adif::ZoneRules m_zone;
};

} // namespace

std::unique_ptr<RowWriter> adifWriter(bool xml) { return std::make_unique<AdifWriter>(xml); }

} // namespace exchange
