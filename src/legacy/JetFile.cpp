#include "JetFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
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
    qint64 pages = 0;      // whole pages in the file
    int rowColumns = 0;    // the most columns a row of the table may hold, deleted ones included (Jet 3)
    MdbCatalogEntry catalog{}; // the catalog's own entry: table MSysObjects, defined on page 2
    QHash<size_t, guint32> pageHashes; // data pages read, by a hash of their bytes

    ~Impl()
    {
        drop();
        if (mdb)
            mdb_close(mdb);
    }
    void drop()
    {
        if (table)
            mdb_free_tabledef(table);
        table = nullptr;
    }
    MdbColumn *column(unsigned i) const { return static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i)); }

    bool load(MdbCatalogEntry *entry);
    bool countsSound() const;
    bool definitionSound();
    bool longValueSound(int start, int size) const;
    bool firstOfItsKind(guint32 pg);
    bool rowSound(int start, int size, const std::vector<MdbField> &fields) const;
    QVariant value(const MdbColumn *c, const MdbField &f) const;
    bool crack(int start, size_t size, std::vector<MdbField> &fields, QVariantList &values) const;
};

bool JetDatabase::Impl::load(MdbCatalogEntry *entry)
{
    drop();
    table = mdb_read_table(entry);
    if (table && (!countsSound() || !mdb_read_columns(table) || !definitionSound()))
        drop();
    return table != nullptr;
}

// What the definition counts before libmdb reads its columns: the columns
// and the indexes before them must fit in the file (libmdb would walk the
// definition's pages for as many, round and round a chain of pages that
// loops), and the usage map in a page.
bool JetDatabase::Impl::countsSound() const
{
    const MdbFormatConstants *fmt = mdb->fmt;
    const quint64 reach = quint64(fmt->tab_cols_start_offset) + quint64(table->num_real_idxs) * fmt->tab_ridx_entry_size
                          + quint64(table->num_cols) * fmt->tab_col_entry_size;
    return table->num_cols >= 1 && table->num_cols <= 256 && table->num_var_cols <= table->num_cols
           && reach <= quint64(pages) * fmt->pg_size && table->map_sz <= size_t(fmt->pg_size);
}

// A long value (a memo, an OLE object): its header tells how long it is
// and where its bytes are, in the row, on a page, or on a chain of pages, each
// part on a row naming the next. What it tells must be within the file, and
// a chain must end: no part twice, each part carrying bytes, no more bytes
// than told (libmdb would go round a chain that loops, growing its copy).
bool JetDatabase::Impl::longValueSound(int start, int size) const
{
    if (size < 12) // (read as empty)
        return true;
    const quint32 word = quint32(mdb_get_int32(mdb->pg_buf, start));
    const quint64 length = word & 0x3FFFFFFF, fileBytes = quint64(pages) * mdb->fmt->pg_size;
    if (length > fileBytes)
        return false;
    if (word & 0x80000000) // in the row
        return length <= quint64(size - 12);
    quint32 pgRow = quint32(mdb_get_int32(mdb->pg_buf, start + 4));
    void *buf = nullptr;
    int at = 0;
    size_t partSize = 0;
    auto part = [&] {
        return (pgRow >> 8) > 0 && (pgRow >> 8) < pages && mdb_find_pg_row(mdb, int(pgRow), &buf, &at, &partSize) == 0;
    };
    if (word & 0x40000000) // on one page
        return part() && partSize <= length;
    if (word & 0xFF000000)
        return false; // no such kind
    QSet<quint32> seen;
    quint64 total = 0;
    while (pgRow != 0) {
        if (seen.contains(pgRow) || !part() || partSize <= 4 || (total += partSize - 4) > length)
            return false;
        seen.insert(pgRow);
        pgRow = quint32(mdb_get_int32(buf, at));
    }
    return true;
}

// The bytes of a value of a fixed type (0 for yes/no, a bit of the null
// mask); -1 for the types that may vary in length.
static int fixedSize(int type)
{
    switch (type) {
    case MDB_BOOL: return 0;
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_FLOAT: return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME: return 8;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 17;
    default: return -1;
    }
}

