// Benchmark of the conversion of an old log file (Jet 3.0, encrypted as the
// old program made them) into a Sequanel log file, beside its floor: reading
// every row with libmdb alone.
//
//   sequanel_bench_convert --dir <folder> [--contacts 100000] [--runs 5] [--targets <file>]
//
// Prints a Markdown table on standard output, as sequanel_bench does.
#include "Converter.h"
#include "JetFile.h"
#include "jet_writer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <mdbtools.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<double> timeRuns(int runs, const std::function<void()> &f)
{
    std::vector<double> out;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        f();
        out.push_back(t.nsecsElapsed() / 1e6);
    }
    return out;
}

// Every row read through libmdb's own interface: each column bound, each row
// fetched and turned into text by the library.
qint64 libmdbAlone(const QString &path)
{
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return -1;
    qint64 rows = 0;
    mdb_read_catalog(mdb, MDB_TABLE);
    if (MdbTableDef *t = mdb_read_table_by_name(mdb, const_cast<gchar *>("Transmission"), MDB_TABLE)) {
        mdb_read_columns(t);
        std::vector<std::vector<char>> bound(t->num_cols, std::vector<char>(MDB_BIND_SIZE));
        std::vector<int> lengths(t->num_cols);
        for (unsigned i = 0; i < t->num_cols; ++i)
            mdb_bind_column(t, int(i) + 1, bound[i].data(), &lengths[i]);
        mdb_rewind_table(t);
        while (mdb_fetch_row(t))
            ++rows;
        mdb_free_tabledef(t);
    }
    mdb_close(mdb);
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const QString &name, const QString &fallback) {
        const int i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    const QString dir = option(QStringLiteral("--dir"), QString());
    const int contacts = option(QStringLiteral("--contacts"), QStringLiteral("100000")).toInt();
    const int runs = option(QStringLiteral("--runs"), QStringLiteral("5")).toInt();
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: sequanel_bench_convert --dir <folder> [--contacts N] [--runs N]\n");
        return 2;
    }

    const QString jet = dir + QStringLiteral("/ancien_%1.adb").arg(contacts);
    jetwriter::Table table{"Transmission", jetwriter::transmissionColumns(), {}};
    for (int i = 1; i <= contacts; ++i)
        table.rows.push_back(jetwriter::sampleContact(i));
    jetwriter::Options o;
    o.encrypted = true;
    if (const std::string e = jetwriter::write(jet.toStdString(), {table}, o); !e.empty()) {
        std::fprintf(stderr, "jet_writer: %s\n", e.c_str());
        return 1;
    }
    std::fprintf(stderr, "== %s: %d contacts, %.1f MB\n", qPrintable(jet), contacts, QFileInfo(jet).size() / 1048576.0);

    const QString out = dir + QStringLiteral("/converti.adb");
    qint64 converted = 0;
    const auto endToEnd = timeRuns(runs, [&] {
        QFile::remove(out);
        const legacy::ChildResult r = legacy::runConverter(jet, out);
        converted = r.status == legacy::ChildResult::Done ? r.rows : -1;
    });
    QFile::remove(out);
    qint64 read = 0;
    const auto reader = timeRuns(runs, [&] {
        legacy::JetDatabase db;
        read = 0;
        if (db.open(jet) && db.openTable(QStringLiteral("Transmission")))
            db.readRows([&](const QVariantList &) { return ++read > 0; });
    });
    qint64 floorRows = 0;
    const auto floor = timeRuns(runs, [&] { floorRows = libmdbAlone(jet); });

    const double e = median(endToEnd), r = median(reader), f = median(floor);
    std::printf("\n| action | contacts | median | floor median | ratio | runs | note |\n|---|---:|---:|---:|---:|---:|---|\n");
    std::printf("| 11 convert an old log file, end to end (child process, new log file written and synced) | %d | %.0f ms "
                "| %.0f ms | %.1f× | %d | %.0f contacts/s; %lld rows converted; floor: every row read with libmdb alone "
                "(%lld rows) |\n",
                contacts, e, f, e / f, runs, contacts / (e / 1000), converted, floorRows);
    std::printf("| 9b reading alone (the converter's reader, in process) | %d | %.0f ms | %.0f ms | %.1f× | %d | %.0f "
                "contacts/s; %lld rows |\n",
                contacts, r, f, r / f, runs, contacts / (r / 1000), read);
    // --targets: this program's row of the targets' table, added to that file.
    const QString targets = option(QStringLiteral("--targets"), QString());
    if (FILE *out = targets.isEmpty() ? stdout : std::fopen(qPrintable(targets), "a")) {
        const double rate = contacts / (e / 1000);
        std::fprintf(out, "| 11 conversion of an old log ≥ 200,000 contacts/s end to end | %d | %.0f contacts/s | %s |\n",
                     contacts, rate, rate >= 200000 ? "atteint" : "**manqué**");
        if (out != stdout)
            std::fclose(out);
    }
    return converted == contacts && read == contacts && floorRows == contacts ? 0 : 1;
}
