// ADI, ADIF's tagged text: <NAME:LENGTH[:TYPE]>DATA, records ended by <EOR>,
// an optional header (any text, then fields) ended by <EOH>. Names and the
// end tags in any case; anything between the fields is ignored.
#include "Messages.h"
#include "Readers.h"
#include "RowWriter.h"

#include <QIODevice>

#include <cstring>

namespace exchange {

namespace {

constexpr qsizetype kChunk = 1 << 20;
constexpr qsizetype kMaxTag = 512; // a tag longer than this is not one

QString shownBytes(QByteArrayView bytes)
{
    QString s = QString::fromUtf8(bytes.first(std::min<qsizetype>(bytes.size(), 40)));
    for (QChar &c : s)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return bytes.size() > 40 ? s + QStringLiteral("…") : s;
}

class AdiReader : public RecordReader
{
public:
    AdiReader(QIODevice *in, FieldWanted wanted) : m_in(in), m_wanted(std::move(wanted)) {}

    bool start(QString *why) override
    {
        if (m_in.ensure(1) == 0 || m_in.data()[0] == '<')
            return true; // no header
        for (;;) {
            Tag t;
            switch (nextTag(&t)) {
            case Read::End: *why = msg::importNoEoh(); return false;
            case Read::Bad: continue; // (the header's text may hold a "<")
            case Read::Tag: break;
            }
            if (t.name == "EOH")
                return true;
            if (t.name == "EOR") {
                *why = msg::importEorBeforeEoh().arg(t.at + 1);
                return false;
            }
            if (t.length > 0 && !m_in.skip(t.length)) {
                *why = msg::importNoEoh();
                return false;
            }
        }
    }

    bool next(SourceRecord *r) override
    {
        r->fields.clear();
        r->refusal.clear();
        r->position = 0;
        r->number = m_records + 1;
        for (;;) {
            Tag t;
            const Read read = nextTag(&t);
            if (read == Read::End) {
                if (r->position == 0)
                    return false;
                r->refuse(msg::importNoEor(), r->position);
                ++m_records;
                return true;
            }
            if (r->position == 0)
                r->position = t.at + 1;
            if (read == Read::Bad) {
                r->refuse(msg::importBadTag().arg(shownBytes(t.text)), t.at + 1);
                skipToEor();
                ++m_records;
                return true;
            }
            if (t.name == "EOR") {
                ++m_records;
                return true;
            }
            if (t.name == "EOH") { // what came before was a header after all
                r->fields.clear();
                r->refusal.clear();
                r->position = 0;
                continue;
            }
            const qint64 left = m_in.size() - m_in.position();
            if (t.length > left) {
                r->refuse(msg::importLengthBeyondEnd().arg(QString::fromLatin1(t.written)).arg(t.length).arg(left),
                          t.at + 1);
                skipToEor();
                ++m_records;
                return true;
            }
            if (!m_wanted(t.name) || r->field(t.name)) {
                m_in.skip(t.length);
                continue;
            }
            SourceField f{t.name, {}, t.length > kMaxValue};
            m_in.ensure(std::min<qint64>(t.length, kMaxValue));
            f.value = QByteArray(m_in.data(), qsizetype(std::min<qint64>(t.length, kMaxValue)));
            const qint64 dataAt = m_in.position() + 1;
            m_in.skip(t.length);
            if (const char *nul = static_cast<const char *>(std::memchr(f.value.constData(), 0, size_t(f.value.size()))))
                r->refuse(msg::importNul().arg(QString::fromLatin1(t.written)), dataAt + (nul - f.value.constData()));
            else if (!f.tooLong && !isUtf8(f.value))
                r->refuse(msg::importNotUtf8().arg(QString::fromLatin1(t.written)), dataAt);
            r->fields << f;
        }
    }

    bool countsLines() const override { return false; }
    qint64 bytesRead() const override { return m_in.position(); }

private:
    enum class Read { Tag, Bad, End };
    struct Tag {
        qint64 at = 0;      // of its "<", from 0
        QByteArray text;    // between "<" and ">"
        QByteArray written; // the name as written
        QByteArray name;    // in capitals
        qint64 length = 0;  // of the data; 0 for EOH, EOR
    };

