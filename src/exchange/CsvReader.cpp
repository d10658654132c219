// CSV: a header row naming the columns, then one record per row; ";", "," or
// a tab between fields (the one the header uses most), fields holding one
// of them, a quote or a line break between quotes (a quote doubled inside).
#include "Messages.h"
#include "Readers.h"

#include "CallSigns.h"
#include "LogFile.h"

#include <QRegularExpression>

namespace exchange {

namespace {

// A heading or a column's name as they are compared: no case, no accents,
// letters and digits only ("N° de Sequ" and "n de sequ" alike).
QString bare(const QString &text)
{
    static const QRegularExpression signs(QStringLiteral("[^a-z0-9]"));
    return logfile::comparableText(text).remove(signs);
}

class Csv : public CsvReader
{
public:
    explicit Csv(QIODevice *in) : m_in(in) {}

    bool start(QString *why) override
    {
        if (m_in.ensure(3) >= 3 && QByteArrayView(m_in.data(), 3) == "\xEF\xBB\xBF")
            m_in.advance(3);
        // The separator the first line uses most (outside quotes).
        const qsizetype n = m_in.ensure(64 * 1024);
        int counts[3] = {0, 0, 0};
        bool quoted = false;
        for (qsizetype i = 0; i < n && (quoted || (m_in.data()[i] != '\n' && m_in.data()[i] != '\r')); ++i) {
            const char c = m_in.data()[i];
            quoted = c == '"' ? !quoted : quoted;
            counts[0] += !quoted && c == ';';
            counts[1] += !quoted && c == ',';
            counts[2] += !quoted && c == '\t';
        }
        m_separator = counts[1] > counts[0] && counts[1] >= counts[2] ? ',' : counts[2] > counts[0] ? '\t' : ';';
        SourceRecord header;
        if (!next(&header))
            return *why = msg::importNoColumn(), false;
        m_records = 0;
        const QStringList names = logfile::columnNames();
        QStringList headings;
        for (const SourceField &f : header.fields)
            if (f.present)
                headings << QString::fromUtf8(f.value);
        m_own = headings == names && m_separator == ';';
        for (const QString &heading : headings) {
            int column = -1;
            for (int c = 0; c < names.size() && column < 0; ++c)
                if (bare(heading) == bare(names[c]) || bare(heading) == bare(logfile::fieldLabel(names[c])))
                    column = c;
            if (column < 0 || m_columns.contains(column)) {
                if (!heading.trimmed().isEmpty())
                    m_ignored << heading.trimmed();
                column = -1;
            }
            m_columns << column;
        }
        if (std::all_of(m_columns.begin(), m_columns.end(), [](int c) { return c < 0; }))
            return *why = msg::importNoColumn(), false;
        return true;
    }

    bool next(SourceRecord *r) override
    {
        r->clear();
        // (blank lines are no records)
        for (;;) {
            if (m_in.ensure(1) == 0)
                return false;
            const char c = m_in.data()[0];
            if (c != '\r' && c != '\n')
                break;
            m_line += c == '\n';
            m_in.advance(1);
        }
        r->number = ++m_records;
        r->position = m_line;
        for (int index = 0, more = 1; more; ++index) {
            more = readField(r);
            // (the header's fields are kept up to a bound: a heading is short)
            const int slot = m_columns.isEmpty() ? (index < 1000 ? index : -1) : m_columns.value(index, -1);
            if (slot >= 0 && !r->field(slot))
                r->put(slot, m_field.constData(), m_field.size(), m_tooLong);
        }
        return true;
    }

    bool countsLines() const override { return true; }
    qint64 bytesRead() const override { return m_in.position(); }
    bool readFailed() const override { return m_in.failed(); }
    bool ownLayout() const override { return m_own; }
    QStringList ignoredHeadings() const override { return m_ignored; }

private:
    // One field into m_field; false when it ends its record.
    bool readField(SourceRecord *r)
    {
        m_field.truncate(0);
        m_tooLong = false;
        auto keep = [&](char c) {
            if (m_field.size() < kMaxValue)
                m_field += c;
            else
                m_tooLong = true;
        };
        bool quoted = false, wasQuoted = false;
        for (;;) {
            if (m_in.ensure(2) == 0) {
                if (quoted)
                    r->refuse(msg::importOpenQuote(), r->position);
                return false;
            }
            const char c = m_in.data()[0];
            m_in.advance(1);
            if (quoted) {
                if (c == '"' && m_in.available() > 0 && m_in.data()[0] == '"') {
                    keep('"');
                    m_in.advance(1);
                } else if (c == '"') {
                    quoted = false;
                } else {
                    m_line += c == '\n';
                    keep(c);
                }
            } else if (c == '"' && !wasQuoted && m_field.isEmpty()) {
                quoted = wasQuoted = true;
            } else if (c == m_separator) {
                return true;
            } else if (c == '\n' || c == '\r') {
                if (c == '\r' && m_in.available() > 0 && m_in.data()[0] == '\n')
                    m_in.advance(1);
                ++m_line;
                return false;
            } else {
                keep(c);
            }
        }
    }

    ByteInput m_in;
    QByteArray m_field; // the field being read
    bool m_tooLong = false;
    char m_separator = ';';
    qint64 m_line = 1;
    qint64 m_records = 0;
    bool m_own = false;
    QVector<int> m_columns; // the column each field goes to, -1 for none
    QStringList m_ignored;
};

} // namespace

std::unique_ptr<CsvReader> csvReader(QIODevice *in) { return std::make_unique<Csv>(in); }

} // namespace exchange
