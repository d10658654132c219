#pragma once
// Call signs as the log compares them, and the set of the call signs a log holds.
//
// A call sign has five parts: a prefix, one to three words and a number
// (columns Préfixe, Qrz1, Qrz2, Qrz3 and N°), as "14 AT 001" is written 14 /
// Alpha / Tango / (empty) / 001. Two call signs are the same when their
// prefixes and their numbers are the same numbers and their words, each in
// its place, are the same once trimmed, whatever their case and accents: an
// empty second or third word is a part of the call sign like any other. A
// call sign without its prefix, its first word or its number is the same as
// no other.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {
class RowText;
}

namespace logfile {

// A text as the words of call signs compare: trimmed, accents removed, case
// folded.
QString comparableText(const QString &text);

// The call-sign columns of Transmission, in order.
const QStringList &callSignColumns();

struct CallSign {
    qint64 prefix = 0;
    QString words[3]; // trimmed, accents removed, case folded; the second and third may be empty
    qint64 number = 0;

    bool operator==(const CallSign &) const = default;
    // A 64-bit digest: the key of the call sign in a CallSignSet.
    quint64 key() const;
};

// Reads call signs from their five parts, stored values or typed texts, in
// column order. Numbers written as text are read in the user's notation.
// Gives nothing when the prefix, the first word or the number is empty, or a
// number part is not a whole number.
class CallSignReader
{
public:
    std::optional<CallSign> read(const QVariant &prefix, const QVariant &word1, const QVariant &word2,
                                 const QVariant &word3, const QVariant &number);
    std::optional<CallSign> read(const QVariantList &parts);
    // The five columns from first on of a row read in place. A stored real
    // number comes as the engine's own decimal text, which is read as a
    // number, not in the user's notation.
    std::optional<CallSign> read(const platform::RowText &row, int first);

private:
    // The words of a log come from short lists: their comparable forms are
    // kept rather than worked out again for every row, by their texts and
    // by their stored bytes.
    QHash<QString, QString> m_words;
    struct BytesHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, QString, BytesHash, std::equal_to<>> m_storedWords;
};

std::optional<CallSign> readCallSign(const QVariantList &parts);

// The call signs of a log, each with the rowids of the rows that hold it.
// 16 bytes a row: the key of the call sign and the rowid, kept sorted.
// Built once from a reading of every row, then kept current a row at a time.
// A digest of each chunk of rowids (2^chunkBits of them) tells whether the
// rows of a chunk read again are those the set holds already: the window's
// own changes, applied a row at a time, then cost nothing more.
class CallSignSet
{
public:
    struct Entry {
        quint64 key;
        qint64 rowid;
        auto operator<=>(const Entry &) const = default;
    };
    explicit CallSignSet(int chunkBits = 12) : m_chunkBits(chunkBits) {}

    // Building: reserve, append every row, then finish (which sorts).
    void reserve(qsizetype rows) { m_base.reserve(size_t(rows)); }
    void append(quint64 key, qint64 rowid) { m_base.push_back({key, rowid}); }
    void finish();

    // The row holds (add) or no longer holds (remove) that call sign. Each
    // leaves the set as it found it when it already says so, so that changes
    // made while the set was being read may be applied again afterwards.
    void add(quint64 key, qint64 rowid);
    void remove(quint64 key, qint64 rowid);
    // The rows whose rowid is in one of the chunks (rowid >> chunkBits,
    // sorted) now hold the call signs of rows, and only those. The whole set
    // is walked only when they differ from what it holds.
    void replaceChunks(const std::vector<qint64> &chunks, int chunkBits, std::vector<Entry> rows);

    // The rows holding a call sign, leaving out the row except.
    struct Found {
        qint64 count = 0;
        qint64 latest = 0; // largest rowid: the last of them in the log's order
    };
    Found find(quint64 key, std::optional<qint64> except = {}) const;
    std::vector<qint64> rowids(quint64 key) const;
    // The keys held by at least one row, and by more than one.
    struct KeyCounts {
        qint64 distinct = 0;
        qint64 repeated = 0;
    };
    KeyCounts keyCounts() const;

    size_t bytes() const;
    // How many entries every set of the process has walked (merging, or
    // dropping chunks), for tests that count the work of an action.
    static qint64 entriesWalked();

private:
    static bool holds(const std::vector<Entry> &v, Entry e);
    static bool insert(std::vector<Entry> &v, Entry e);
    static bool erase(std::vector<Entry> &v, Entry e);
    void compact(bool always = false);
    template <typename F> void forEach(quint64 key, F f) const;
    // The digests: an entry comes in or goes out of its chunk's.
    void toggle(const Entry &e);
    void digestAll();

    int m_chunkBits;
    std::vector<Entry> m_base;    // sorted
    std::vector<Entry> m_added;   // sorted; none of them in m_base
    std::vector<Entry> m_removed; // sorted; each of them in m_base
    std::unordered_map<qint64, quint64> m_digests; // by chunk: the XOR of its entries' hashes
};

} // namespace logfile