    // The next tag after what was read; Bad for a "<" that starts none
    // (the reading goes on after it).
    Read nextTag(Tag *t)
    {
        for (;;) {
            if (m_in.ensure(1) == 0)
                return Read::End;
            const auto *lt = static_cast<const char *>(std::memchr(m_in.data(), '<', size_t(m_in.available())));
            if (!lt) {
                m_in.advance(m_in.available());
                continue;
            }
            m_in.advance(lt - m_in.data());
            break;
        }
        t->at = m_in.position();
        const qsizetype n = m_in.ensure(kMaxTag);
        const QByteArrayView window(m_in.data() + 1, n - 1);
        qsizetype close = -1;
        for (qsizetype i = 0; i < window.size() && close < 0; ++i)
            if (window[i] == '>')
                close = i;
            else if (window[i] == '<')
                break;
        t->text = window.first(std::min<qsizetype>(window.size(), close < 0 ? 20 : close)).toByteArray();
        m_in.advance(close < 0 ? 1 : close + 2);
        if (close <= 0)
            return Read::Bad;
        const QList<QByteArray> parts = t->text.split(':');
        t->written = parts[0];
        t->name = parts[0].toUpper();
        static constexpr QByteArrayView kForbidden(",:<>{} \t\r\n");
        bool good = !t->name.isEmpty() && parts.size() <= 3;
        for (const char c : t->name)
            good = good && !kForbidden.contains(c) && c != 0;
        t->length = 0;
        if (good && parts.size() >= 2) {
            const QByteArray &digits = parts[1];
            good = !digits.isEmpty() && digits.size() <= 18
                   && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
            t->length = good ? digits.toLongLong() : 0;
        } else if (good) {
            good = t->name == "EOR" || t->name == "EOH"; // only the end tags have no length
        }
        return good ? Read::Tag : Read::Bad;
    }

    // Past the next <EOR>, whatever case it is written in.
    void skipToEor()
    {
        while (m_in.ensure(5) > 0) {
            const auto *lt = static_cast<const char *>(std::memchr(m_in.data(), '<', size_t(m_in.available())));
            if (!lt) {
                m_in.advance(m_in.available());
                continue;
            }
            m_in.advance(lt - m_in.data());
            if (m_in.ensure(5) < 5) {
                m_in.advance(m_in.available());
                return;
            }
            const bool eor = QByteArrayView(m_in.data(), 5).compare("<EOR>", Qt::CaseInsensitive) == 0;
            m_in.advance(eor ? 5 : 1);
            if (eor)
                return;
        }
    }

    ByteInput m_in;
    FieldWanted m_wanted;
    qint64 m_records = 0;
};

} // namespace

ByteInput::ByteInput(QIODevice *in) : m_in(in), m_size(in->size()) {}

qsizetype ByteInput::ensure(qsizetype n)
{
    if (available() >= n)
        return n;
    m_buffer.remove(0, m_at);
    m_base += m_at;
    m_at = 0;
    while (m_buffer.size() < n) {
        const qsizetype had = m_buffer.size();
        m_buffer.resize(had + std::max(kChunk, n - had));
        const qint64 got = m_in->read(m_buffer.data() + had, m_buffer.size() - had);
        m_buffer.resize(had + std::max<qint64>(got, 0));
        if (got <= 0)
            break;
    }
    return std::min(n, available());
}

bool ByteInput::skip(qint64 n)
{
    if (n <= available()) {
        m_at += qsizetype(n);
        return true;
    }
    n -= available();
    m_base += m_buffer.size();
    m_buffer.clear();
    m_at = 0;
    if (!m_in->isSequential() && m_in->seek(m_in->pos() + n)) {
        m_base += n;
        return m_base <= m_size;
    }
    for (QByteArray scrap; n > 0; n -= scrap.size()) {
        scrap = m_in->read(std::min<qint64>(n, kChunk));
        m_base += scrap.size();
        if (scrap.isEmpty())
            return false;
    }
    return true;
}

std::unique_ptr<RecordReader> adiReader(QIODevice *in, FieldWanted wanted)
{
    return std::make_unique<AdiReader>(in, std::move(wanted));
}

} // namespace exchange
