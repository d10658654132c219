#include "jet_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace jetwriter {

namespace {

constexpr int kPage = 2048;
constexpr int kMapBytes = 128;           // bitmap of a map kept in its row (type 0)
constexpr int kPagesPerMapPage = (kPage - 4) * 8; // pages covered by one 0x05 page (type 1)
constexpr int kMapPointers = 33;          // page pointers of a type 1 map row

using Bytes = std::vector<uint8_t>;

void put16(uint8_t *p, uint32_t v) { p[0] = v & 0xff; p[1] = (v >> 8) & 0xff; }
void put32(uint8_t *p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xff; }

// RC4 with a 4-byte key, as the engine encrypts its header and pages.
void rc4WithKey(uint32_t key32, uint8_t *data, int len)
{
    uint8_t key[4], s[256];
    put32(key, key32);
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

// Windows-1252 bytes 0x80..0x9F that are not Latin-1 (0 where undefined).
const char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string cp1252(const std::string &utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t c = utf8[i];
        uint32_t cp = c;
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (extra)
            cp = c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (uint8_t(utf8[i + k]) & 0x3F);
        i += 1 + extra;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += char(cp);
            continue;
        }
        char b = '?';
        for (int k = 0; k < 32; ++k)
            if (kHigh[k] && kHigh[k] == cp)
                b = char(0x80 + k);
        out += b;
    }
    return out;
}

bool isFixed(Type t) { return t != Type::Text && t != Type::Binary && t != Type::Memo && t != Type::Ole; }

int fixedSize(Type t)
{
    switch (t) {
    case Type::Int: return 2;
    case Type::Long: return 4;
    case Type::Double:
    case Type::DateTime: return 8;
    default: return 0;
    }
}

struct Layout {
    Column column;
    int number = 0;      // column number, also its bit in the null mask
    int varIndex = 0;    // for a variable column its place among them, else how many come before
    int fixedOffset = 0;
};

struct TableImpl {
    Table def;
    bool system = false;
    std::vector<Layout> layout;
    int fixedBytes = 0, varCount = 0;
    uint32_t tdefPage = 0;
    std::vector<uint32_t> dataPages;
};

void lay(TableImpl &t)
{
    for (size_t i = 0; i < t.def.columns.size(); ++i) {
        Layout l{t.def.columns[i], int(i), t.varCount, 0};
        if (isFixed(l.column.type)) {
            l.fixedOffset = t.fixedBytes;
            t.fixedBytes += fixedSize(l.column.type);
        } else {
            ++t.varCount;
        }
        t.layout.push_back(l);
    }
}

// One row as the engine lays it out: column count, fixed columns, variable
// columns, then from the end: null mask, variable column count, jump table,
// offsets of the variable columns (last first) and the end-of-data offset.
std::string packRow(const TableImpl &t, const Row &row)
{
    const int n = int(t.layout.size());
    const int maskBytes = (n + 7) / 8;
    std::string out(1 + t.fixedBytes, '\0');
    out[0] = char(n);
    std::string mask(maskBytes, '\0');
    auto value = [&](int i) { return i < int(row.values.size()) ? row.values[i] : Value::none(); };
    for (const Layout &l : t.layout) {
        const Value v = value(l.number);
        if (!v.null)
            mask[l.number / 8] = char(mask[l.number / 8] | (1 << (l.number % 8)));
        if (v.null || !isFixed(l.column.type))
            continue;
        uint8_t *p = reinterpret_cast<uint8_t *>(&out[1 + l.fixedOffset]);
        switch (l.column.type) {
        case Type::Int: put16(p, uint16_t(int16_t(int64_t(v.number)))); break;
        case Type::Long: put32(p, uint32_t(int32_t(int64_t(v.number)))); break;
        case Type::Double:
        case Type::DateTime: std::memcpy(p, &v.number, 8); break;
        default: break;
        }
    }
    if (t.varCount == 0)
        return out + mask;

    std::vector<int> offsets;
    for (const Layout &l : t.layout) {
        if (isFixed(l.column.type))
            continue;
        offsets.push_back(int(out.size()));
        const Value v = value(l.number);
        if (v.null)
            continue;
        out += v.bytes;
    }
    const int eod = int(out.size());
    offsets.push_back(eod);
    const int v = t.varCount;
    // One jump entry per 256 bytes crossed, plus a dummy one when the row's
    // own length asks for one more than the offsets need.
    const int crossings = eod / 256;
    const int trailer = 1 + v + 1 + maskBytes;
    int jumps = crossings;
    if ((eod + trailer + jumps - 1) / 256 != jumps)
        ++jumps;
    out += char(eod & 0xff);
    for (int i = v - 1; i >= 0; --i)
        out += char(offsets[i] & 0xff);
    if (jumps > crossings)
        out += char(0xff);
    for (int k = crossings; k >= 1; --k) {
        int first = 0;
        while (offsets[first] < 256 * k)
            ++first;
        out += char(first);
    }
    out += char(v);
    return out + mask;
}

