#include "JetFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <mdbtools.h>

#include <array>
#include <cstring>
#include <vector>

namespace legacy {

QString fromCp1252(const char *bytes, int size)
{
    // Windows-1252 bytes 0x80..0x9F; 0 where the code page leaves them undefined.
    static const char16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    // An empty text stays an empty text, never a null.
    if (size <= 0)
        return QStringLiteral("");
    QString out(size, Qt::Uninitialized);
    QChar *o = out.data();
    for (int i = 0; i < size; ++i) {
        const uchar c = uchar(bytes[i]);
        o[i] = QChar((c >= 0x80 && c < 0xA0 && high[c - 0x80]) ? high[c - 0x80] : char16_t(c));
    }
    return out;
}

struct JetDatabase::Impl {
    MdbHandle *mdb = nullptr;
    MdbTableDef *table = nullptr;
    qint64 pages = 0; // whole pages in the file

    ~Impl()
    {
        if (table)
            mdb_free_tabledef(table);
        if (mdb)
            mdb_close(mdb);
    }
    MdbColumn *column(unsigned i) const { return static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i)); }

    QVariant value(const MdbColumn *c, const MdbField &f) const;
    bool crack(int start, size_t size, std::vector<MdbField> &fields, QVariantList &values) const;
};

JetDatabase::JetDatabase() : d(std::make_unique<Impl>()) {}
JetDatabase::~JetDatabase() = default;

bool JetDatabase::open(const QString &path)
{
    // Names are read in code page 1252 and handed over in UTF-8, whatever the
    // environment says.
    qputenv("MDB_JET3_CHARSET", "CP1252");
    qputenv("MDBICONV", "UTF-8");
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d->mdb)
        return false;
    d->pages = QFileInfo(path).size() / d->mdb->fmt->pg_size;
    return mdb_read_catalog(d->mdb, MDB_TABLE) != nullptr;
}

QStringList JetDatabase::tables() const
{
    QStringList out;
    if (!d->mdb || !d->mdb->catalog)
        return out;
    for (unsigned i = 0; i < d->mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i));
        if (mdb_is_user_table(entry))
            out << QString::fromUtf8(entry->object_name);
    }
    return out;
}

bool JetDatabase::openTable(const QString &name)
{
    if (d->table) {
        mdb_free_tabledef(d->table);
        d->table = nullptr;
    }
    QString found;
    const QStringList names = tables();
    if (names.contains(name))
        found = name;
    else
        for (const QString &n : names)
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                found = n;
    if (found.isEmpty())
        return false;
    for (unsigned i = 0; i < d->mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i));
        if (!mdb_is_user_table(entry) || QString::fromUtf8(entry->object_name) != found)
            continue;
        d->table = mdb_read_table(entry);
        if (d->table && !mdb_read_columns(d->table)) {
            mdb_free_tabledef(d->table);
            d->table = nullptr;
        }
        return d->table != nullptr;
    }
    return false;
}

QVector<JetColumn> JetDatabase::columns() const
{
    QVector<JetColumn> out;
    if (!d->table)
        return out;
    for (unsigned i = 0; i < d->table->num_cols; ++i) {
        const MdbColumn *c = d->column(i);
        out << JetColumn{QString::fromUtf8(c->name), c->col_type, c->col_size};
    }
    return out;
}

qint64 JetDatabase::statedRows() const { return d->table ? qint64(d->table->num_rows) : 0; }

