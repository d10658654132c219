// Writes a log file of N plausible contacts, for the benchmarks.
//
//   sequanel_genlog <path> <contacts> [seed]
//
// The empty file is made by the program's own code (logfile::createEmpty), so
// the table is exactly the one the program makes; the rows are then inserted
// with the sqlite3 C API in one transaction through one prepared statement.
#include "LogFile.h"

#include <QCoreApplication>
#include <QFile>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

namespace {

const char *const kModes[] = {"AM", "FM", "LSB", "USB", "USB", "LSB", "AM"};
const char *const kReports[] = {"59", "57", "5-9", "59", "58", "55", "5/9", "59+", "57", "5-7"};
const char *const kQrz1[] = {"Alpha", "Bravo", "Charly", "Delta", "Echo", "Fox-Trot", "Golf", "Hotel", "India",
                             "Juliette", "Kilo", "Lima", "Mike", "November", "Oscar", "Papa", "Québec",
                             "Roméo", "Sierra", "Tango", "Uniform", "Victor", "Wisky", "X-Ray", "Yankee",
                             "Zoulou"};
const char *const kQrz2[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Fox-Trot", "Golf", "Hôtel", "India",
                             "Juliette", "Kilo", "Lima", "Mike", "November", "Oscar", "Papa", "Québec",
                             "Roméo", "Sierra", "Tango", "Uniform", "Victor", "Wisky", "X-ray", "Yankee",
                             "Zoulou"};
const char *const kQrz3[] = {"Alpha", "Bravo", "Charly", "Delta", "Echo", "Fox-Trot", "Golf", "Hôtel", "India",
                             "Juiliette", "Kilo", "Lima", "Mike", "November", "Oscar", "Papa", "Quebec",
                             "Roméo", "Sierra", "Tango", "Uniform", "Victor", "Wisky", "X-ray", "Yankee",
                             "Zoulou"};
const struct {
    const char *town, *code;
} kTowns[] = {
    {"Paris", "75012"},          {"Marseille", "13008"},      {"Lyon", "69003"},
    {"Toulouse", "31000"},       {"Nice", "06000"},           {"Nantes", "44000"},
    {"Strasbourg", "67000"},     {"Montpellier", "34000"},    {"Bordeaux", "33000"},
    {"Lille", "59000"},          {"Rennes", "35000"},         {"Reims", "51100"},
    {"Le Havre", "76600"},       {"Saint-Étienne", "42000"},  {"Toulon", "83000"},
    {"Grenoble", "38000"},       {"Dijon", "21000"},          {"Angers", "49000"},
    {"Nîmes", "30000"},          {"Villeurbanne", "69100"},   {"Clermont-Ferrand", "63000"},
    {"Le Mans", "72000"},        {"Aix-en-Provence", "13100"}, {"Brest", "29200"},
    {"Tours", "37000"},          {"Amiens", "80000"},         {"Limoges", "87000"},
    {"Annecy", "74000"},         {"Perpignan", "66000"},      {"Besançon", "25000"},
    {"Orléans", "45000"},        {"Metz", "57000"},           {"Rouen", "76000"},
    {"Mulhouse", "68100"},       {"Caen", "14000"},           {"Nancy", "54000"},
    {"Argenteuil", "95100"},     {"Roubaix", "59100"},        {"Avignon", "84000"},
    {"Poitiers", "86000"},       {"La Rochelle", "17000"},    {"Quimper", "29000"},
    {"Bourg-en-Bresse", "01000"}, {"Châteauroux", "36000"},   {"Vesoul", "70000"},
};
const char *const kCountries[] = {"France", "France", "France", "France", "France", "France",
                                  "Belgique", "Suisse", "Italie", "Espagne", "Luxembourg"};
const char *const kOperators[] = {"Jean", "Michel", "Pierre", "Alain", "Philippe", "Patrick", "Nathalie",
                                  "Sylvie", "Christophe", "Bernard", "Gérard", "Françoise", "Hélène", "Éric"};

template <typename T, size_t N>
constexpr size_t count(T (&)[N])
{
    return N;
}

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <path> <contacts> [seed]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);
    const long long n = std::atoll(argv[2]);
    const unsigned seed = argc > 3 ? unsigned(std::atoi(argv[3])) : 20240615u;
    const auto t0 = std::chrono::steady_clock::now();

    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    QString message;
    if (!logfile::createEmpty(path, &message)) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return 1;
    }

    sqlite3 *db = nullptr;
    check(sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
    check(sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; PRAGMA cache_size=-65536;"
                           "BEGIN",
                       nullptr, nullptr, nullptr),
          db, "begin");
    sqlite3_stmt *ins = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO Transmission (\"Date\", \"Sequanel\", \"RST\", \"Mhertz\", \"Hertz\", "
                             "\"Bande\", \"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\", \"BP\", \"Ville\", "
                             "\"CP\", \"Pays\", \"Opérateur\") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                             -1, &ins, nullptr),
          db, "prepare");

    std::mt19937 rng(seed);
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    auto percent = [&](int p) { return int(rng() % 100) < p; };

    // Contests on successive weekends from 1 June 2019, Saturday 08:00 UTC;
    // a contact every 20 s to 4 min, about 1,500 contacts a weekend.
    std::tm base{};
    base.tm_year = 2019 - 1900;
    base.tm_mon = 5;
    base.tm_mday = 1;
    base.tm_hour = 8;
    time_t weekend = timegm(&base);
    time_t t = weekend;
    int sinceWeekend = 0;
    char date[32], serial[24], box[16];
    const char *op = kOperators[0];

    for (long long i = 1; i <= n; ++i) {
        if (sinceWeekend >= 1200 + int(pick(600))) {
            weekend += 7 * 86400;
            t = weekend + time_t(pick(3600));
            sinceWeekend = 0;
            op = kOperators[pick(count(kOperators))];
        }
        t += 20 + time_t(pick(220));
        ++sinceWeekend;
        std::tm tm{};
        gmtime_r(&t, &tm);
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
        // A serial number holds 6 characters: past 999,999 contacts the
        // numbering starts again halfway, as in a log of two contests.
        std::snprintf(serial, sizeof serial, "%lld", n > 999999 ? (i - 1) % 500000 + 1 : i);

        sqlite3_reset(ins);
        sqlite3_clear_bindings(ins);
        sqlite3_bind_text(ins, 1, date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 2, serial, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, kReports[pick(count(kReports))], -1, SQLITE_STATIC);
        const int mhz = percent(70) ? 27 : (percent(50) ? 26 : 28);
        sqlite3_bind_int(ins, 4, mhz);
        sqlite3_bind_int(ins, 5, 5 + 10 * int(pick(100)));
        sqlite3_bind_text(ins, 6, kModes[pick(count(kModes))], -1, SQLITE_STATIC);
        if (!percent(2))
            sqlite3_bind_int(ins, 7, percent(60) ? 14 : 1 + int(pick(250)));
        sqlite3_bind_text(ins, 8, kQrz1[pick(count(kQrz1))], -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 9, kQrz2[pick(count(kQrz2))], -1, SQLITE_STATIC);
        if (!percent(3))
            sqlite3_bind_text(ins, 10, kQrz3[pick(count(kQrz3))], -1, SQLITE_STATIC);
        if (!percent(3))
            sqlite3_bind_int(ins, 11, 1 + int(pick(9999)));
        if (percent(25)) {
            std::snprintf(box, sizeof box, "%d", 1 + int(pick(999)));
            sqlite3_bind_text(ins, 12, box, -1, SQLITE_TRANSIENT);
        }
        if (!percent(8)) {
            const auto &town = kTowns[pick(count(kTowns))];
            sqlite3_bind_text(ins, 13, town.town, -1, SQLITE_STATIC);
            if (!percent(5))
                sqlite3_bind_text(ins, 14, town.code, -1, SQLITE_STATIC);
        }
        if (!percent(10))
            sqlite3_bind_text(ins, 15, kCountries[pick(count(kCountries))], -1, SQLITE_STATIC);
        if (!percent(4))
            sqlite3_bind_text(ins, 16, op, -1, SQLITE_STATIC);
        check(sqlite3_step(ins), db, "insert");
    }
    sqlite3_finalize(ins);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);

    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s: %lld contacts in %.1f s\n", argv[1], n, s);
    return 0;
}