struct DataPage {
    uint32_t tdef = 0;
    std::vector<std::pair<std::string, uint16_t>> rows; // bytes, flags
    int used = 10;
    bool fits(size_t len) const { return used + 2 + int(len) <= kPage && rows.size() < 255; }
    void add(const std::string &bytes, uint16_t flags)
    {
        rows.push_back({bytes, flags});
        used += 2 + int(bytes.size());
    }
    Bytes render() const
    {
        Bytes p(kPage, 0);
        p[0] = 0x01;
        p[1] = 0x01;
        put32(&p[4], tdef);
        put16(&p[8], uint32_t(rows.size()));
        int pos = kPage;
        for (size_t i = 0; i < rows.size(); ++i) {
            pos -= int(rows[i].first.size());
            std::memcpy(&p[pos], rows[i].first.data(), rows[i].first.size());
            put16(&p[10 + 2 * i], uint32_t(pos) | rows[i].second);
        }
        put16(&p[2], uint32_t(pos - 10 - 2 * int(rows.size())));
        return p;
    }
};

struct FileBuilder {
    std::map<uint32_t, Bytes> pages;
    uint32_t next = 0;
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> bitmapPages; // 0x05 pages to fill
    uint32_t alloc() { return next++; }

    // A usage map row over the given pages: kept in the row when every page is
    // below 1024, else a list of 0x05 pages holding the bits.
    std::string mapRow(const std::vector<uint32_t> &used)
    {
        const uint32_t last = used.empty() ? 0 : *std::max_element(used.begin(), used.end());
        std::string row;
        if (last < kMapBytes * 8) {
            row.assign(1 + 4 + kMapBytes, '\0');
            for (uint32_t p : used)
                row[5 + p / 8] = char(row[5 + p / 8] | (1 << (p % 8)));
            return row;
        }
        row.assign(1 + 4 * kMapPointers, '\0');
        row[0] = 1;
        std::map<uint32_t, std::vector<uint32_t>> byMapPage;
        for (uint32_t p : used)
            byMapPage[p / kPagesPerMapPage].push_back(p);
        for (auto &[index, ps] : byMapPage) {
            if (index >= uint32_t(kMapPointers))
                break;
            const uint32_t at = alloc();
            put32(reinterpret_cast<uint8_t *>(&row[1 + 4 * index]), at);
            bitmapPages.push_back({at, ps});
        }
        return row;
    }
};