// The columns must agree with the counts of the definition: as many variable
// columns as it states, each with its own place in a row's offset table, and
// each column with its own bit of a row's null mask; and with their types.
bool JetDatabase::Impl::definitionSound()
{
    if (table->num_cols == 0 || !table->columns || table->columns->len != table->num_cols)
        return false;
    const int pageSize = int(mdb->fmt->pg_size);
    rowColumns = 256;
    if (IS_JET3(mdb)) {
        if (mdb_read_pg(mdb, table->entry->table_pg) != pageSize)
            return false;
        rowColumns = mdb_get_int16(mdb->pg_buf, 21);
    }
    std::vector<bool> bits(size_t(rowColumns), false), places(table->num_var_cols, false);
    unsigned variable = 0;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn *c = column(i);
        const bool known = (c->col_type >= MDB_BOOL && c->col_type <= MDB_MEMO) || c->col_type == MDB_REPID
                           || c->col_type == MDB_NUMERIC;
        if (!known || !c->name[0] || c->col_num < 0 || c->col_num >= rowColumns || bits[size_t(c->col_num)])
            return false;
        bits[size_t(c->col_num)] = true;
        // Numbers, dates and yes/no are fixed, each with its own size.
        const int size = fixedSize(c->col_type);
        if (size >= 0 && (!c->is_fixed || (size > 0 && c->col_size != size)))
            return false;
        if (c->is_fixed) {
            if (c->fixed_offset < 0 || c->col_size < 0 || c->fixed_offset + c->col_size > pageSize)
                return false;
        } else {
            if (c->var_col_num >= table->num_var_cols || places[c->var_col_num])
                return false;
            places[c->var_col_num] = true;
            ++variable;
        }
    }
    return variable == table->num_var_cols;
}

// False when a page of the table with the same bytes was read before: one
// of them was copied over the other.
bool JetDatabase::Impl::firstOfItsKind(guint32 pg)
{
    const int pageSize = int(mdb->fmt->pg_size);
    const size_t hash = qHash(QByteArrayView(mdb->pg_buf, pageSize));
    const auto it = pageHashes.constFind(hash);
    if (it == pageHashes.cend()) {
        pageHashes.insert(hash, pg);
        return true;
    }
    return mdb_read_alt_pg(mdb, *it) != pageSize || std::memcmp(mdb->pg_buf, mdb->alt_pg_buf, size_t(pageSize)) != 0;
}

// A Jet 3 row from the end: null mask, count of variable columns, their
// offsets (last first) after the end-of-data offset; from the start: column
// count, fixed columns, variable data. What libmdb made of it (fields) must
// fit that layout: values inside the row's data, fixed ones before the
// variable ones, a null variable column empty, a value wherever the mask
// says there is one. Rows of 256 bytes or more (offsets with jump tables)
// get the checks that need no offsets.
bool JetDatabase::Impl::rowSound(int start, int size, const std::vector<MdbField> &fields) const
{
    if (!IS_JET3(mdb))
        return true;
    const unsigned char *b = mdb->pg_buf + start;
    const int columns = b[0], maskSize = (columns + 7) / 8;
    const bool variable = table->num_var_cols > 0;
    if (columns == 0 || columns > rowColumns || size < 1 + maskSize + (variable ? 2 : 0))
        return false;
    const unsigned char *mask = b + size - maskSize;
    if (columns % 8 && mask[maskSize - 1] >> (columns % 8))
        return false;
    int dataEnd = size - maskSize - (variable ? 1 : 0), varStart = dataEnd;
    if (variable && size < 256) {
        const int count = b[size - maskSize - 1], at = size - maskSize - 2; // offset of the first one
        const int end = at - count;                                         // the end-of-data offset
        if (count > columns || end < 1 || b[end] != end)
            return false;
        for (int i = 0; i < count; ++i)
            if (b[at - i] > b[at - i - 1])
                return false;
        varStart = b[at];
        dataEnd = end;
    }
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn *c = column(i);
        const MdbField &f = fields[i];
        if (c->col_type == MDB_BOOL)
            continue;
        const bool marked = c->col_num < columns && (mask[c->col_num / 8] >> (c->col_num % 8) & 1);
        if (marked && f.is_null)
            return false;
        if (f.is_null && !c->is_fixed) {
            if (f.siz != 0)
                return false;
            continue;
        }
        if (f.is_null && f.start == 0)
            continue;
        const int at = f.start - start;
        if (f.siz < 0 || at < 1 || at + f.siz > (c->is_fixed ? varStart : dataEnd))
            return false;
    }
    return true;
}

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
    // libmdb passes over catalog rows it cannot read, and follows the long
    // values of those it can (their properties) wherever they lead: the
    // catalog is read first as any table, with every check, so that a
    // damaged one is told at once, and from a file that lacks a table.
    d->catalog.mdb = d->mdb;
    d->catalog.object_type = MDB_TABLE;
    d->catalog.table_pg = 2;
    std::strcpy(d->catalog.object_name, "MSysObjects");
    const bool sound = d->load(&d->catalog) && readRows([](const QVariantList &) { return true; }) == Reading::Whole;
    d->drop();
    if (!sound || !mdb_read_catalog(d->mdb, MDB_ANY))
        return false;
    for (unsigned i = 0; i < d->mdb->num_catalog; ++i)
        if (!static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i))->object_name[0])
            return false;
    return true;
}

