#pragma once
// The floor of an action on a shared log: the fewest statements it needs,
// sent with libpq itself on a connection of its own to the same server.
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace rawpg {

class Conn
{
public:
    // uri: postgresql://user@%2Fsocket%2Ffolder:port/base
    explicit Conn(const std::string &uri) : m_conn(PQconnectdb(uri.c_str()))
    {
        if (PQstatus(m_conn) != CONNECTION_OK)
            fail("connect");
    }
    ~Conn() { PQfinish(m_conn); }
    Conn(const Conn &) = delete;
    Conn &operator=(const Conn &) = delete;

    // Runs a statement with text parameters; the rows of its result, every
    // value read as text.
    std::vector<std::vector<std::string>> exec(const char *sql, const std::vector<std::string> &params = {})
    {
        std::vector<const char *> values;
        for (const std::string &p : params)
            values.push_back(p.c_str());
        PGresult *r = PQexecParams(m_conn, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
        return take(r, sql);
    }
    // Prepares a statement once under a name; run by run().
    void prepare(const char *name, const char *sql) { take(PQprepare(m_conn, name, sql, 0, nullptr), sql); }
    std::vector<std::vector<std::string>> run(const char *name, const std::vector<std::string> &params)
    {
        std::vector<const char *> values;
        for (const std::string &p : params)
            values.push_back(p.empty() ? nullptr : p.c_str()); // "": NULL
        return take(PQexecPrepared(m_conn, name, int(values.size()), values.data(), nullptr, nullptr, 0), name);
    }

private:
    std::vector<std::vector<std::string>> take(PGresult *r, const char *what)
    {
        const ExecStatusType s = PQresultStatus(r);
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
            PQclear(r);
            fail(what);
        }
        std::vector<std::vector<std::string>> rows(size_t(PQntuples(r)));
        for (int i = 0; i < PQntuples(r); ++i)
            for (int j = 0; j < PQnfields(r); ++j)
                rows[size_t(i)].emplace_back(PQgetvalue(r, i, j), size_t(PQgetlength(r, i, j)));
        PQclear(r);
        return rows;
    }
    [[noreturn]] void fail(const char *what)
    {
        std::fprintf(stderr, "raw postgres: %s: %s\n", what, PQerrorMessage(m_conn));
        std::exit(1);
    }
    PGconn *m_conn;
};

// The sixteen columns of a contact, then the store's key, as the program's
// store lists them.
inline const char *kColumns = "\"Date\", \"Sequanel\", \"RST\", \"Mhertz\", \"Hertz\", \"Bande\", \"Préfixe\", "
                              "\"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\", \"BP\", \"Ville\", \"CP\", \"Pays\", \"Opérateur\"";

// A plausible contact for $1..$16 ("" stands for NULL).
inline std::vector<std::string> contact(const std::string &serial, const std::string &report)
{
    return {"2024-06-15 14:05:07", serial, report, "27", "405", "USB", "14", "Alpha", "Bravo", "Charly", "123", "",
            "Besançon", "25000", "France", "Hélène"};
}

} // namespace rawpg
