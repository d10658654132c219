#include "jet_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

namespace jetwriter {

namespace {

constexpr int kPage = 2048;
constexpr uint32_t kPagesPerMapPage = (kPage - 4) * 8; // pages covered by one bitmap page (0x05)
constexpr uint32_t kMapPointers = 33;                 // bitmap page pointers of a usage map row

using Bytes = std::vector<uint8_t>;

// Writes v as a little-endian integer of n bytes.
void put(uint8_t *p, uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        p[i] = (v >> (8 * i)) & 0xff;
}

// RC4 with a 4-byte key, as the engine encrypts its header and pages.
void rc4WithKey(uint32_t key32, uint8_t *data, int len)
{
    uint8_t key[4], s[256];
    put(key, key32, 4);
    for (int i = 0; i < 256; ++i)
        s[i] = uint8_t(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xff;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < len; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xff];
    }
}

// Code page 1252 for U+0080 to U+009F: the byte whose character this is, or
// the control character's own byte where 1252 leaves that byte undefined.
const char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                            0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

std::string cp1252(const std::string &utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t c = utf8[i];
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t cp = extra ? c & (0x3F >> extra) : c;
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (uint8_t(utf8[i + k]) & 0x3F);
        i += 1 + extra;
        const char16_t *high = std::find(kHigh, kHigh + 32, cp);
        const bool latin1 = cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF);
        out += latin1 ? char(cp) : high < kHigh + 32 ? char(0x80 + (high - kHigh)) : '?';
    }
    return out;
}

// The bytes of a fixed column; 0 for a variable one (texts, Ole).
int fixedSize(Type t)
{
    return t == Type::Int ? 2 : t == Type::Long ? 4 : t == Type::Double || t == Type::DateTime ? 8 : 0;
}

struct TableImpl {
    Table def;
    bool system = false;
    uint32_t tdefPage = 0;
    std::vector<uint32_t> dataPages;
    std::vector<int> offsets; // of each fixed column; for a variable one, how many come before it
    int fixedBytes = 0, varCount = 0;

    TableImpl(const Table &t, bool isSystem, uint32_t page) : def(t), system(isSystem), tdefPage(page)
    {
        for (const Column &c : def.columns) {
            offsets.push_back(fixedSize(c.type) ? fixedBytes : varCount++);
            fixedBytes += fixedSize(c.type);
        }
    }
};

// One row as the engine lays it out: column count, fixed columns, variable
// columns, then from the end: null mask, variable column count, offsets of
// the variable columns (last first) and the end-of-data offset. Rows stay
// below 256 bytes, so the row needs no jump table.
std::string packRow(const TableImpl &t, const Row &row)
{
    const int all = int(t.def.columns.size()), n = row.columns < 0 ? all : std::min(row.columns, all);
    int fixedBytes = 0, varCount = 0;
    for (int i = 0; i < n; ++i) {
        fixedBytes += fixedSize(t.def.columns[i].type);
        varCount += !fixedSize(t.def.columns[i].type);
    }
    std::string out(1 + fixedBytes, '\0'), mask((n + 7) / 8, '\0'), varPart;
    out[0] = char(n);
    std::vector<int> offsets;
    for (int i = 0; i < n; ++i) {
        const Value v = i < int(row.values.size()) ? row.values[i] : Value::none();
        if (!v.null)
            mask[i / 8] = char(mask[i / 8] | (1 << (i % 8)));
        const Type type = t.def.columns[i].type;
        uint8_t *p = reinterpret_cast<uint8_t *>(&out[1 + t.offsets[i]]);
        if (!fixedSize(type))
            offsets.push_back(int(out.size() + varPart.size()));
        if (v.null)
            continue;
        if (type == Type::Int)
            put(p, uint16_t(int16_t(v.number)), 2);
        else if (type == Type::Long)
            put(p, uint32_t(int32_t(v.number)), 4);
        else if (fixedSize(type))
            std::memcpy(p, &v.number, 8);
        else
            varPart += v.bytes;
    }
    out += varPart;
    if (t.varCount) {
        out += char(out.size()); // end of data
        for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
            out += char(*it);
        out += char(varCount);
    }
    return out + mask;
}

// A data page being filled: rows from the end of the page, their offsets
// and flags in a table after the 10-byte header.
struct DataPage {
    Bytes bytes = Bytes(kPage, 0);
    int rows = 0, start = kPage;

    explicit DataPage(uint32_t tdef)
    {
        bytes[0] = 0x01;
        bytes[1] = 0x01;
        put(&bytes[4], tdef, 4);
    }
    bool fits(size_t len) const { return start - int(len) >= 10 + 2 * (rows + 1) && rows < 255; }
    // Adds a row; returns where it starts.
    int add(const std::string &row, uint16_t flags = 0)
    {
        start -= int(row.size());
        std::memcpy(&bytes[start], row.data(), row.size());
        put(&bytes[10 + 2 * rows], uint32_t(start) | flags, 2);
        put(&bytes[8], uint32_t(++rows), 2);
        put(&bytes[2], uint32_t(start - 10 - 2 * rows), 2); // free space
        return start;
    }
};

