#pragma once
// A small writer of Jet 3.0 database files, for the tests and the benchmark:
// the old log files that Sequanel converts were made by the Jet engine, and
// this writes files of the same shape (2 KB pages, a catalog, tables without
// indexes, rows in code page 1252, the engine's page encryption when asked),
// with the rows the tests need. It writes nothing it does not have to: no
// indexes, no properties, no queries, no rows of 256 bytes or more.
#include <cstdint>
#include <string>
#include <vector>

namespace jetwriter {

// Jet's column type codes (the catalog's Ole column is always null here).
enum class Type : uint8_t { Int = 3, Long = 4, Double = 7, DateTime = 8, Text = 10, Ole = 11 };

struct Column {
    std::string name; // UTF-8; written in code page 1252
    Type type = Type::Text;
    int size = 0;     // Text: maximum length in characters
};

// One value of a row: null, a number (integers, doubles, dates as Jet's day
// count) or the stored bytes of a text.
struct Value {
    bool null = true;
    double number = 0;
    std::string bytes;
    static Value none() { return {}; }
    static Value num(double v) { return {false, v, {}}; }
    // UTF-8 text, written in code page 1252 (characters outside it become
    // '?'; U+0081, U+008D, U+008F, U+0090 and U+009D, which no Jet program
    // would write, become the bytes 1252 leaves undefined).
    static Value text(const std::string &utf8);
};

struct Row {
    std::vector<Value> values;
    bool moved = false;   // a row that grew: stored on a later page, its slot pointing there
    int columns = -1;     // a row written before the table's last columns were added: it holds
                          // only its first `columns` ones (all when negative)
};

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<Row> rows;
    std::string properties = {}; // the stored bytes of its catalog entry's properties (LvProp); empty: none
};

struct Options {
    bool encrypted = false; // with the engine's page encryption
};

// Writes the tables to path (replacing any file there); returns an empty
// string on success, else what went wrong.
std::string write(const std::string &path, const std::vector<Table> &tables, const Options &options = {});

// Jet's day count for a date and time: days since 30 December 1899, the time
// of day as a fraction counted forward from midnight, also before 1899
// (1899-12-29 06:00 is -1.25).
double jetDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The sixteen columns of a log file's table Transmission, as the old program
// created them.
std::vector<Column> transmissionColumns();
// A plausible contact with serial number n (accents, some empty and null
// fields, some contacts at midnight).
Row sampleContact(int n);

} // namespace jetwriter