bool JetDatabase::hasObject(const QString &name) const
{
    for (unsigned i = 0; d->mdb && d->mdb->catalog && i < d->mdb->num_catalog; ++i)
        if (name.compare(QString::fromUtf8(static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i))
                                               ->object_name),
                         Qt::CaseInsensitive)
            == 0)
            return true;
    return false;
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
    d->drop();
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
        return d->load(entry);
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
    if (size < 2 || mdb_crack_row(table, start, size, fields.data()) < 0 || !rowSound(start, int(size), fields))
        return false;
    values.clear();
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn *c = column(i);
        const MdbField &f = fields[i];
        if ((c->col_type == MDB_MEMO || c->col_type == MDB_OLE) && !f.is_null && !longValueSound(f.start, f.siz))
            return false;
        QVariant v = value(c, f);
        // A fixed column too short for its type is a damaged definition.
        if (v.isNull() && !f.is_null && c->col_type != MDB_BOOL)
            return false;
        values << v;
    }
    return true;
}

JetDatabase::Reading JetDatabase::readRows(const std::function<bool(const QVariantList &)> &row)
{
    MdbTableDef *t = d->table;
    if (!t)
        return Reading::Damaged;
    MdbHandle *mdb = d->mdb;
    const int pageSize = int(mdb->fmt->pg_size);
    const int countAt = mdb->fmt->row_count_offset;
    const guint32 tdef = guint32(t->entry->table_pg);
    auto tablePage = [&](unsigned char *p) { return p[0] == MDB_PAGE_DATA && guint32(mdb_get_int32(p, 4)) == tdef; };
    std::vector<MdbField> fields(std::max(1u, t->num_cols));
    std::array<unsigned char, MDB_PGSIZE> page;
    QVariantList values;
    d->pageHashes.clear();
    bool damaged = false;
    qint64 read = 0;
    guint32 pg = 0;
    for (;;) {
        // The table's pages, from its usage map, in page order.
        const gint32 next = mdb_map_find_next(mdb, t->usage_map, unsigned(t->map_sz), pg);
        if (next == 0)
            break;
        if (next < 0 || guint32(next) <= pg) {
            damaged = true;
            break;
        }
        pg = guint32(next);
        // Each page the map lists holds rows of this table, and only there.
        const int rows = mdb_read_pg(mdb, pg) == pageSize ? mdb_get_int16(mdb->pg_buf, countAt) : -1;
        if (next >= d->pages) {
            damaged = true; // and so are the pages after it, that the map may list by the million
            break;
        }
        if (rows < 0 || !tablePage(mdb->pg_buf) || rows > (pageSize - countAt - 2) / 2
            || (rows > 0 && !d->firstOfItsKind(pg))) {
            damaged = true;
            continue;
        }
        std::memcpy(page.data(), mdb->pg_buf, size_t(pageSize));
        for (int r = 0; r < rows; ++r) {
            int start = 0;
            size_t size = 0;
            const bool found = mdb_find_row(mdb, r, &start, &size) == 0;
            if (found && (start & 0x8000))
                continue; // deleted, or the new place of a row that grew (reached below)
            bool ok = found && (start & 0x1fff) >= countAt + 2 + 2 * rows;
            if (ok && (start & 0x4000)) {
                // A row that grew past its page: its slot holds the page and
                // row number of its new place, a page of this table.
                const gint32 moved = size >= 4 ? gint32(mdb_get_int32(mdb->pg_buf, start & 0x1fff)) : -1;
                void *buf = nullptr;
                int at = 0;
                size_t movedSize = 0;
                ok = moved >= 0 && (moved >> 8) < d->pages && mdb_find_pg_row(mdb, moved, &buf, &at, &movedSize) == 0
                     && tablePage(mdb->alt_pg_buf);
                if (ok) {
                    mdb_swap_pgbuf(mdb);
                    ok = d->crack(at, movedSize, fields, values);
                    std::memcpy(mdb->pg_buf, page.data(), size_t(pageSize));
                }
            } else if (ok) {
                ok = d->crack(start & 0x1fff, size, fields, values);
            }
            if (!ok) {
                damaged = true;
                continue;
            }
            ++read;
            if (!row(values))
                return Reading::Stopped;
        }
    }
    // As many rows as the definition states.
    return damaged || read != qint64(t->num_rows) ? Reading::Damaged : Reading::Whole;
}

} // namespace legacy