struct FileBuilder {
    std::map<uint32_t, Bytes> pages;
    uint32_t next = 2; // page 0 the header, page 1 the engine's map of used pages, left empty
    uint32_t alloc() { return next++; }

    // A usage map row listing the given pages: pointers to bitmap pages
    // (0x05), each holding one bit for each of kPagesPerMapPage pages.
    std::string mapRow(const std::vector<uint32_t> &used)
    {
        std::string row(1 + 4 * kMapPointers, '\0');
        row[0] = 1;
        std::map<uint32_t, Bytes> bitmaps;
        for (uint32_t p : used) {
            Bytes &bits = bitmaps.try_emplace(p / kPagesPerMapPage, Bytes(kPage, 0)).first->second;
            bits[4 + p % kPagesPerMapPage / 8] |= uint8_t(1 << (p % 8));
        }
        for (auto &[index, bits] : bitmaps) {
            if (index >= kMapPointers)
                break;
            bits[0] = 0x05;
            bits[1] = 0x01;
            const uint32_t at = alloc();
            put(reinterpret_cast<uint8_t *>(&row[1 + 4 * index]), at, 4);
            pages[at] = bits;
        }
        return row;
    }
};

Bytes tdefPage(const TableImpl &t, uint32_t usageMap)
{
    Bytes p(kPage, 0);
    p[0] = 0x02;
    p[1] = 0x01;
    std::memcpy(&p[2], "VC", 2);
    put(&p[12], uint32_t(t.def.rows.size()), 4);
    p[20] = t.system ? 0x53 : 0x4e;
    const uint32_t columns = uint32_t(t.def.columns.size());
    put(&p[21], columns, 2);
    put(&p[23], uint32_t(t.varCount), 2);
    put(&p[25], columns, 2);
    put(&p[35], usageMap, 4);
    put(&p[39], usageMap, 4); // the free-space map: only writers read it
    size_t pos = 43;
    for (uint32_t i = 0; i < columns; ++i, pos += 18) {
        const Type type = t.def.columns[i].type;
        uint8_t *c = &p[pos];
        c[0] = uint8_t(type);
        put(c + 1, i, 2);
        put(c + 3, uint32_t(fixedSize(type) ? 0 : t.offsets[i]), 2);
        put(c + 5, i, 2);
        put(c + 7, 1, 2);
        put(c + 9, 0x0409, 2); // general sort order
        put(c + 11, 1252, 2);  // code page
        c[13] = uint8_t((fixedSize(type) ? 0x03 : 0x02) | (t.system ? 0x10 : 0));
        put(c + 14, uint32_t(fixedSize(type) ? t.offsets[i] : 0), 2);
        put(c + 16, uint32_t(fixedSize(type) ? fixedSize(type) : t.def.columns[i].size), 2);
    }
    for (const Column &c : t.def.columns) {
        const std::string name = cp1252(c.name);
        p[pos++] = uint8_t(name.size());
        std::memcpy(&p[pos], name.data(), name.size());
        pos += name.size();
    }
    put(&p[pos], 0xffff, 2); // no variable-column usage records
    put(&p[8], uint32_t(pos + 2), 4);
    return p;
}

} // namespace

Value Value::text(const std::string &utf8) { return {false, 0, cp1252(utf8)}; }

double jetDate(int year, int month, int day, int hour, int minute, int second)
{
    using namespace std::chrono;
    const sys_days date = std::chrono::year(year) / month / day;
    const int n = int((date - sys_days(1899y / December / 30)).count());
    const double t = (hour * 3600 + minute * 60 + second) / 86400.0;
    return n >= 0 ? n + t : n - t;
}

std::vector<Column> transmissionColumns()
{
    return {{"Date", Type::DateTime, 0}, {"Sequanel", Type::Text, 6}, {"RST", Type::Text, 5},
            {"Mhertz", Type::Int, 0},    {"Hertz", Type::Int, 0},     {"Bande", Type::Text, 5},
            {"Préfixe", Type::Int, 0},   {"Qrz1", Type::Text, 15},    {"Qrz2", Type::Text, 15},
            {"Qrz3", Type::Text, 15},    {"N°", Type::Int, 0},        {"BP", Type::Text, 10},
            {"Ville", Type::Text, 20},   {"CP", Type::Text, 10},      {"Pays", Type::Text, 20},
            {"Opérateur", Type::Text, 20}};
}

