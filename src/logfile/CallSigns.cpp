#include "CallSigns.h"

#include "Engine.h"
#include "Regional.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace logfile {

const QStringList &callSignColumns()
{
    static const QStringList columns{QStringLiteral("Préfixe"), QStringLiteral("Qrz1"), QStringLiteral("Qrz2"),
                                     QStringLiteral("Qrz3"), QStringLiteral("N°")};
    return columns;
}

namespace {

std::optional<qint64> wholeNumber(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    std::optional<double> d;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toLongLong();
    case QMetaType::Double:
        d = v.toDouble();
        break;
    default: {
        // Plain digits, the usual case, are read without the regional rules.
        const QString text = v.toString().trimmed();
        bool digits = !text.isEmpty() && text.size() <= 15;
        for (QChar c : text)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digits)
            return text.toLongLong();
        d = platform::parseNumber(text);
    }
    }
    // (beyond 2^53 a double no longer tells neighbouring whole numbers apart)
    if (!d || !std::isfinite(*d) || std::floor(*d) != *d || std::fabs(*d) > 9007199254740992.0)
        return std::nullopt;
    return static_cast<qint64>(*d);
}

QString comparableWord(const QString &text)
{
    const QString word = text.trimmed();
    bool ascii = true;
    for (QChar c : word)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return word.toCaseFolded();
    // The accents are the marks that the canonical decomposition separates.
    const QString split = word.normalized(QString::NormalizationForm_D);
    QString bare;
    bare.reserve(split.size());
    for (QChar c : split)
        if (c.category() != QChar::Mark_NonSpacing)
            bare += c;
    return bare.toCaseFolded();
}