QVariant JetDatabase::Impl::value(const MdbColumn *c, const MdbField &f) const
{
    if (c->col_type == MDB_BOOL)
        return QVariant(!f.is_null); // a yes/no value is its bit of the null mask
    if (f.is_null)
        return QVariant();
    unsigned char *buf = mdb->pg_buf;
    const int at = f.start;
    auto need = [&](int bytes) { return f.siz >= bytes; };
    switch (c->col_type) {
    case MDB_BYTE: return need(1) ? QVariant(int(buf[at])) : QVariant();
    case MDB_INT: return need(2) ? QVariant(int(qint16(mdb_get_int16(buf, at)))) : QVariant();
    case MDB_LONGINT: return need(4) ? QVariant(int(qint32(mdb_get_int32(buf, at)))) : QVariant();
    case MDB_FLOAT: return need(4) ? QVariant(double(mdb_get_single(buf, at))) : QVariant();
    case MDB_DOUBLE:
    case MDB_DATETIME: return need(8) ? QVariant(mdb_get_double(buf, at)) : QVariant();
    case MDB_MONEY: {
        if (!need(8))
            return QVariant();
        qint64 v;
        std::memcpy(&v, buf + at, 8);
        return QVariant(double(qFromLittleEndian(v)) / 10000.0);
    }
    case MDB_TEXT:
        if (IS_JET3(mdb))
            return fromCp1252(reinterpret_cast<const char *>(buf + at), f.siz);
        else {
            std::vector<char> text(size_t(f.siz) * 4 + 4);
            mdb_unicode2ascii(mdb, reinterpret_cast<const char *>(buf + at), f.siz, text.data(), text.size());
            return text[0] ? QString::fromUtf8(text.data()) : QStringLiteral("");
        }
    case MDB_MEMO:
    case MDB_REPID:
    case MDB_NUMERIC: {
        char *text = mdb_col_to_string(mdb, buf, at, c->col_type, f.siz);
        const QString s = text ? QString::fromUtf8(text) : QString();
        g_free(text);
        return s;
    }
    default: // binary data, and types no Jet 3 file has: the bytes as they are
        return QByteArray(reinterpret_cast<const char *>(buf + at), f.siz);
    }
}

bool JetDatabase::Impl::crack(int start, size_t size, std::vector<MdbField> &fields, QVariantList &values) const
{
    if (size < 2 || mdb_crack_row(table, start, size, fields.data()) < 0)
        return false;
    values.clear();
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn *c = column(i);
        const MdbField &f = fields[i];
        QVariant v = value(c, f);
        // A fixed column too short for its type is a damaged definition.
        if (v.isNull() && !f.is_null && c->col_type != MDB_BOOL)
            return false;
        values << v;
    }
    return true;
}

bool JetDatabase::readRows(const std::function<bool(const QVariantList &)> &row)
{
    MdbTableDef *t = d->table;
    if (!t)
        return false;
    MdbHandle *mdb = d->mdb;
    const int pageSize = int(mdb->fmt->pg_size);
    const int countAt = mdb->fmt->row_count_offset;
    std::vector<MdbField> fields(std::max(1u, t->num_cols));
    std::array<unsigned char, MDB_PGSIZE> page;
    QVariantList values;
    guint32 pg = 0;
    for (;;) {
        // The table's pages, from its usage map, in page order.
        const gint32 next = mdb_map_find_next(mdb, t->usage_map, unsigned(t->map_sz), pg);
        if (next == 0)
            return true;
        if (next < 0 || guint32(next) <= pg || next >= d->pages || mdb_read_pg(mdb, next) != pageSize)
            return false;
        pg = guint32(next);
        // A page the map lists but which holds no rows of this table has no
        // contact to lose.
        if (mdb->pg_buf[0] != MDB_PAGE_DATA || guint32(mdb_get_int32(mdb->pg_buf, 4)) != t->entry->table_pg)
            continue;
        std::memcpy(page.data(), mdb->pg_buf, size_t(pageSize));
        const int rows = mdb_get_int16(mdb->pg_buf, countAt);
        if (rows > (pageSize - countAt - 2) / 2)
            return false;
        for (int r = 0; r < rows; ++r) {
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb, r, &start, &size) != 0)
                return false;
            if (start & 0x8000)
                continue; // deleted, or the new place of a row that grew (reached below)
            bool ok;
            if (start & 0x4000) {
                // A row that grew past its page: its slot holds the page and
                // row number of its new place.
                if (size < 4)
                    return false;
                const gint32 moved = gint32(mdb_get_int32(mdb->pg_buf, start & 0x1fff));
                void *buf = nullptr;
                int at = 0;
                size_t movedSize = 0;
                if ((moved >> 8) >= d->pages || mdb_find_pg_row(mdb, moved, &buf, &at, &movedSize) != 0)
                    return false;
                mdb_swap_pgbuf(mdb);
                ok = d->crack(at, movedSize, fields, values);
                std::memcpy(mdb->pg_buf, page.data(), size_t(pageSize));
            } else {
                ok = d->crack(start & 0x1fff, size, fields, values);
            }
            if (!ok)
                return false;
            if (!row(values))
                return true;
        }
    }
}

} // namespace legacy
