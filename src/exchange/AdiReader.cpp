// ADI, ADIF's tagged text: <NAME:LENGTH[:TYPE]>DATA, records ended by <EOR>,
// an optional header (any text, then fields) ended by <EOH>. Names and the
// end tags in any case; anything between the fields is ignored.
#include "Messages.h"
#include "Readers.h"
#include "RowWriter.h"

#include <QIODevice>

#include <cstring>
#include <vector>

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
    AdiReader(QIODevice *in, const QList<QByteArray> &wanted) : m_in(in)
    {
        for (int i = 0; i < wanted.size(); ++i)
            if (wanted[i].size() < kMaxName)
                m_slots[size_t(wanted[i].size())].emplace_back(wanted[i], i);
    }

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
            if (t.is("EOH"))
                return true;
            if (t.is("EOR")) {
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
        r->clear();
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
            if (t.is("EOR")) {
                ++m_records;
                return true;
            }
            if (t.is("EOH")) { // what came before was a header after all
                r->clear();
                continue;
            }
            const qint64 left = m_in.size() - m_in.position();
            if (t.length > left) {
                r->refuse(msg::importLengthBeyondEnd().arg(t.writtenName()).arg(t.length).arg(left), t.at + 1);
                skipToEor();
                ++m_records;
                return true;
            }
            int slot = -1;
            for (const auto &[name, index] : m_slots[size_t(t.size)])
                if (std::memcmp(name.constData(), t.upper, size_t(t.size)) == 0)
                    slot = index;
            if (slot < 0 || r->field(slot)) {
                m_in.skip(t.length);
                continue;
            }
            const qsizetype kept = qsizetype(std::min<qint64>(t.length, kMaxValue));
            m_in.ensure(kept);
            const qint64 dataAt = m_in.position() + 1;
            const SourceField &f = r->put(slot, m_in.data(), kept, t.length > kMaxValue);
            m_in.skip(t.length);
            if (const char *nul = static_cast<const char *>(std::memchr(f.value.constData(), 0, size_t(f.value.size()))))
                r->refuse(msg::importNul().arg(t.writtenName()), dataAt + (nul - f.value.constData()));
            else if (!f.tooLong && !isUtf8(f.value))
                r->refuse(msg::importNotUtf8().arg(t.writtenName()), dataAt);
        }
    }

    bool countsLines() const override { return false; }
    qint64 bytesRead() const override { return m_in.position(); }
    bool readFailed() const override { return m_in.failed(); }

private:
    enum class Read { Tag, Bad, End };
    static constexpr int kMaxName = 64; // a longer name is no field the program reads
    struct Tag {
        qint64 at = 0;         // of its "<", from 0
        char written[kMaxName]; // the name as written,
        char upper[kMaxName];   // and in capitals
        int size = 0;
        qint64 length = 0;     // of the data; 0 for EOH, EOR
        QByteArray text;       // a bad tag's text
        bool is(const char *name) const { return size == int(qstrlen(name)) && std::memcmp(upper, name, size_t(size)) == 0; }
        QString writtenName() const { return QString::fromLatin1(written, size); }
    };

    // The next tag after what was read, read where it lies; Bad for a "<"
    // that starts none (the reading goes on after it).
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
        const char *p = m_in.data() + 1, *end = m_in.data() + n;
        const char *close = p;
        while (close < end && *close != '>' && *close != '<')
            ++close;
        if (close == end || *close != '>' || close == p) {
            t->text = QByteArray(p, std::min<qsizetype>(end - p, 20));
            m_in.advance(1);
            return Read::Bad;
        }
        // NAME[:LENGTH[:TYPE]]
        const char *colon = static_cast<const char *>(std::memchr(p, ':', size_t(close - p)));
        const char *nameEnd = colon ? colon : close;
        bool good = nameEnd > p && nameEnd - p <= kMaxName;
        for (const char *c = p; good && c < nameEnd; ++c)
            switch (*c) {
            case ',': case ':': case '<': case '>': case '{': case '}': case ' ': case '\t': case '\r': case '\n': case 0:
                good = false;
            }
        t->length = 0;
        if (good && colon) {
            const char *digits = colon + 1;
            const char *digitsEnd = static_cast<const char *>(std::memchr(digits, ':', size_t(close - digits)));
            if (!digitsEnd)
                digitsEnd = close;
            good = digitsEnd > digits && digitsEnd - digits <= 18;
            for (const char *c = digits; good && c < digitsEnd; ++c) {
                good = *c >= '0' && *c <= '9';
                t->length = t->length * 10 + (*c - '0');
            }
            good = good && (digitsEnd == close || !std::memchr(digitsEnd + 1, ':', size_t(close - digitsEnd - 1)));
        }
        if (good) {
            t->size = int(nameEnd - p);
            std::memcpy(t->written, p, size_t(t->size));
            for (int i = 0; i < t->size; ++i)
                t->upper[i] = p[i] >= 'a' && p[i] <= 'z' ? char(p[i] - 'a' + 'A') : p[i];
            good = colon || t->is("EOR") || t->is("EOH"); // only the end tags have no length
        }
        if (!good)
            t->text = QByteArray(p, std::min<qsizetype>(close - p, 40));
        m_in.advance(close - m_in.data() + 1);
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
    std::vector<std::pair<QByteArray, int>> m_slots[kMaxName + 1]; // of the fields kept, by the length of their names
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
        m_failed = m_failed || got < 0;
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
        if (scrap.isEmpty()) {
            m_failed = m_failed || m_base < m_size;
            return false;
        }
    }
    return true;
}

std::unique_ptr<RecordReader> adiReader(QIODevice *in, const QList<QByteArray> &wanted)
{
    return std::make_unique<AdiReader>(in, wanted);
}

} // namespace exchange