Table catalogTable()
{
    Table t{"MSysObjects", {}, {}};
    const std::pair<const char *, Type> cols[] = {
        {"Id", Type::Long},          {"ParentId", Type::Long},      {"Name", Type::Text},
        {"Type", Type::Int},         {"DateCreate", Type::DateTime}, {"DateUpdate", Type::DateTime},
        {"Owner", Type::Binary},     {"Flags", Type::Long},         {"Database", Type::Memo},
        {"Connect", Type::Memo},     {"ForeignName", Type::Text},   {"RmtInfoShort", Type::Binary},
        {"RmtInfoLong", Type::Ole},  {"Lv", Type::Ole},             {"LvProp", Type::Ole},
        {"LvModule", Type::Ole},     {"LvExtra", Type::Ole}};
    for (const auto &[name, type] : cols)
        t.columns.push_back({name, type, (type == Type::Text || type == Type::Binary) ? 255 : 0});
    return t;
}

Row catalogRow(uint32_t id, uint32_t parent, const std::string &name, int type, uint32_t flags)
{
    const double created = jetDate(1998, 3, 14, 10, 0, 0);
    Row r;
    r.values.assign(17, Value::none());
    r.values[0] = Value::num(int32_t(id));
    r.values[1] = Value::num(int32_t(parent));
    r.values[2] = Value::text(name);
    r.values[3] = Value::num(type);
    r.values[4] = Value::num(created);
    r.values[5] = Value::num(created);
    r.values[7] = Value::num(int32_t(flags));
    return r;
}

Bytes tdefPage(const TableImpl &t, uint32_t usageMap, uint32_t freeMap)
{
    Bytes p(kPage, 0);
    p[0] = 0x02;
    p[1] = 0x01;
    std::memcpy(&p[2], "VC", 2);
    uint32_t live = 0;
    for (const Row &r : t.def.rows)
        live += r.deleted ? 0 : 1;
    put32(&p[12], live);
    p[20] = t.system ? 0x53 : 0x4e;
    put16(&p[21], uint32_t(t.layout.size()));
    put16(&p[23], uint32_t(t.varCount));
    put16(&p[25], uint32_t(t.layout.size()));
    put32(&p[35], usageMap);
    put32(&p[39], freeMap);
    size_t pos = 43;
    for (const Layout &l : t.layout) {
        uint8_t *c = &p[pos];
        c[0] = uint8_t(l.column.type);
        put16(c + 1, uint32_t(l.number));
        put16(c + 3, uint32_t(l.varIndex));
        put16(c + 5, uint32_t(l.number));
        put16(c + 7, 1);
        put16(c + 9, 0x0409);  // general sort order
        put16(c + 11, 1252);   // code page
        c[13] = uint8_t((isFixed(l.column.type) ? 0x03 : 0x02) | (t.system ? 0x10 : 0));
        put16(c + 14, uint32_t(l.fixedOffset));
        put16(c + 16, uint32_t(isFixed(l.column.type) ? fixedSize(l.column.type) : l.column.size));
        pos += 18;
    }
    for (const Layout &l : t.layout) {
        const std::string name = cp1252(l.column.name);
        p[pos++] = uint8_t(name.size());
        std::memcpy(&p[pos], name.data(), name.size());
        pos += name.size();
    }
    put16(&p[pos], 0xffff); // no variable-column usage records
    pos += 2;
    put32(&p[8], uint32_t(pos));
    return p;
}

} // namespace

Value Value::text(const std::string &utf8) { return {false, 0, cp1252(utf8)}; }