// FNV-1a over the parts, then a final mix so that every bit of the key
// depends on every part.
struct Digest {
    quint64 h = 14695981039346656037ull;
    void byte(quint8 b)
    {
        h ^= b;
        h *= 1099511628211ull;
    }
    void number(qint64 v)
    {
        for (int i = 0; i < 8; ++i)
            byte(quint8(quint64(v) >> (8 * i)));
    }
    void text(const QString &s)
    {
        for (QChar c : s) {
            byte(quint8(c.unicode()));
            byte(quint8(c.unicode() >> 8));
        }
        byte(0xFF); // the end of a word: "ab"+"c" is not "a"+"bc"
    }
    quint64 value() const
    {
        quint64 z = h;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

} // namespace

QString comparableText(const QString &text) { return comparableWord(text); }

quint64 CallSign::key() const
{
    Digest d;
    d.number(prefix);
    for (const QString &w : words)
        d.text(w);
    d.number(number);
    return d.value();
}

std::optional<CallSign> CallSignReader::read(const QVariant &prefix, const QVariant &word1, const QVariant &word2,
                                             const QVariant &word3, const QVariant &number)
{
    CallSign c;
    const QVariant *words[3] = {&word1, &word2, &word3};
    for (int i = 0; i < 3; ++i) {
        const QString text = words[i]->toString();
        auto it = m_words.constFind(text);
        if (it == m_words.cend()) {
            QString comparable = comparableWord(text);
            if (m_words.size() >= 4096) // not a short list after all
                m_words.clear();
            it = m_words.insert(text, comparable);
        }
        if (i == 0 && it->isEmpty())
            return std::nullopt;
        c.words[i] = *it;
    }
    const auto p = wholeNumber(prefix), n = wholeNumber(number);
    if (!p || !n)
        return std::nullopt;
    c.prefix = *p;
    c.number = *n;
    return c;
}

std::optional<CallSign> CallSignReader::read(const QVariantList &parts)
{
    if (parts.size() != 5)
        return std::nullopt;
    return read(parts[0], parts[1], parts[2], parts[3], parts[4]);
}

namespace {

QVariant textValue(const platform::RowText &row, int c)
{
    return row.isNull(c) ? QVariant() : QVariant(QString::fromUtf8(row.text(c)));
}

QVariant numberValue(const platform::RowText &row, int c)
{
    QVariant v = textValue(row, c);
    bool real = false;
    const double d = QByteArray(row.text(c).data(), row.text(c).size()).toDouble(&real);
    return real && row.text(c).contains('.') ? QVariant(d) : v;
}

} // namespace

// Plain digits, the usual case, read from their bytes.
std::optional<qint64> storedDigits(QByteArrayView t)
{
    if (t.isEmpty() || t.size() > 15)
        return std::nullopt;
    qint64 v = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<CallSign> CallSignReader::read(const platform::RowText &row, int first)
{
    const auto prefix = storedDigits(row.text(first)), number = storedDigits(row.text(first + 4));
    if (!prefix || !number)
        return read(numberValue(row, first), textValue(row, first + 1), textValue(row, first + 2),
                    textValue(row, first + 3), numberValue(row, first + 4));
    CallSign c;
    c.prefix = *prefix;
    c.number = *number;
    for (int i = 0; i < 3; ++i) {
        const QByteArrayView bytes = row.text(first + 1 + i);
        const std::string_view key(bytes.data(), size_t(bytes.size()));
        auto it = m_storedWords.find(key);
        if (it == m_storedWords.end()) {
            if (m_storedWords.size() >= 4096) // not a short list after all
                m_storedWords.clear();
            it = m_storedWords.emplace(std::string(key), comparableWord(QString::fromUtf8(bytes))).first;
        }
        if (i == 0 && it->second.isEmpty())
            return std::nullopt;
        c.words[i] = it->second;
    }
    return c;
}

std::optional<CallSign> readCallSign(const QVariantList &parts) { return CallSignReader().read(parts); }

// ------------------------------------------------------------------ the set

namespace {
std::atomic<qint64> g_walked{0};

quint64 entryHash(const CallSignSet::Entry &e)
{
    quint64 h = e.key ^ (quint64(e.rowid) * 0x9e3779b97f4a7c15ull);
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ull;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebull;
    return h ^ (h >> 31);
}
} // namespace

qint64 CallSignSet::entriesWalked() { return g_walked.load(); }

void CallSignSet::toggle(const Entry &e) { m_digests[e.rowid >> m_chunkBits] ^= entryHash(e); }

void CallSignSet::digestAll()
{
    compact(true);
    m_digests.clear();
    for (const Entry &e : m_base)
        toggle(e);
    g_walked += qint64(m_base.size());
}

void CallSignSet::finish()
{
    std::sort(m_base.begin(), m_base.end());
    m_base.erase(std::unique(m_base.begin(), m_base.end()), m_base.end());
    m_added.clear();
    m_removed.clear();
    digestAll();
}

bool CallSignSet::holds(const std::vector<Entry> &v, Entry e) { return std::binary_search(v.begin(), v.end(), e); }

bool CallSignSet::insert(std::vector<Entry> &v, Entry e)
{
    const auto it = std::lower_bound(v.begin(), v.end(), e);
    if (it != v.end() && *it == e)
        return false;
    v.insert(it, e);
    return true;
}

bool CallSignSet::erase(std::vector<Entry> &v, Entry e)
{
    const auto it = std::lower_bound(v.begin(), v.end(), e);
    if (it == v.end() || *it != e)
        return false;
    v.erase(it);
    return true;
}

// Changes go to two small sorted lists beside the large one, so that a store
// does not move the whole set; the lists are merged in once they grow.
void CallSignSet::add(quint64 key, qint64 rowid)
{
    const Entry e{key, rowid};
    if (holds(m_base, e) ? erase(m_removed, e) : insert(m_added, e))
        toggle(e);
    compact();
}

void CallSignSet::remove(quint64 key, qint64 rowid)
{
    const Entry e{key, rowid};
    if (erase(m_added, e) || (holds(m_base, e) && insert(m_removed, e)))
        toggle(e);
    compact();
}

void CallSignSet::compact(bool always)
{
    if (!always && m_added.size() + m_removed.size() < 4096 + m_base.size() / 16)
        return;
    if (m_added.empty() && m_removed.empty())
        return;
    g_walked += qint64(m_base.size());
    if (!m_removed.empty())
        m_base.erase(std::remove_if(m_base.begin(), m_base.end(), [this](const Entry &e) { return holds(m_removed, e); }),
                     m_base.end());
    const auto middle = std::ptrdiff_t(m_base.size());
    m_base.insert(m_base.end(), m_added.begin(), m_added.end());
    std::inplace_merge(m_base.begin(), m_base.begin() + middle, m_base.end());
    m_added.clear();
    m_removed.clear();
}

// One pass over the set: the rows of those chunks are dropped and the new
// ones merged in.
void CallSignSet::replaceChunks(const std::vector<qint64> &chunks, int chunkBits, std::vector<Entry> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Nothing to do when every chunk holds what was read.
    std::unordered_map<qint64, quint64> read;
    if (chunkBits == m_chunkBits && !(m_base.empty() && m_added.empty())) { // (an empty set is simply filled)
        for (const Entry &e : rows)
            read[e.rowid >> m_chunkBits] ^= entryHash(e);
        const auto digest = [](const std::unordered_map<qint64, quint64> &d, qint64 chunk) {
            const auto it = d.find(chunk);
            return it == d.end() ? 0 : it->second;
        };
        if (std::all_of(chunks.begin(), chunks.end(),
                        [&](qint64 chunk) { return digest(read, chunk) == digest(m_digests, chunk); }))
            return;
    }
    compact(true);
    if (!chunks.empty()) {
        g_walked += qint64(m_base.size());
        m_base.erase(std::remove_if(m_base.begin(), m_base.end(),
                                    [&](const Entry &e) {
                                        return std::binary_search(chunks.begin(), chunks.end(), e.rowid >> chunkBits);
                                    }),
                     m_base.end());
    }
    if (m_base.empty()) { // a first reading: taken as it is, not copied
        m_base = std::move(rows);
        if (m_base.capacity() > 2 * m_base.size()) // (room never written to costs no memory)
            m_base.shrink_to_fit();
        digestAll();
        return;
    }
    const auto middle = std::ptrdiff_t(m_base.size());
    m_base.insert(m_base.end(), rows.begin(), rows.end());
    std::inplace_merge(m_base.begin(), m_base.begin() + middle, m_base.end());
    g_walked += qint64(m_base.size());
    if (chunkBits != m_chunkBits) {
        digestAll();
        return;
    }
    for (const qint64 chunk : chunks)
        m_digests.erase(chunk);
    for (const auto &[chunk, digest] : read)
        m_digests[chunk] = digest;
}

template <typename F> void CallSignSet::forEach(quint64 key, F f) const
{
    const Entry first{key, std::numeric_limits<qint64>::min()};
    for (auto it = std::lower_bound(m_base.begin(), m_base.end(), first); it != m_base.end() && it->key == key; ++it)
        if (!holds(m_removed, *it))
            f(it->rowid);
    for (auto it = std::lower_bound(m_added.begin(), m_added.end(), first); it != m_added.end() && it->key == key; ++it)
        f(it->rowid);
}

CallSignSet::Found CallSignSet::find(quint64 key, std::optional<qint64> except) const
{
    Found found;
    forEach(key, [&](qint64 rowid) {
        if (rowid == except)
            return;
        if (found.count == 0 || rowid > found.latest)
            found.latest = rowid;
        ++found.count;
    });
    return found;
}

std::vector<qint64> CallSignSet::rowids(quint64 key) const
{
    std::vector<qint64> out;
    forEach(key, [&](qint64 rowid) { out.push_back(rowid); });
    std::sort(out.begin(), out.end());
    return out;
}

CallSignSet::KeyCounts CallSignSet::keyCounts() const
{
    // The rows of the set in key order: the large list without the removed
    // ones, merged with the added ones (all three sorted).
    KeyCounts counts;
    std::optional<quint64> key;
    qint64 rows = 0;
    auto count = [&](const Entry &e) {
        if (key != e.key) {
            counts.repeated += rows > 1;
            key = e.key;
            rows = 0;
            ++counts.distinct;
        }
        ++rows;
    };
    auto removed = m_removed.begin();
    auto added = m_added.begin();
    for (const Entry &e : m_base) {
        for (; added != m_added.end() && *added < e; ++added)
            count(*added);
        while (removed != m_removed.end() && *removed < e)
            ++removed;
        if (removed != m_removed.end() && *removed == e)
            continue;
        count(e);
    }
    for (; added != m_added.end(); ++added)
        count(*added);
    counts.repeated += rows > 1;
    return counts;
}

size_t CallSignSet::bytes() const
{
    return (m_base.capacity() + m_added.capacity() + m_removed.capacity()) * sizeof(Entry);
}

} // namespace logfile
