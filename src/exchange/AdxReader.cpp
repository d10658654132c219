// ADX, ADIF in XML: <ADX><HEADER>...</HEADER><RECORDS><RECORD>fields
// </RECORD>...</RECORDS></ADX>, a field an element named after it, an
// application field <APP PROGRAMID="..." FIELDNAME="...">.
#include "Messages.h"
#include "Readers.h"

#include <QHash>
#include <QIODevice>
#include <QXmlStreamReader>

namespace exchange {

namespace {

class AdxReader : public RecordReader
{
public:
    AdxReader(QIODevice *in, const QList<QByteArray> &wanted) : m_in(in), m_xml(in)
    {
        for (int i = 0; i < wanted.size(); ++i)
            m_slots.insert(wanted[i], i);
    }

    bool start(QString *why) override
    {
        if (!m_xml.readNextStartElement() || m_xml.name().compare(QLatin1String("ADX"), Qt::CaseInsensitive) != 0)
            return *why = msg::importNotAdx(), false;
        return true;
    }

    bool next(SourceRecord *r) override
    {
        r->clear();
        if (m_broken)
            return false;
        // The next <RECORD>, within <RECORDS>; the header is not read.
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement) {
                if (is(u"RECORD"))
                    return readRecord(r);
                if (!is(u"RECORDS"))
                    m_xml.skipCurrentElement();
            }
        }
        if (m_xml.hasError())
            return broken(r);
        return false;
    }

    bool countsLines() const override { return true; }
    qint64 bytesRead() const override { return m_in->pos(); }

private:
    bool is(QStringView name) const { return m_xml.name().compare(name, Qt::CaseInsensitive) == 0; }

    bool readRecord(SourceRecord *r)
    {
        r->number = ++m_records;
        r->position = m_xml.lineNumber();
        while (m_xml.readNextStartElement()) {
            QByteArray name = m_xml.name().toLatin1().toUpper();
            if (name == "APP") {
                const QXmlStreamAttributes a = m_xml.attributes();
                name = "APP_" + a.value(QLatin1String("PROGRAMID")).toLatin1().toUpper() + '_'
                       + a.value(QLatin1String("FIELDNAME")).toLatin1().toUpper();
            }
            const QByteArray value = m_xml.readElementText(QXmlStreamReader::SkipChildElements).toUtf8();
            const int slot = m_slots.value(name, -1);
            if (slot >= 0 && !r->field(slot))
                r->put(slot, value.constData(), std::min(value.size(), kMaxValue), value.size() > kMaxValue);
        }
        if (m_xml.hasError()) {
            --m_records;
            return broken(r);
        }
        return true;
    }

    // What follows an error of the XML cannot be read: one refused record says so.
    bool broken(SourceRecord *r)
    {
        m_broken = true;
        r->clear();
        r->number = ++m_records;
        r->position = m_xml.lineNumber();
        r->refuse(msg::importBadXml(), r->position);
        return true;
    }

    QIODevice *m_in;
    QXmlStreamReader m_xml;
    QHash<QByteArray, int> m_slots; // of the fields kept, by name in capitals
    qint64 m_records = 0;
    bool m_broken = false;
};

} // namespace

std::unique_ptr<RecordReader> adxReader(QIODevice *in, const QList<QByteArray> &wanted)
{
    return std::make_unique<AdxReader>(in, wanted);
}

} // namespace exchange