double jetDate(int year, int month, int day, int hour, int minute, int second)
{
    // Days from 1 March of year 0 (proleptic Gregorian), as a civil-date count.
    auto days = [](int y, int m, int d) {
        y -= m <= 2;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const int yoe = y - era * 400;
        const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe;
    };
    const int n = days(year, month, day) - days(1899, 12, 30);
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
    static const char *words[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Fox-trot", "Golf", "Hôtel",
                                  "India", "Juliette", "Kilo", "Lima", "Mike", "Novembre", "Oscar", "Papa",
                                  "Québec", "Roméo", "Sierra", "Tango", "Uniforme", "Victor", "Whisky",
                                  "X-ray", "Yankee", "Zoulou"};
    static const char *towns[][2] = {{"Orléans", "45000"},   {"Besançon", "25000"}, {"Nîmes", "30000"},
                                     {"Saint-Étienne", "42000"}, {"Brest", "29200"}, {"Dijon", "21000"},
                                     {"Angoulême", "16000"}, {"Évreux", "27000"}};
    static const char *operators[] = {"Stéphane", "Hélène", "Zoé", "François", "Maëlle", "Jérôme"};
    static const char *modes[] = {"AM", "FM", "LSB", "USB"};
    const unsigned h = unsigned(n) * 2654435761u;
    // Contest weekends from 6 June 1998, one contact every few minutes.
    const int weekend = n / 400;
    const int minuteOfContest = (n % 400) * 7;
    int second = int(h % 60);
    int hour = 8 + minuteOfContest / 60 % 16, minute = minuteOfContest % 60;
    if (n % 97 == 0)
        hour = minute = second = 0; // midnight
    const double date = jetDate(1998, 6, 6, hour, minute, second) + weekend * 7 + (minuteOfContest / 960);
    const auto *town = towns[h % 8];
    Row r;
    r.values = {Value::num(date), Value::text(std::to_string(n)), Value::text(h % 5 ? "59" : "57"),
                Value::num(26 + h % 3), Value::num(5 + 10 * (h % 100)), Value::text(modes[h % 4]),
                Value::num(14 + h % 90), Value::text(words[h % 26]), Value::text(words[(h / 26) % 26]),
                Value::text(words[(h / 676) % 26]), Value::num(n % 1000),
                n % 7 == 0 ? Value::none() : Value::text(n % 3 ? "" : std::to_string(h % 900 + 10)),
                Value::text(town[0]), n % 11 == 0 ? Value::none() : Value::text(town[1]), Value::text("France"),
                Value::text(operators[h % 6])};
    return r;
}