Row sampleContact(int n)
{
    static const char *towns[] = {"Orléans", "Besançon", "Nîmes", "Saint-Étienne"};
    static const char *operators[] = {"Stéphane", "Hélène", "Zoé", "François"};
    // One contact a minute from 6 June 1998 at 08:00: contact 960 is at midnight.
    const double date = jetDate(1998, 6, 6, 8) + n / 1440.0;
    Row r;
    r.values = {Value::num(date),      Value::text(std::to_string(n)), Value::text(n % 5 ? "59" : "57"),
                Value::num(26 + n % 3), Value::num(5 + 10 * (n % 100)), Value::text("FM"),
                Value::num(n % 90),    Value::text("Alpha"),           Value::text("Québec"),
                Value::text("Roméo"),  Value::num(n % 1000),           n % 7 ? Value::text("") : Value::none(),
                Value::text(towns[n % 4]), n % 11 ? Value::text("45000") : Value::none(), Value::text("France"),
                Value::text(operators[n % 4])};
    return r;
}

std::string write(const std::string &path, const std::vector<Table> &tables, const Options &options)
{
    // The catalog, with the columns its readers look for, its definition on
    // page 2; then the user tables.
    FileBuilder f;
    const Table catalog{"MSysObjects",
                        {{"Id", Type::Long, 0}, {"Name", Type::Text, 255}, {"Type", Type::Int, 0},
                         {"Flags", Type::Long, 0}, {"LvProp", Type::Ole, 0}},
                        {}};
    std::vector<TableImpl> all{TableImpl(catalog, true, f.alloc())};
    const uint32_t mapsPage = f.alloc(), catalogPage = f.alloc();
    DataPage catalogRows(all[0].tdefPage);
    all[0].dataPages = {catalogPage};
    for (const Table &t : tables) {
        all.emplace_back(t, false, f.alloc());
        const Row entry{{Value::num(all.back().tdefPage), Value::text(t.name), Value::num(1), Value::num(0),
                         t.properties.empty() ? Value::none() : Value{false, 0, t.properties}}};
        catalogRows.add(packRow(all[0], entry));
        all[0].def.rows.push_back(entry); // counted in the catalog's definition
    }
    f.pages[catalogPage] = catalogRows.bytes;

    // Data pages of the user tables, one table after another.
    for (size_t i = 1; i < all.size(); ++i) {
        TableImpl &t = all[i];
        std::vector<DataPage> pages;
        auto place = [&](const std::string &bytes, uint16_t flags) {
            if (pages.empty() || !pages.back().fits(bytes.size())) {
                pages.emplace_back(t.tdefPage);
                t.dataPages.push_back(f.alloc());
            }
            return pages.back().add(bytes, flags);
        };
        struct Moved {
            size_t page;
            int at;
            std::string bytes;
        };
        std::vector<Moved> moved;
        for (const Row &r : t.def.rows) {
            const std::string bytes = packRow(t, r);
            if (bytes.size() >= 256)
                return "row too long in table " + t.def.name;
            const int at = place(r.moved ? std::string(4, '\0') : bytes, r.moved ? 0x4000 : 0);
            if (r.moved)
                moved.push_back({pages.size() - 1, at, bytes});
        }
        // Rows that grew live at the end, marked deleted so that a reading
        // page by page meets them only through the pointer left in their slot.
        for (const Moved &m : moved) {
            place(m.bytes, 0x8000);
            put(&pages[m.page].bytes[m.at], (t.dataPages.back() << 8) | uint32_t(pages.back().rows - 1), 4);
        }
        for (size_t p = 0; p < pages.size(); ++p)
            f.pages[t.dataPages[p]] = pages[p].bytes;
    }

    // The usage maps (which pages a table owns), one row per table.
    DataPage maps(0);
    for (const TableImpl &t : all) {
        f.pages[t.tdefPage] = tdefPage(t, (mapsPage << 8) | uint32_t(maps.rows));
        maps.add(f.mapRow(t.dataPages));
    }
    f.pages[mapsPage] = maps.bytes;

    const uint32_t key = 0x5a17c3e1; // the page key of an encrypted file
    Bytes h(kPage, 0);
    h[1] = 0x01;
    std::memcpy(&h[4], "Standard Jet DB", 15);
    put(&h[0x3a], 0x0409, 2);
    put(&h[0x3c], 1252, 2);
    if (options.encrypted)
        put(&h[0x3e], key, 4);
    rc4WithKey(0x6b39dac7, &h[0x18], 126);
    f.pages[0] = h;

    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return "cannot write " + path;
    bool ok = true;
    for (uint32_t no = 0; no < f.next && ok; ++no) {
        Bytes p = f.pages.count(no) ? f.pages[no] : Bytes(kPage, 0);
        if (options.encrypted && no > 0)
            rc4WithKey(key ^ no, p.data(), kPage);
        ok = std::fwrite(p.data(), 1, kPage, out) == size_t(kPage);
    }
    ok = std::fclose(out) == 0 && ok;
    return ok ? std::string() : "cannot write " + path;
}

} // namespace jetwriter
