#pragma once
// The floor of each action: the fewest SQLite statements the action needs,
// run with the sqlite3 C API on the same file.
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace raw {

inline void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "raw sqlite: %s: %s\n", what, db ? sqlite3_errmsg(db) : "?");
        std::exit(1);
    }
}

class Db
{
public:
    explicit Db(const std::string &path, bool write = true)
    {
        check(sqlite3_open_v2(path.c_str(), &m_db, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY,
                              nullptr),
              m_db, "open");
        sqlite3_busy_timeout(m_db, 1500);
    }
    ~Db() { sqlite3_close_v2(m_db); }
    Db(const Db &) = delete;
    Db &operator=(const Db &) = delete;

    sqlite3 *handle() const { return m_db; }

    void exec(const char *sql) { check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), m_db, sql); }

    // A statement prepared once, reset before each use.
    class Stmt
    {
    public:
        Stmt(Db &db, const char *sql) : m_db(db.m_db)
        {
            check(sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr), m_db, sql);
        }
        ~Stmt() { sqlite3_finalize(m_stmt); }
        Stmt(const Stmt &) = delete;
        Stmt &operator=(const Stmt &) = delete;
        sqlite3_stmt *get() const { return m_stmt; }
        void reset()
        {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
        // Steps through every row, reading every column as the program would
        // (text for texts, numbers for numbers). Returns the number of rows.
        long long drain()
        {
            long long rows = 0;
            int rc;
            while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
                ++rows;
                const int n = sqlite3_column_count(m_stmt);
                for (int i = 0; i < n; ++i) {
                    if (sqlite3_column_type(m_stmt, i) == SQLITE_TEXT)
                        sink += sqlite3_column_bytes(m_stmt, i) + *sqlite3_column_text(m_stmt, i);
                    else
                        sink += sqlite3_column_int64(m_stmt, i);
                }
            }
            check(rc, m_db, "step");
            sqlite3_reset(m_stmt);
            return rows;
        }
        long long scalarInt()
        {
            long long v = 0;
            if (sqlite3_step(m_stmt) == SQLITE_ROW)
                v = sqlite3_column_int64(m_stmt, 0);
            sqlite3_reset(m_stmt);
            return v;
        }
        static inline long long sink = 0;

    private:
        sqlite3 *m_db;
        sqlite3_stmt *m_stmt = nullptr;
    };

private:
    sqlite3 *m_db = nullptr;
};

inline const char *kInsert =
    "INSERT INTO Transmission (\"Date\", \"Sequanel\", \"RST\", \"Mhertz\", \"Hertz\", \"Bande\", \"Préfixe\", "
    "\"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\", \"BP\", \"Ville\", \"CP\", \"Pays\", \"Opérateur\") "
    "VALUES (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16)";
inline const char *kUpdate =
    "UPDATE Transmission SET \"Date\"=?1, \"Sequanel\"=?2, \"RST\"=?3, \"Mhertz\"=?4, \"Hertz\"=?5, "
    "\"Bande\"=?6, \"Préfixe\"=?7, \"Qrz1\"=?8, \"Qrz2\"=?9, \"Qrz3\"=?10, \"N°\"=?11, \"BP\"=?12, "
    "\"Ville\"=?13, \"CP\"=?14, \"Pays\"=?15, \"Opérateur\"=?16 WHERE rowid=?17";

// Binds a plausible contact to ?1..?16.
inline void bindContact(sqlite3_stmt *s, const char *serial, const char *report)
{
    sqlite3_bind_text(s, 1, "2024-06-15 14:05:07", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 2, serial, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 3, report, -1, SQLITE_STATIC);
    sqlite3_bind_int(s, 4, 27);
    sqlite3_bind_int(s, 5, 405);
    sqlite3_bind_text(s, 6, "USB", -1, SQLITE_STATIC);
    sqlite3_bind_int(s, 7, 14);
    sqlite3_bind_text(s, 8, "Alpha", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 9, "Bravo", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 10, "Charly", -1, SQLITE_STATIC);
    sqlite3_bind_int(s, 11, 123);
    sqlite3_bind_null(s, 12);
    sqlite3_bind_text(s, 13, "Besançon", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 14, "25000", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 15, "France", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 16, "Hélène", -1, SQLITE_STATIC);
}

} // namespace raw