std::string write(const std::string &path, const std::vector<Table> &tables, const Options &options)
{
    FileBuilder f;
    f.alloc(); // the header
    const uint32_t globalMap = f.alloc();
    std::vector<TableImpl> all;
    all.push_back({catalogTable(), true, {}, 0, 0, f.alloc(), {}});
    const uint32_t mapsPage = f.alloc();
    const uint32_t catalogPage = f.alloc();
    for (const Table &t : tables)
        all.push_back({t, false, {}, 0, 0, 0, {}});
    for (TableImpl &t : all)
        lay(t);

    // Data pages of the user tables, one table after another.
    std::vector<DataPage> dataPages;
    std::map<uint32_t, size_t> pageIndex;
    for (size_t i = 1; i < all.size(); ++i) {
        TableImpl &t = all[i];
        t.tdefPage = f.alloc();
        DataPage current{t.tdefPage, {}, 10};
        uint32_t currentNo = 0;
        auto flush = [&] {
            if (current.rows.empty())
                return;
            pageIndex[currentNo] = dataPages.size();
            dataPages.push_back(current);
            current = DataPage{t.tdefPage, {}, 10};
        };
        struct Moved {
            size_t page, row;
            std::string bytes;
        };
        std::vector<Moved> moved;
        auto place = [&](const std::string &bytes, uint16_t flags) {
            if (current.rows.empty() || !current.fits(bytes.size())) {
                flush();
                currentNo = f.alloc();
                t.dataPages.push_back(currentNo);
            }
            current.add(bytes, flags);
        };
        for (const Row &r : t.def.rows) {
            const std::string bytes = packRow(t, r);
            if (bytes.size() + 12 > size_t(kPage))
                return "row too long for a page in table " + t.def.name;
            place(r.moved ? std::string(4, '\0') : bytes, r.deleted ? 0xC000 : r.moved ? 0x4000 : 0);
            if (r.moved)
                moved.push_back({dataPages.size(), current.rows.size() - 1, bytes});
        }
        flush();
        // Rows that grew live at the end, marked deleted so that a reading
        // page by page meets them only through the pointer left in their slot.
        for (const Moved &m : moved) {
            place(m.bytes, 0x8000);
            put32(reinterpret_cast<uint8_t *>(&dataPages[m.page].rows[m.row].first[0]),
                  (currentNo << 8) | uint32_t(current.rows.size() - 1));
        }
        flush();
    }

    // The catalog: containers, itself, then the user tables.
    TableImpl &catalog = all[0];
    catalog.dataPages = {catalogPage};
    const uint32_t tablesId = 0x0F000001;
    catalog.def.rows = {catalogRow(tablesId, 0x0F000000, "Tables", 3, 0x80000000u),
                        catalogRow(0x0F000002, 0x0F000000, "Databases", 3, 0x80000000u),
                        catalogRow(0x0F000003, 0x0F000000, "Relationships", 3, 0x80000000u),
                        catalogRow(2, tablesId, "MSysObjects", 1, 0x80000000u)};
    for (size_t i = 1; i < all.size(); ++i)
        catalog.def.rows.push_back(catalogRow(all[i].tdefPage, tablesId, all[i].def.name, 1, 0));
    DataPage catalogData{catalog.tdefPage, {}, 10};
    for (const Row &r : catalog.def.rows) {
        catalogData.add(packRow(catalog, r), 0); // room for a few tables
    }

    // Usage maps (which pages a table owns) and free-space maps (pages with
    // room left: the last one), two rows per table on one page.
    DataPage maps{0, {}, 10};
    std::vector<std::pair<uint32_t, uint32_t>> mapRefs;
    for (const TableImpl &t : all) {
        const uint32_t usageRow = uint32_t(maps.rows.size());
        maps.add(f.mapRow(t.dataPages), 0);
        std::vector<uint32_t> roomy;
        if (!t.dataPages.empty())
            roomy.push_back(t.dataPages.back());
        maps.add(f.mapRow(roomy), 0);
        mapRefs.push_back({(mapsPage << 8) | usageRow, (mapsPage << 8) | (usageRow + 1)});
    }

    std::vector<uint32_t> everything;
    for (uint32_t p = 0; p < f.next; ++p)
        everything.push_back(p);
    DataPage global{1, {}, 10};
    global.add(f.mapRow(everything), 0);
    global.add(f.mapRow({}), 0);

    for (size_t i = 0; i < all.size(); ++i)
        f.pages[all[i].tdefPage] = tdefPage(all[i], mapRefs[i].first, mapRefs[i].second);
    f.pages[mapsPage] = maps.render();
    f.pages[catalogPage] = catalogData.render();
    f.pages[globalMap] = global.render();
    for (const auto &[no, index] : pageIndex)
        f.pages[no] = dataPages[index].render();
    for (const auto &[at, ps] : f.bitmapPages) {
        Bytes p(kPage, 0);
        p[0] = 0x05;
        p[1] = 0x01;
        for (uint32_t pg : ps) {
            const uint32_t bit = pg % kPagesPerMapPage;
            p[4 + bit / 8] |= uint8_t(1 << (bit % 8));
        }
        f.pages[at] = p;
    }

    Bytes h(kPage, 0);
    h[1] = 0x01;
    std::memcpy(&h[4], "Standard Jet DB", 15);
    put16(&h[0x3a], 0x0409);
    put16(&h[0x3c], 1252);
    if (options.encrypted)
        put32(&h[0x3e], options.key);
    rc4WithKey(0x6b39dac7, &h[0x18], 126);
    f.pages[0] = h;

    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return "cannot write " + path;
    bool ok = true;
    for (uint32_t no = 0; no < f.next && ok; ++no) {
        Bytes p = f.pages.count(no) ? f.pages[no] : Bytes(kPage, 0);
        if (options.encrypted && no > 0)
            rc4WithKey(options.key ^ no, p.data(), kPage);
        ok = std::fwrite(p.data(), 1, kPage, out) == size_t(kPage);
    }
    ok = std::fclose(out) == 0 && ok;
    return ok ? std::string() : "cannot write " + path;
}

} // namespace jetwriter
