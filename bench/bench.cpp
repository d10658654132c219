// Benchmarks of the program's own actions on log files of 1,000, 100,000 and
// 1,000,000 contacts, each beside its floor: the fewest SQLite statements the
// action needs, run with the sqlite3 C API on the same file in the same run.
// Section shared does the same on shared logs (journals copied from those
// files) on a PostgreSQL server of its own, the floors sent with libpq;
// section writers runs its eight stations (S2) alone, after the copy.
//
//   sequanel_bench --dir <folder with log_<n>.adb> [--sizes 1000,100000,1000000]
//                  [--print-sizes 1000,100000] [--runs N] [--only section,...]
//                  [--baseline <sequanel_bench of an earlier build> --baseline-name <text>]
//                  [--targets <file>]  (the rows of the targets' table added to it)
//   sequanel_bench --rss <log file>     (child mode: peak RSS with the log open
//                                         and the grid shown)
//   sequanel_bench --writer <shared log address> <ms>
//                                       (child mode: a station storing contacts
//                                         through its window, for section shared)
//
// Runs under QT_QPA_PLATFORM=offscreen. Every action goes through the real
// windows: frmMain and its handlers, frmListe and its grid, the listing's
// print command writing a PDF file.
#include "RawPostgres.h"
#include "RawSqlite.h"

#include "Backup.h"
#include "BoundControls.h"
#include "ContactTableModel.h"
#include "Engine.h"
#include "Export.h"
#include "Import.h"
#include "PrintSurface.h"
#include "Prompts.h"
#include "RecordSource.h"
#include "frmListe.h"
#include "frmMain.h"
#include "frmStatistiques.h"
#include "LogFile.h"
#include "LogIndex.h"
#include "LogStatistics.h"
#include "PgServer.h"
#include "Cable.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QStyleFactory>
#include <QTableView>
#include <QThread>
#include <QEventLoop>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double timed(const std::function<void()> &f)
{
    const auto t0 = Clock::now();
    f();
    return msSince(t0);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Row {
    QString action;
    qint64 contacts = 0; // 0: not tied to a log size
    double median = NAN;
    double floor = NAN;
    int runs = 0;
    QString note;
};
std::vector<Row> g_rows;
QStringList g_only; // sections to run; empty: all
bool want(const char *section) { return g_only.isEmpty() || g_only.contains(QLatin1String(section)); }

QString fmtMs(double ms)
{
    if (std::isnan(ms))
        return QStringLiteral("—");
    if (ms < 0.1)
        return QString::asprintf("%.3f ms", ms);
    if (ms < 10)
        return QString::asprintf("%.2f ms", ms);
    return QString::asprintf("%.1f ms", ms);
}

QString fmtCount(qint64 n)
{
    if (n == 0)
        return QStringLiteral("—");
    QString s = QString::number(n);
    for (int i = s.size() - 3; i > 0; i -= 3)
        s.insert(i, QLatin1Char(','));
    return s;
}

// action / floor; "1/n" when the action is far below its floor.
QString fmtRatio(double median, double floor)
{
    if (std::isnan(floor))
        return QStringLiteral("—");
    if (median / floor < 0.1)
        return QString::asprintf("1/%.0f", floor / median);
    return QString::asprintf("%.1f×", median / floor);
}

void add(const QString &action, qint64 contacts, const std::vector<double> &samples,
         const std::vector<double> &floor = {}, const QString &note = QString())
{
    Row r{action, contacts, median(samples), median(floor), int(samples.size()), note};
    g_rows.push_back(r);
    const QString ratio = fmtRatio(r.median, r.floor);
    std::fprintf(stderr, "  %-44s %12s  %12s  floor %12s  %7s  %s\n", qPrintable(action), qPrintable(fmtCount(contacts)),
                 qPrintable(fmtMs(r.median)), qPrintable(fmtMs(r.floor)), qPrintable(ratio), qPrintable(note));
}

void printTable()
{
    std::printf("\n| action | contacts | median | floor median | ratio | runs | note |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (const Row &r : g_rows) {
        const QString ratio = fmtRatio(r.median, r.floor);
        std::printf("| %s | %s | %s | %s | %s | %d | %s |\n", qPrintable(r.action), qPrintable(fmtCount(r.contacts)),
                    qPrintable(fmtMs(r.median)), qPrintable(fmtMs(r.floor)), qPrintable(ratio), r.runs,
                    qPrintable(r.note));
    }
    std::fflush(stdout);
}

// The targets, each beside its figure: written as rows of a table whose
// header bench/run.sh prints once, after the conversion has added its own.
std::map<qint64, double> g_rssMb; // peak RSS of this build, by log size

const Row *findRow(const QString &prefix, qint64 contacts)
{
    for (const Row &r : g_rows)
        if (r.action.startsWith(prefix) && r.contacts == contacts)
            return &r;
    return nullptr;
}

void printTargets(FILE *out, const QList<qint64> &sizes)
{
    auto line = [&](const QString &target, qint64 n, const QString &figure, bool met) {
        std::fprintf(out, "| %s | %s | %s | %s |\n", qPrintable(target), qPrintable(fmtCount(n)), qPrintable(figure),
                     met ? "atteint" : "**manqué**");
    };
    // One action against its floor, or against a limit in ms without one.
    auto ratio = [&](const QString &target, const QString &prefix, qint64 n, double limit) {
        if (const Row *r = findRow(prefix, n); r && !std::isnan(r->floor))
            line(target, n, QStringLiteral("%1 / %2 = %3").arg(fmtMs(r->median), fmtMs(r->floor), fmtRatio(r->median, r->floor)),
                 r->median <= limit * r->floor);
    };
    for (qint64 n : sizes)
        ratio(QStringLiteral("4 store an addition ≤ 2× its floor"), QStringLiteral("4 store an addition"), n, 2);
    const qint64 top = sizes.isEmpty() ? 0 : *std::max_element(sizes.begin(), sizes.end());
    if (const Row *r = findRow(QStringLiteral("3c "), top))
        line(QStringLiteral("3c start addition after a change ≤ 1 ms"), top, fmtMs(r->median), r->median <= 1);
    ratio(QStringLiteral("10a duplicate warning known ≤ 1.5× one scan of its columns"), QStringLiteral("10a "), top, 1.5);
    ratio(QStringLiteral("12a statistics ready ≤ 1.5× the GROUP BY floor"), QStringLiteral("12a "), top, 1.5);
    const Row *start = findRow(QStringLiteral("8 program start"), 0), *bare = findRow(QStringLiteral("8 reference"), 0);
    if (start && bare)
        line(QStringLiteral("8 start → splash painted ≤ 1.5× a bare Qt process"), 0,
             QStringLiteral("%1 / %2 = %3").arg(fmtMs(start->median), fmtMs(bare->median), fmtRatio(start->median, bare->median)),
             start->median <= 1.5 * bare->median);
    if (g_rssMb.count(top))
        line(QStringLiteral("8 peak RSS with the grid and the statistics ≤ 80 MB"), top,
             QString::asprintf("%.1f MB", g_rssMb[top]), g_rssMb[top] <= 80);
    std::fflush(out);
}

// Answers every message box (Yes/OK) and hands the queued file names to the
// file dialogs; messages shown are counted, so that a refused action shows.
struct Prompts {
    QStringList files;
    QStringList messages;
    Prompts()
    {
        platform::Responder r;
        r.message = [this](const platform::MessageRequest &m) {
            messages << m.text;
            return m.buttons == platform::MessageButtons::YesNo ? platform::Answer::Yes : platform::Answer::Ok;
        };
        r.file = [this](const platform::FileRequest &) { return files.isEmpty() ? QString() : files.takeFirst(); };
        r.beep = [] {};
        platform::setResponder(r);
    }
    ~Prompts() { platform::clearResponder(); }
    QString takeMessages()
    {
        const QString s = messages.join(QStringLiteral(" / ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
        messages.clear();
        return s;
    }
};
Prompts *g_prompts = nullptr;

void warnMessages(const char *where)
{
    const QString m = g_prompts->takeMessages();
    if (!m.isEmpty())
        std::fprintf(stderr, "  !! message during %s: %s\n", where, qPrintable(m));
}

void open(frmMain &w, const QString &path)
{
    g_prompts->files << path;
    w.controls().mnuOuvrir->trigger();
}

void fillEntry(frmMain &w, const QString &report)
{
    w.controls().txtRST->setText(report);
    w.controls().cmbBande->setEditText(QStringLiteral("USB"));
    w.controls().cmbMHz->setEditText(QStringLiteral("27"));
    w.controls().cmbHz->setEditText(QStringLiteral("405"));
    w.controls().txtOpérateur->setText(QStringLiteral("Hélène"));
    w.controls().txtPréfixeQRZ->setText(QStringLiteral("14"));
    w.controls().cmbQRZ1->setEditText(QStringLiteral("Alpha"));
    w.controls().cmbQRZ2->setEditText(QStringLiteral("Bravo"));
    w.controls().cmbQRZ3->setEditText(QStringLiteral("Charly"));
    w.controls().txtNrQRZ->setText(QStringLiteral("123"));
    w.controls().txtCodePostal->setText(QStringLiteral("25000"));
    w.controls().txtVille->setText(QStringLiteral("Besançon"));
    w.controls().txtBP->setText(QString());
    w.controls().txtPays->setText(QStringLiteral("France"));
}

// Moves Data1 to the middle row by stepping back from the last row through
// the record source itself (untimed set-up); returns the steps per second.
double goToMiddle(frmMain &w, qint64 contacts)
{
    w.controls().Data1->moveLast();
    const auto t0 = Clock::now();
    const qint64 steps = contacts / 2;
    for (qint64 i = 0; i < steps; ++i)
        w.controls().Data1->movePrevious();
    w.ActualiserBoutons();
    return steps / (msSince(t0) / 1000.0);
}

// Opens frmListe, jumps to its last row and waits for the grid to be painted.
struct PaintWatch : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

bool showGridAtEnd(frmListe &l)
{
    PaintWatch watch;
    l.dbgrd->viewport()->installEventFilter(&watch);
    l.show();
    QAbstractItemModel *m = l.dbgrd->model();
    if (m && m->rowCount() > 0) {
        l.dbgrd->scrollToBottom();
        l.dbgrd->setCurrentIndex(m->index(m->rowCount() - 1, 0));
    }
    QElapsedTimer t;
    t.start();
    while (watch.paints == 0 && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    l.dbgrd->viewport()->removeEventFilter(&watch);
    return watch.paints > 0;
}

std::string local(const QString &s) { return QFile::encodeName(s).toStdString(); }

// The call sign of the last contact of a file whose five parts are all filled.
QStringList lastCallSign(const std::string &file)
{
    raw::Db db(file, false);
    raw::Db::Stmt last(db, "SELECT \"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\" FROM Transmission "
                           "WHERE \"Préfixe\" IS NOT NULL AND \"Qrz1\" <> '' AND \"Qrz2\" <> '' "
                           "AND \"Qrz3\" <> '' AND \"N°\" IS NOT NULL ORDER BY rowid DESC LIMIT 1");
    QStringList parts;
    if (sqlite3_step(last.get()) == SQLITE_ROW)
        for (int i = 0; i < 5; ++i)
            parts << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(last.get(), i)));
    return parts;
}

void typeCallSign(frmMain &w, const QStringList &parts)
{
    w.controls().txtPréfixeQRZ->setText(parts.value(0));
    w.controls().cmbQRZ1->setEditText(parts.value(1));
    w.controls().cmbQRZ2->setEditText(parts.value(2));
    w.controls().cmbQRZ3->setEditText(parts.value(3));
    w.controls().txtNrQRZ->setText(parts.value(4));
}

// Processes events until the duplicate warning shows; false after the timeout.
bool waitForWarning(frmMain &w, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    // (while the log is being read, the label says so)
    auto known = [&] { return w.controls().lblDoublon->isVisible() && w.controls().lblDoublon->text().startsWith(QStringLiteral("Déjà")); };
    // Waiting blocks (the window's one-second clock wakes it at the latest):
    // a busy loop here would take a core from the background reading.
    while (!known() && t.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return known();
}

// Stores runs + 1 additions through the window: "&Nouveau", the entry
// filled, "&Valider" timed (the first, a warm-up, left out). The serial
// number proposed is left as it is, so that it is settled at store time.
std::vector<double> storeAdditions(frmMain &w, int runs, QString *note)
{
    std::vector<double> a;
    int refused = 0;
    for (int r = 0; r < runs + 1; ++r) {
        w.controls().cmdNouveau->click();
        fillEntry(w, QStringLiteral("59"));
        if (w.controls().txtNrSequanel->text().size() > 6) {
            // The serial column holds 6 characters: past 999,999 the
            // proposed number cannot be stored.
            *note = QStringLiteral("proposed n° %1 is too long for the column; stored 999999")
                        .arg(w.controls().txtNrSequanel->text());
            w.controls().txtNrSequanel->setText(QStringLiteral("999999"));
        }
        const double t = timed([&] { w.controls().cmdNouveau->click(); }); // "&Valider"
        if (w.controls().cmdNouveau->text() != QLatin1String("&Nouveau")) {
            ++refused;
            w.controls().cmdSupprimer->click();
        }
        if (r > 0)
            a.push_back(t);
    }
    if (refused)
        *note += QStringLiteral(" REFUSED %1×").arg(refused);
    return a;
}

// The duplicate warning, 10a and 10b: from an opening (untimed) until the
// warning shows for a call sign typed at once; then, the reading over, one
// keystroke changing the call sign to one never worked and back.
struct Lookup {
    std::vector<double> reading, hit, miss;
    bool shown = true, hidden = true;
    QString warning;
};

Lookup duplicateLookup(frmMain &w, const QString &log, const QStringList &sign, int openings, int keystrokes)
{
    QStringList never = sign;
    never[4] = QStringLiteral("20000"); // numbers run from 1 to 9999 in these logs
    Lookup l;
    for (int r = 0; r < openings; ++r) {
        w.ChargerFichier(log);
        l.reading.push_back(timed([&] {
            w.controls().cmdNouveau->click();
            typeCallSign(w, sign);
            l.shown = waitForWarning(w, 120000) && l.shown;
        }));
        w.controls().cmdSupprimer->click(); // "&Annuler"
    }
    w.controls().cmdNouveau->click();
    typeCallSign(w, sign);
    for (int r = 0; r < keystrokes; ++r) {
        l.miss.push_back(timed([&] { w.controls().txtNrQRZ->setText(never[4]); }));
        l.hidden = !w.controls().lblDoublon->isVisible() && l.hidden;
        l.hit.push_back(timed([&] { w.controls().txtNrQRZ->setText(sign[4]); }));
        l.shown = w.controls().lblDoublon->isVisible() && l.shown;
    }
    l.warning = w.controls().lblDoublon->text();
    return l;
}

// The floor of 10b: the same lookup as one SQLite statement without an index.
std::vector<double> naiveLookup(const std::string &file, const QStringList &sign, int runs)
{
    std::vector<double> f;
    raw::Db db(file, false);
    raw::Db::Stmt naive(db, "SELECT count(*), \"Sequanel\", \"Date\", max(rowid) FROM Transmission "
                            "WHERE \"Préfixe\" = ?1 AND \"Qrz1\" = ?2 COLLATE NOCASE "
                            "AND \"Qrz2\" = ?3 COLLATE NOCASE AND \"Qrz3\" = ?4 COLLATE NOCASE AND \"N°\" = ?5");
    const std::string words[3] = {sign[1].toStdString(), sign[2].toStdString(), sign[3].toStdString()};
    for (int r = 0; r < runs; ++r)
        f.push_back(timed([&] {
            sqlite3_bind_int(naive.get(), 1, sign[0].toInt());
            for (int i = 0; i < 3; ++i)
                sqlite3_bind_text(naive.get(), 2 + i, words[i].c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_int(naive.get(), 5, sign[4].toInt());
            naive.drain();
        }));
    return f;
}

// ------------------------------------------------------------------- actions

void benchLog(const QString &path, qint64 n, int runs, bool printIt, const QString &dir)
{
    std::fprintf(stderr, "\n== %s (%s contacts)\n", qPrintable(path), qPrintable(fmtCount(n)));
    const std::string file = local(path);
    const bool big = n >= 1000000;

    frmMain w;
    w.show();
    QApplication::processEvents();

    // 1. Opening a log file and showing its last contact.
    if (want("open")) {
        std::vector<double> a, f, p;
        open(w, path); // warm-up
        for (int r = 0; r < runs; ++r) {
            a.push_back(timed([&] { open(w, path); }));
            p.push_back(timed([&] { w.repaint(); }));
        }
        warnMessages("open");
        const QString shown = w.controls().txtNrSequanel->text();
        for (int r = 0; r < runs; ++r)
            f.push_back(timed([&] {
                raw::Db db(file);
                raw::Db::Stmt schema(db, "SELECT name, type FROM pragma_table_info('Transmission')");
                schema.drain();
                raw::Db::Stmt last(db, "SELECT rowid, * FROM Transmission ORDER BY rowid DESC LIMIT 1");
                last.drain();
            }));
        add(QStringLiteral("1 open log, show last contact (Open → ChargerFichier)"), n, a, f,
            QStringLiteral("shows n° %1").arg(shown));
        add(QStringLiteral("1b repaint of the main window after opening"), n, p);
    }

    // 3a. Starting an addition, first time after opening: the serial number
    // lookup reads the whole table, in the background from the opening on.
    // Pressed at once, the button waits for what is left of that reading;
    // pressed a second later (an operator's pace), the number is known.
    if (want("cold")) {
        std::vector<double> a, later, f;
        const int coldRuns = big ? 5 : runs;
        for (int r = 0; r < coldRuns; ++r) {
            open(w, path);
            a.push_back(timed([&] { w.controls().cmdNouveau->click(); }));
            w.controls().cmdSupprimer->click(); // "&Annuler"
            open(w, path);
            QThread::msleep(1000);
            QApplication::processEvents();
            later.push_back(timed([&] { w.controls().cmdNouveau->click(); }));
            w.controls().cmdSupprimer->click();
        }
        warnMessages("cold start addition");
        raw::Db db(file);
        raw::Db::Stmt maxSerial(db, "SELECT max(CAST(\"Sequanel\" AS INTEGER)) FROM Transmission");
        raw::Db::Stmt last(db, "SELECT rowid, * FROM Transmission ORDER BY rowid DESC LIMIT 1");
        for (int r = 0; r < coldRuns; ++r)
            f.push_back(timed([&] {
                maxSerial.scalarInt();
                last.drain();
            }));
        add(QStringLiteral("3a start addition, pressed at once after opening (cmdNouveau)"), n, a, f,
            QStringLiteral("floor: one max() scan + last row"));
        add(QStringLiteral("3a start addition, pressed 1 s after opening (cmdNouveau)"), n, later, f,
            QStringLiteral("background read finished"));
    }

    // 2. One step of cmdSuivant and of cmdPrécédent in the middle.
    open(w, path);
    if (want("nav")) {
        const double rate = goToMiddle(w, n);
        const qint64 mid = w.controls().Data1->currentRowid().value_or(0);
        std::vector<double> next, prev, fn, fp;
        for (int r = 0; r < 2 * runs; ++r) {
            next.push_back(timed([&] { w.controls().cmdSuivant->click(); }));
            prev.push_back(timed([&] { w.controls().cmdPrécédent->click(); }));
        }
        raw::Db db(file);
        raw::Db::Stmt sn(db, "SELECT rowid, * FROM Transmission WHERE rowid > ?1 ORDER BY rowid LIMIT 1");
        raw::Db::Stmt sp(db, "SELECT rowid, * FROM Transmission WHERE rowid < ?1 ORDER BY rowid DESC LIMIT 1");
        for (int r = 0; r < 2 * runs; ++r) {
            fn.push_back(timed([&] {
                sqlite3_bind_int64(sn.get(), 1, mid);
                sn.drain();
            }));
            fp.push_back(timed([&] {
                sqlite3_bind_int64(sp.get(), 1, mid + 1);
                sp.drain();
            }));
        }
        add(QStringLiteral("2 next contact, middle (cmdSuivant)"), n, next, fn,
            QStringLiteral("rowid %1").arg(mid));
        add(QStringLiteral("2 previous contact, middle (cmdPrécédent)"), n, prev, fp,
            QString::asprintf("reached by %.0f steps/s", rate));
    }

    // 3b. Starting an addition with the largest serial number known.
    if (want("warm")) {
        std::vector<double> a, f;
        for (int r = 0; r < 2 * runs; ++r) {
            a.push_back(timed([&] { w.controls().cmdNouveau->click(); }));
            w.controls().cmdSupprimer->click(); // "&Annuler"
        }
        warnMessages("start addition");
        raw::Db db(file);
        raw::Db::Stmt version(db, "PRAGMA data_version");
        raw::Db::Stmt last(db, "SELECT rowid, * FROM Transmission ORDER BY rowid DESC LIMIT 1");
        for (int r = 0; r < 2 * runs; ++r)
            f.push_back(timed([&] {
                version.scalarInt();
                last.drain();
            }));
        add(QStringLiteral("3b start addition (cmdNouveau), serial known"), n, a, f,
            QStringLiteral("floor: data_version + last row"));
    }

    // 9. The duplicate warning while a call sign is typed. 9a: from the
    // opening until the warning is known, that is the background reading of
    // every row (serial numbers and call signs), with "&Nouveau" pressed and
    // the call sign typed at once. 9b: one keystroke in txtNrQRZ once the
    // reading is over, changing the call sign to one worked before or to one
    // never worked. Floor: the same lookup as one SQLite statement without
    // an index.
    if (want("worked")) {
        const QStringList sign = lastCallSign(file);
        QStringList never = sign;
        never[4] = QStringLiteral("20000");
        const Lookup l = duplicateLookup(w, path, sign, big ? 3 : 5, 2 * runs);
        // 10c. Another program adds a contact of that call sign, then deletes
        // it (each commit untimed). Timed: from the window's next look at
        // the file (a keystroke; the clock's tick does the same) until the
        // warning shows the new count: the table's pages surveyed again and
        // the chunks holding rows of the pages that differ read again.
        std::vector<double> absorbed, scan;
        bool followed = true;
        {
            raw::Db other(file);
            for (int r = 0; r < (big ? 6 : 2 * runs); ++r) {
                other.exec(r % 2 ? "DELETE FROM Transmission WHERE rowid = (SELECT max(rowid) FROM Transmission)"
                                 : "INSERT INTO Transmission (Sequanel, Préfixe, Qrz1, Qrz2, Qrz3, N°) "
                                   "SELECT '0', Préfixe, Qrz1, Qrz2, Qrz3, N° FROM Transmission "
                                   "WHERE rowid = (SELECT max(rowid) FROM Transmission)");
                const QString before = w.controls().lblDoublon->text();
                absorbed.push_back(timed([&] {
                    w.controls().txtNrQRZ->setText(never[4]);
                    w.controls().txtNrQRZ->setText(sign[4]);
                    QElapsedTimer t;
                    t.start();
                    while ((w.controls().lblDoublon->text() == before ||
                            !w.controls().lblDoublon->text().startsWith(QStringLiteral("Déjà"))) && t.elapsed() < 60000)
                        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
                }));
                followed = w.controls().lblDoublon->text() != before && followed;
            }
        }
        w.controls().cmdSupprimer->click();
        warnMessages("duplicate warning");
        {
            raw::Db db(file, false);
            raw::Db::Stmt all(db, "SELECT rowid, \"Sequanel\", \"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\" "
                                  "FROM Transmission");
            for (int r = 0; r < (big ? 5 : 2 * runs); ++r)
                scan.push_back(timed([&] { all.drain(); }));
        }
        add(QStringLiteral("10c outside change absorbed by the duplicate warning"), n, absorbed, scan,
            followed ? QStringLiteral("a contact added, then deleted; floor: one scan of rowid, serial, call sign")
                     : QStringLiteral("NOT FOLLOWED"));
        const std::vector<double> f = naiveLookup(file, sign, big ? 5 : 2 * runs);
        add(QStringLiteral("10a duplicate warning known after opening (background reading)"), n, l.reading, scan,
            l.shown ? QStringLiteral("serial numbers and call signs of every row; floor: one scan of rowid, serial, call sign")
                    : QStringLiteral("NOT SHOWN"));
        add(QStringLiteral("10b duplicate lookup, one keystroke, worked before"), n, l.hit, f,
            l.shown ? QStringLiteral("shows « %1 »").arg(l.warning) : QStringLiteral("NOT SHOWN"));
        add(QStringLiteral("10b duplicate lookup, one keystroke, never worked"), n, l.miss, f,
            l.hidden ? QStringLiteral("floor: one statement, no index") : QStringLiteral("SHOWN"));
    }

    // 4. Storing an addition and storing a change, each a durable commit.
    if (want("store")) {
        std::vector<double> f;
        QString note;
        const std::vector<double> a = storeAdditions(w, runs, &note);
        warnMessages("store addition");
        {
            raw::Db db(file);
            db.exec("PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE");
            raw::Db::Stmt begin(db, "BEGIN IMMEDIATE");
            raw::Db::Stmt ins(db, raw::kInsert);
            raw::Db::Stmt commit(db, "COMMIT");
            for (int r = 0; r < runs; ++r)
                f.push_back(timed([&] {
                    begin.drain();
                    raw::bindContact(ins.get(), "1", "59"); // (a large number would fill the numbering)
                    ins.drain();
                    commit.drain();
                }));
        }
        add(QStringLiteral("4 store an addition (cmdNouveau \"&Valider\")"), n, a, f, note);

        std::vector<double> c, fc;
        int refused = 0;
        w.controls().Data1->moveLast();
        w.ActualiserBoutons();
        const qint64 row = w.controls().Data1->currentRowid().value_or(0);
        const std::string serial = w.controls().txtNrSequanel->text().toStdString(); // kept by the floor's changes
        for (int r = 0; r < runs + 1; ++r) {
            w.controls().cmdModifier->click();
            w.controls().txtRST->setText(r % 2 ? QStringLiteral("57") : QStringLiteral("5-9"));
            const double t = timed([&] { w.controls().cmdModifier->click(); }); // "&Valider"
            if (w.controls().cmdModifier->text() != QLatin1String("&Modifier")) {
                ++refused;
                w.controls().cmdSupprimer->click();
            }
            if (r > 0)
                c.push_back(t);
        }
        warnMessages("store change");
        {
            raw::Db db(file);
            db.exec("PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE");
            raw::Db::Stmt begin(db, "BEGIN IMMEDIATE");
            raw::Db::Stmt upd(db, raw::kUpdate);
            raw::Db::Stmt commit(db, "COMMIT");
            for (int r = 0; r < runs; ++r)
                fc.push_back(timed([&] {
                    begin.drain();
                    raw::bindContact(upd.get(), serial.c_str(), r % 2 ? "57" : "5-9");
                    sqlite3_bind_int64(upd.get(), 17, row);
                    upd.drain();
                    commit.drain();
                }));
        }
        add(QStringLiteral("4 store a change (cmdModifier \"&Valider\")"), n, c, fc,
            refused ? QStringLiteral("REFUSED %1×").arg(refused) : QString());

        // 3c. Starting an addition right after a change of the last contact,
        // the one that holds the largest serial number (first run dropped:
        // the floor's own commits above changed the file under the window).
        std::vector<double> after;
        for (int r = 0; r < (big ? 4 : 6); ++r) {
            w.controls().Data1->moveLast();
            w.ActualiserBoutons();
            w.controls().cmdModifier->click();
            w.controls().txtRST->setText(r % 2 ? QStringLiteral("57") : QStringLiteral("5-9"));
            w.controls().cmdModifier->click(); // "&Valider"
            const double t = timed([&] { w.controls().cmdNouveau->click(); });
            w.controls().cmdSupprimer->click(); // "&Annuler"
            if (r > 0)
                after.push_back(t);
        }
        warnMessages("start addition after change");
        add(QStringLiteral("3c start addition after changing the last contact"), n, after, {},
            QStringLiteral("compare with 3a/3b"));
    }

    // 13. One automatic copy of the log, and 4d, 4e. storing while copies run
    // back to back on another thread (as they would with a copy after every
    // contact on a slow stick): the store must not wait for them.
    if (want("backup")) {
        const QString copy = dir + QStringLiteral("/copie.adb");
        const int copyRuns = big ? 3 : runs;
        std::vector<double> one, floor, during, alone;
        for (int r = 0; r < copyRuns; ++r)
            one.push_back(timed([&] { platform::copyLogFile(path, copy); }));
        for (int r = 0; r < copyRuns; ++r)
            floor.push_back(timed([&] {
                raw::Db source(file, false);
                sqlite3 *target = nullptr;
                sqlite3_open(local(copy).c_str(), &target);
                sqlite3_backup *b = sqlite3_backup_init(target, "main", source.handle(), "main");
                sqlite3_backup_step(b, -1);
                sqlite3_backup_finish(b);
                sqlite3_close(target);
                const int fd = ::open(local(copy).c_str(), O_RDONLY);
                ::fsync(fd);
                ::close(fd);
            }));
        add(QStringLiteral("13 automatic copy of the log (copyLogFile)"), n, one, floor,
            QStringLiteral("floor: sqlite3_backup in one step, then fsync"));
        QString note;
        alone = storeAdditions(w, runs, &note);
        // The copies written on the log's own disk, then (staged and written)
        // on another one, as on a USB stick: a memory disk here.
        for (const QString &folder : {dir, QStringLiteral("/dev/shm")}) {
            if (!QFileInfo(folder).isDir())
                continue;
            const QString target = folder + QStringLiteral("/copie.adb"), staging = qEnvironmentVariable("TMPDIR");
            if (folder != dir)
                qputenv("TMPDIR", folder.toLocal8Bit());
            std::atomic<bool> done{false};
            int copies = 0;
            std::thread copier([&] {
                for (; !done; ++copies)
                    platform::copyLogFile(path, target, &done);
            });
            during = storeAdditions(w, runs, &note);
            done = true;
            copier.join();
            qputenv("TMPDIR", staging.toLocal8Bit());
            warnMessages("store while copying");
            QFile::remove(target);
            add(folder == dir ? QStringLiteral("4d store an addition while copies run back to back, same disk")
                              : QStringLiteral("4e store an addition while copies run back to back, other disk"),
                n, during, alone, QStringLiteral("floor: the same stores without copies; %1 copies meanwhile").arg(copies));
        }
        QFile::remove(copy);
    }

    // 5. Deleting a contact in the middle.
    if (want("delete")) {
        const int delRuns = big ? 3 : std::min(runs, 7);
        std::vector<double> a, f;
        std::vector<qint64> rows;
        for (int r = 0; r < delRuns; ++r) {
            goToMiddle(w, n);
            rows.push_back(w.controls().Data1->currentRowid().value_or(0));
            a.push_back(timed([&] { w.controls().cmdSupprimer->click(); }));
        }
        warnMessages("delete");
        raw::Db db(file);
        db.exec("PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE");
        raw::Db::Stmt begin(db, "BEGIN IMMEDIATE");
        raw::Db::Stmt del(db, "DELETE FROM Transmission WHERE rowid = ?1");
        raw::Db::Stmt commit(db, "COMMIT");
        for (int r = 0; r < delRuns; ++r)
            f.push_back(timed([&] {
                begin.drain();
                // Rows well before the ones the window deleted: each floor
                // run deletes a row that exists.
                sqlite3_bind_int64(del.get(), 1, rows.front() - 10 - r);
                del.drain();
                commit.drain();
            }));
        add(QStringLiteral("5 delete a contact, middle (cmdSupprimer)"), n, a, f);
    }

    // 6. Opening the grid window and jumping to its last row, until painted.
    if (want("grid")) {
        std::vector<double> a, f;
        bool painted = true;
        for (int r = 0; r < runs + 1; ++r) {
            frmListe *l = nullptr;
            const double t = timed([&] {
                l = new frmListe(path, &w);
                painted = showGridAtEnd(*l) && painted;
            });
            delete l;
            if (r > 0)
                a.push_back(t);
        }
        warnMessages("grid");
        for (int r = 0; r < runs; ++r)
            f.push_back(timed([&] {
                raw::Db db(file, false);
                raw::Db::Stmt count(db, "SELECT count(*) FROM Transmission");
                count.scalarInt();
                raw::Db::Stmt last(db, "SELECT rowid, * FROM Transmission ORDER BY rowid DESC LIMIT 25");
                last.drain();
            }));
        add(QStringLiteral("6 grid window, jump to last row, painted (frmListe)"), n, a, f,
            painted ? QString() : QStringLiteral("NOT PAINTED"));
    }

    // 7. Printing the listing to a PDF file.
    if (printIt && want("print")) {
        const QString pdf = dir + QStringLiteral("/listing.pdf");
        platform::setDefaultPrinterOverride(platform::PrintTarget::pdfFile(pdf));
        std::vector<double> a, f;
        const int printRuns = n >= 100000 ? 1 : 3;
        qint64 printed = 0;
        for (int r = 0; r < printRuns; ++r) {
            frmListe l(path, &w);
            QFile::remove(pdf);
            a.push_back(timed([&] { l.Command2_Click(); }));
            printed = l.datactrl->recordCount();
        }
        warnMessages("print");
        platform::clearDefaultPrinterOverride();
        const qint64 bytes = QFileInfo(pdf).size();
        QFile::remove(pdf);
        for (int r = 0; r < printRuns; ++r)
            f.push_back(timed([&] {
                raw::Db db(file, false);
                raw::Db::Stmt all(db, "SELECT * FROM Transmission ORDER BY rowid");
                all.drain();
            }));
        const double perSecond = printed / (median(a) / 1000.0);
        add(QStringLiteral("7 print the listing to PDF (Command2)"), n, a, f,
            QString::asprintf("%.0f contacts/s; PDF %.1f MB; floor: read every row", perSecond,
                              bytes / 1048576.0));
    }
}

// 9. Exporting every contact to a CSV file through the menu command (the
// dialog answered with a path, the closing message taken by the responder).
void benchExport(const QString &path, qint64 n, const QString &dir)
{
    const QString csv = dir + QStringLiteral("/export.csv");
    frmMain w;
    open(w, path);
    warnMessages("open");
    std::vector<double> a, f;
    const int exportRuns = n >= 1000000 ? 3 : 5;
    QString said;
    for (int r = 0; r < exportRuns; ++r) {
        QFile::remove(csv);
        g_prompts->files << csv;
        a.push_back(timed([&] { w.controls().mnuExporter->trigger(); }));
        said = g_prompts->takeMessages();
    }
    const qint64 bytes = QFileInfo(csv).size();
    QFile::remove(csv);
    for (int r = 0; r < exportRuns; ++r)
        f.push_back(timed([&] {
            raw::Db db(local(path), false);
            raw::Db::Stmt all(db, "SELECT * FROM Transmission ORDER BY rowid");
            all.drain();
        }));
    // (the earlier sections may have added and deleted a few contacts)
    const qint64 written = said.section(QLatin1Char(' '), 0, 0).toLongLong();
    const bool ok = written > 0 && said.contains(QStringLiteral(" contacts ont été exportés"));
    add(QStringLiteral("9 export to a CSV file (mnuExporter)"), n, a, f,
        QString::asprintf("%.0f contacts/s; CSV %.1f MB; floor: read every row", written / (median(a) / 1000.0),
                          bytes / 1048576.0)
            + (ok ? QString() : QStringLiteral(" NOT EXPORTED: ") + said));
}

// 13. Exchanging with other programs: every contact written to an ADI file
// (exchange::exportLog, the engine of "Exporter au format ADIF…" and of
// sequanel-export --format adi), then that file read, planned and imported
// into an empty log (planImport + runImport, as sequanel-import does).
// Floors: reading every row (export); reading every row of the log and one
// prepared INSERT per row into an empty log in one transaction (import).
void benchExchange(const QString &path, qint64 n, const QString &dir)
{
    const QString adi = dir + QStringLiteral("/exchange.adi"), target = dir + QStringLiteral("/exchange.adb");
    const int runs = n >= 1000000 ? 3 : 5;
    std::vector<double> e, ef, i, inf;
    exchange::ExportOutcome exported;
    for (int r = 0; r < runs; ++r) {
        QFile::remove(adi);
        e.push_back(timed([&] { exported = exchange::exportLog(path, adi, exchange::Format::Adi); }));
    }
    for (int r = 0; r < runs; ++r)
        ef.push_back(timed([&] {
            raw::Db db(local(path), false);
            raw::Db::Stmt all(db, "SELECT * FROM Transmission ORDER BY rowid");
            all.drain();
        }));
    const qint64 bytes = QFileInfo(adi).size();
    add(QStringLiteral("14 export to an ADI file (exportLog)"), n, e, ef,
        QString::asprintf("%.0f contacts/s; ADI %.1f MB; floor: read every row", exported.contacts / (median(e) / 1000.0),
                          bytes / 1048576.0)
            + (exported.ok ? QString() : QStringLiteral(" NOT EXPORTED: ") + exported.message));

    auto emptyLog = [&] {
        platform::Connection::remove(target);
        logfile::createEmpty(target, nullptr);
    };
    exchange::ImportOutcome imported;
    QString message;
    qint64 refused = 0;
    for (int r = 0; r < runs; ++r) {
        emptyLog();
        i.push_back(timed([&] {
            std::optional<exchange::ImportPlan> plan = exchange::planImport(adi, target, &message);
            imported = plan ? exchange::runImport(*plan, target, true) : exchange::ImportOutcome{false, 0, message};
            refused = plan ? plan->refusedCount : 0;
        }));
    }
    for (int r = 0; r < runs; ++r) {
        emptyLog();
        inf.push_back(timed([&] {
            raw::Db from(local(path), false), to(local(target));
            raw::Db::Stmt all(from, "SELECT * FROM Transmission ORDER BY rowid");
            raw::Db::Stmt insert(to, raw::kInsert);
            to.exec("BEGIN IMMEDIATE");
            while (sqlite3_step(all.get()) == SQLITE_ROW) {
                for (int c = 0; c < 16; ++c)
                    sqlite3_bind_value(insert.get(), c + 1, sqlite3_column_value(all.get(), c));
                raw::check(sqlite3_step(insert.get()), to.handle(), "insert");
                insert.reset();
            }
            to.exec("COMMIT");
        }));
    }
    platform::Connection::remove(target);
    QFile::remove(adi);
    add(QStringLiteral("14 import an ADI file into an empty log (planImport + runImport)"), n, i, inf,
        QString::asprintf("%.0f contacts/s (%lld refused); floor: read every row, one prepared INSERT per row, one "
                          "transaction",
                          imported.imported / (median(i) / 1000.0), qlonglong(refused))
            + (imported.ok ? QString() : QStringLiteral(" NOT IMPORTED: ") + imported.message));
}

// ------------------------------------------------------------------ statistics

// Main-thread processor time, in milliseconds.
double threadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Waits, without spinning, until the log's figures are read.
bool waitForFigures(statistics::LogStatistics &stats, int timeoutMs)
{
    if (!stats.reading() && stats.tally())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(&stats, &statistics::LogStatistics::changed, &loop, [&] {
        if (!stats.reading() && stats.tally())
            loop.quit();
    });
    loop.exec();
    return !stats.reading() && stats.tally();
}

// The floor: one GROUP BY scan of the table, as the hours chart needs.
void groupByFloor(const QString &path, std::vector<double> &f, int runs)
{
    for (int r = 0; r < runs; ++r)
        f.push_back(timed([&] {
            raw::Db db(local(path), false);
            raw::Db::Stmt all(db, "SELECT strftime('%Y-%m-%d %H', \"Date\"), count(*) FROM Transmission GROUP BY 1");
            all.drain();
        }));
}

void benchStatistics(const QString &path, qint64 n)
{
    const int runs = n >= 1000000 ? 3 : 7;
    std::vector<double> floor;
    groupByFloor(path, floor, runs);
    // The reading alone, on a connection of its own, nothing else running.
    std::vector<double> alone;
    for (int r = 0; r < runs; ++r)
        alone.push_back(timed([&] {
            platform::EngineError e;
            auto db = platform::Connection::open(path, platform::OpenMode::ReadOnly, &e);
            statistics::readTally(db.get(), {});
        }));
    add(QStringLiteral("12 statistics: every figure of the log read (readTally), alone"), n, alone, floor);
    {
        QProcess p;
        p.start(QApplication::applicationFilePath(), {QStringLiteral("--tally-rss"), path});
        p.waitForFinished(120000);
        const QList<QByteArray> words = p.readAllStandardOutput().simplified().split(' ');
        Row row{QStringLiteral("12 statistics: memory the reading adds to its process (peak; kept after)"), n, NAN, NAN, 1,
                words.size() >= 4 ? QString::asprintf("**+%.1f MB** peak; +%.1f MB kept", words[1].toDouble() / 1024,
                                                      words[3].toDouble() / 1024)
                                  : QStringLiteral("child failed")};
        g_rows.push_back(row);
        std::fprintf(stderr, "  tally memory: %s\n", qPrintable(row.note));
    }
    std::vector<double> atOnce, later, liveCpu, liveWall, outside;
    for (int r = 0; r < runs; ++r) {
        frmMain w;
        w.show();
        open(w, path);
        auto *stats = statistics::LogStatistics::current();
        // Pressed at once: the figures are still being read.
        atOnce.push_back(timed([&] {
            w.controls().mnuStatistiques->trigger();
            waitForFigures(*stats, 120000);
            frmStatistiques::instance()->repaint();
        }));
        frmStatistiques::instance()->close();
        QApplication::processEvents();
        // Pressed again, the figures known.
        later.push_back(timed([&] {
            w.controls().mnuStatistiques->trigger();
            frmStatistiques::instance()->repaint();
        }));
        // (the reading of the call signs for the duplicate warning, started at
        // the opening too, ends on the main thread: not counted below)
        {
            QEventLoop settle;
            QTimer::singleShot(n >= 1000000 ? 4000 : 1000, &settle, &QEventLoop::quit);
            settle.exec();
        }
        // One contact stored through the window: the main thread's processor
        // time from just before the store until the window has painted the
        // new figures (the store itself included), and the wall time.
        w.controls().cmdNouveau->click();
        fillEntry(w, QStringLiteral("59"));
        w.controls().txtNrSequanel->setText(QStringLiteral("99999")); // the numbering may be full
        const double cpu0 = threadCpuMs();
        const auto t0 = Clock::now();
        w.controls().cmdNouveau->click();
        QApplication::processEvents();
        waitForFigures(*stats, 120000);
        frmStatistiques::instance()->repaint();
        liveCpu.push_back(threadCpuMs() - cpu0);
        liveWall.push_back(msSince(t0));
        // Another program adds a contact: from the window's next look at the
        // file (as the one-second clock tick does) until the new figures are
        // painted.
        w.controls().cmdNouveau->click();
        raw::Db(local(path)).exec("INSERT INTO Transmission SELECT * FROM Transmission "
                                  "WHERE rowid = (SELECT max(rowid) FROM Transmission)");
        const qint64 before = stats->tally() ? stats->tally()->contacts : -1;
        outside.push_back(timed([&] {
            w.controls().txtNrQRZ->setText(QStringLiteral("1"));
            w.controls().txtNrQRZ->setText(QStringLiteral("2"));
            QElapsedTimer waited;
            waited.start();
            while (!(stats->tally() && stats->tally()->contacts == before + 1 && !stats->reading()) && waited.elapsed() < 60000)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            frmStatistiques::instance()->repaint();
        }));
        warnMessages("statistics");
        frmStatistiques::instance()->close();
        QApplication::processEvents();
    }
    add(QStringLiteral("12a statistics window, pressed at once after opening → every chart painted"), n, atOnce, floor,
        QStringLiteral("floor: one GROUP BY scan"));
    add(QStringLiteral("12b statistics window, pressed once the figures are read → painted"), n, later, floor);
    add(QStringLiteral("12c live update after one store: main-thread processor time"), n, liveCpu, {},
        QStringLiteral("store + new figures painted; wall time %1").arg(fmtMs(median(liveWall))));
    add(QStringLiteral("12d live update after another program's store: wall time"), n, outside, {},
        QStringLiteral("added by another connection; until the window's figures count it, painted"));
}

// Raw cost of a durable write on the disk of the log files.
void benchFlush(const QString &dir, int runs)
{
    const std::string p = local(dir + QStringLiteral("/fsync.probe"));
    const int fd = ::open(p.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
    char buf[512] = {};
    std::vector<double> a;
    for (int r = 0; r < runs + 1; ++r) {
        buf[0] = char(r);
        const double t = timed([&] {
            if (::pwrite(fd, buf, sizeof buf, 0) < 0 || ::fsync(fd) != 0)
                std::perror("fsync");
        });
        if (r > 0)
            a.push_back(t);
    }
    ::close(fd);
    ::unlink(p.c_str());
    add(QStringLiteral("4 flush: write 512 B + fsync, same disk"), 0, a);
}

// ------------------------------------------------------------------ shared log

// The key of a journal's store lock, as the program makes it: the journal's
// name hashed (FNV-1a, 64 bits).
std::string storeLockKey(const QString &journal)
{
    quint64 key = 0xCBF29CE484222325ull;
    for (char byte : journal.toUtf8())
        key = (key ^ quint8(byte)) * 0x100000001B3ull;
    return std::to_string(qint64(key));
}

// A shared log's address without its journal: what libpq connects to.
std::string baseUri(const QString &address) { return address.section(QLatin1Char('?'), 0, 0).toStdString(); }

// A copy of the log file, the one the journal is filled from (its serial
// numbers all fit the column: sequanel_genlog starts the numbering again
// halfway in a log past 999,999 contacts).
QString sharedSource(const QString &dir, qint64 n)
{
    const QString to = dir + QStringLiteral("/shared_%1.adb").arg(n);
    QFile::remove(to);
    QFile::copy(dir + QStringLiteral("/log_%1.adb").arg(n), to);
    return to;
}

// A store as a shared log needs it at the fewest: the journal's lock taken
// in a transaction, the contact and its key inserted, the commit.
struct RawStore {
    rawpg::Conn c;
    std::string lockKey;
    explicit RawStore(const std::string &uri, const QString &journal) : c(uri), lockKey(storeLockKey(journal))
    {
        const std::string table = quoteIdentifier(journal) + ".\"Transmission\"";
        c.prepare("store", ("INSERT INTO " + table + " (" + rawpg::kColumns + ", \"CleEnregistrement\") VALUES "
                            "($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14,$15,$16,$17)").c_str());
    }
    static std::string quoteIdentifier(const QString &name) { return platform::quoteIdentifier(name).toStdString(); }
    void store(const std::string &serial)
    {
        std::vector<std::string> values = rawpg::contact(serial, "59");
        values.push_back(QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString());
        c.exec("BEGIN");
        c.exec("SELECT pg_advisory_xact_lock($1)", {lockKey});
        c.run("store", values);
        c.exec("COMMIT");
    }
};

// The CPU time of this process, all threads, in ms.
double processCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// The CPU time the whole machine spent busy, in ms (/proc/stat: every state
// but idle and waiting for the disk).
double machineBusyMs()
{
    QFile f(QStringLiteral("/proc/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> w = f.readLine().simplified().split(' ');
    double busy = 0;
    for (int i = 1; i < w.size() && i <= 8; ++i)
        if (i != 4 && i != 5)
            busy += w[i].toDouble();
    return busy * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// Child mode: a station storing contacts through its window into a shared
// log for ms milliseconds once told to go (a line on standard input).
// S5: the window's event loop while its server is away: a window on a
// journal behind a cable of the benchmark's own (root only), an operator
// pressing Nouveau or Valider every 200 ms from the event loop (not while
// a statement waits: a real press would wait for it); the cable
// pulled for 30 s, then plugged in again. A timer of the window's thread
// that ticks every millisecond notes the longest gap between its ticks:
// from the pull until the window knows the link lost (a statement under
// way waits for it), while it knows, and once the cable is back.
void benchOutage()
{
    std::fprintf(stderr, "\n== outage\n");
    testsupport::Cable cable;
    if (!cable.isReady()) {
        std::fprintf(stderr, "outage: %s\n", qPrintable(cable.error()));
        return;
    }
    testsupport::PgServer server({true, cable.inside(), false, {}, cable.netns(), {"host all all 198.18.0.0/15 trust"}});
    if (!server.isRunning() || !logfile::createEmpty(server.address(QStringLiteral("coupure")), nullptr)) {
        std::fprintf(stderr, "outage: %s\n", qPrintable(server.error()));
        return;
    }
    frmMain w;
    w.show();
    if (!w.ChargerFichier(server.address(QStringLiteral("coupure"), cable.inside())))
        return;
    enum Phase { Before, Pulled, Known, Back, After } phase = Before;
    double longest[After] = {0, 0, 0, 0};
    QElapsedTimer gap;
    gap.start();
    QTimer tick, operate;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (phase == Pulled && w.controls().lblLiaison->text().startsWith(QStringLiteral("Serveur injoignable")))
            phase = Known;
        if (phase < After)
            longest[phase] = std::max(longest[phase], double(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    int stored = 0;
    QObject::connect(&operate, &QTimer::timeout, [&] {
        // (an operator's press is input, which waits for a statement under
        // way: this timer's would be run in the middle of it)
        if (platform::waitingForServer())
            return;
        const bool browsing = w.controls().cmdNouveau->text() == QLatin1String("&Nouveau");
        w.controls().cmdNouveau->click();
        if (browsing) {
            fillEntry(w, QStringLiteral("59"));
            w.controls().txtNrQRZ->setText(QString::number(++stored));
        }
    });
    tick.start(1);
    operate.start(200);
    auto run = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    run(3000);
    cable.plug(false);
    phase = Pulled;
    run(30000);
    cable.plug(true);
    phase = Back;
    run(10000);
    phase = After;
    g_prompts->takeMessages();
    const char *names[] = {"before the pull", "from the pull until the window knows the link lost",
                           "while it knows (30 s)", "the 10 s after the cable is back"};
    for (int p = Before; p < After; ++p)
        add(QStringLiteral("S5 longest stall of the window's event loop, %1").arg(QLatin1String(names[p])), 0,
            {longest[p]}, {}, p == Known ? QStringLiteral("target ≤ 100 ms; Nouveau or Valider every 200 ms") : QString());
}

int writerChild(const QString &address, int ms)
{
    Prompts prompts;
    g_prompts = &prompts;
    frmMain w;
    w.show();
    if (!w.ChargerFichier(address)) {
        std::printf("failed %s\n", qPrintable(prompts.takeMessages()));
        return 1;
    }
    QString note;
    storeAdditions(w, 0, &note); // the opening's reading over
    std::printf("ready\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 1;
    prompts.messages.clear();
    int stored = 0, refused = 0;
    const double cpu0 = processCpuMs();
    const auto t0 = Clock::now();
    // Each contact another correspondent, as in a contest: the station's own
    // word and the contact's number.
    const QString station = QStringLiteral("Bravo%1").arg(QCoreApplication::applicationPid() % 1000);
    while (msSince(t0) < ms) {
        w.controls().cmdNouveau->click();
        fillEntry(w, QStringLiteral("59"));
        w.controls().cmbQRZ2->setEditText(station);
        w.controls().txtNrQRZ->setText(QString::number(stored % 30000 + 1));
        w.controls().cmdNouveau->click(); // "&Valider"
        if (w.controls().cmdNouveau->text() == QLatin1String("&Nouveau")) {
            ++stored;
        } else {
            ++refused;
            w.controls().cmdSupprimer->click();
        }
        QApplication::processEvents(); // the window's clocks, as between an operator's keystrokes
    }
    const double elapsed = msSince(t0), cpu = processCpuMs() - cpu0;
    const qsizetype said = prompts.messages.size();
    std::printf("stored %d refused %d messages %lld elapsed %.1f cpu %.1f\n", stored, refused, qint64(said), elapsed, cpu);
    if (said)
        std::fprintf(stderr, "writer: last message: %s\n", qPrintable(prompts.messages.last()));
    return 0;
}

// Child mode: a station's store path without its window, as the reliability
// test's writers use it: a record source over the shared log, its columns
// bound to line edits never shown, the serial number settled at store time
// from the largest one read inside the store's transaction.
int recordWriterChild(const QString &address, int ms)
{
    platform::RecordSource rs;
    QLineEdit controls[16];
    auto *bound = new platform::BoundControls(&rs);
    const QStringList names = logfile::columnNames();
    for (int i = 0; i < 16; ++i)
        bound->bind(&controls[i], names.at(i));
    logfile::configure(rs, address);
    if (!rs.refresh()) {
        std::printf("failed %s\n", qPrintable(logfile::storeFailureMessage(rs.error())));
        return 1;
    }
    auto set = [&](const char *column, const QString &text) { controls[names.indexOf(QString::fromUtf8(column))].setText(text); };
    const platform::SettledColumn serial{QStringLiteral("Sequanel"), [](platform::Connection &db) -> std::optional<QString> {
                                             const auto n = logfile::readLargestSerial(&db);
                                             return n ? std::optional(QString::number(*n + 1)) : std::nullopt;
                                         },
                                         [](platform::Connection &db, const platform::Sql &) {
                                             return logfile::nextSerialInStatement(&db, 6); // the column's size
                                         }};
    std::printf("ready\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 1;
    const QString station = QStringLiteral("Bravo%1").arg(QCoreApplication::applicationPid() % 1000);
    int stored = 0, refused = 0;
    const double cpu0 = processCpuMs();
    const auto t0 = Clock::now();
    while (msSince(t0) < ms) {
        rs.addNew();
        set("RST", QStringLiteral("59"));
        set("Bande", QStringLiteral("USB"));
        set("Mhertz", QStringLiteral("27"));
        set("Hertz", QStringLiteral("405"));
        set("Opérateur", QStringLiteral("Hélène"));
        set("Préfixe", QStringLiteral("14"));
        set("Qrz1", QStringLiteral("Alpha"));
        set("Qrz2", station);
        set("Qrz3", QStringLiteral("Charly"));
        set("N°", QString::number(stored % 30000 + 1));
        set("Ville", QStringLiteral("Besançon"));
        set("Pays", QStringLiteral("France"));
        if (rs.update(&serial)) {
            ++stored;
        } else {
            ++refused;
            rs.cancelUpdate();
        }
    }
    const double elapsed = msSince(t0), cpu = processCpuMs() - cpu0;
    std::printf("stored %d refused %d messages 0 elapsed %.1f cpu %.1f\n", stored, refused, elapsed, cpu);
    return 0;
}

// S2: writers stores at once into one journal, each a child process with its
// window; beside it, as many raw connections (threads) storing as RawStore.
// windowless: each child a record source without a window (recordWriterChild).
void benchWriters(const QString &address, const QString &journal, qint64 n, int writers, int ms, bool windowless = false)
{
    const std::string uri = baseUri(address);
    const std::string table = RawStore::quoteIdentifier(journal) + ".\"Transmission\"";
    std::vector<std::unique_ptr<QProcess>> children;
    for (int i = 0; i < writers; ++i) {
        children.push_back(std::make_unique<QProcess>());
        children.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        children.back()->start(QApplication::applicationFilePath(),
                               {windowless ? QStringLiteral("--record-writer") : QStringLiteral("--writer"), address,
                                QString::number(ms)});
    }
    for (auto &p : children) {
        QByteArray out;
        while (!out.contains("ready") && !out.contains("failed") && p->waitForReadyRead(300000))
            out += p->readAllStandardOutput();
        if (!out.contains("ready")) {
            std::fprintf(stderr, "writer child not ready: %s\n", out.constData());
            for (auto &q : children)
                q->kill();
            return;
        }
    }
    // (each child has stored one contact first, once its window knew the log)
    rawpg::Conn check(uri);
    const std::string before = check.exec(("SELECT coalesce(max(rowid), 0) FROM " + table).c_str())[0][0];
    // Connections opened to the server meanwhile (each window's readings
    // open their own).
    const char *sessions = "SELECT sum(sessions) FROM pg_stat_database";
    const qint64 sessionsBefore = std::stoll(check.exec(sessions)[0][0]);
    const auto together = Clock::now();
    const double busy0 = machineBusyMs();
    // (written out at once: QProcess sends what it holds for a child only
    // while it waits on that child, and the children would go one by one)
    for (auto &p : children)
        p->write("go\n");
    for (auto &p : children)
        p->waitForBytesWritten(5000);
    qint64 stored = 0, refused = 0, said = 0;
    double longest = 0, clientsCpu = 0;
    for (auto &p : children) {
        p->waitForFinished(ms + 300000);
        const QList<QByteArray> w = p->readAllStandardOutput().simplified().split(' ');
        if (w.size() < 10 || w[0] != "stored") {
            std::fprintf(stderr, "writer child failed\n");
            return;
        }
        stored += w[1].toLongLong();
        refused += w[3].toLongLong();
        said += w[5].toLongLong();
        longest = std::max(longest, w[7].toDouble());
        clientsCpu += w[9].toDouble();
    }
    const double busy = machineBusyMs() - busy0;
    // (from "go" until the last child ended: more than the longest child's
    // own time, by its start and its exit)
    const double wall = msSince(together);
    QThread::msleep(1000); // the server's counts of the sessions just ended
    const qint64 opened = std::stoll(check.exec(sessions)[0][0]) - sessionsBefore;
    const auto added = check.exec(("SELECT count(*), count(DISTINCT \"Sequanel\") FROM " + table + " WHERE rowid > $1").c_str(),
                                  {before});
    const qint64 rows = std::stoll(added[0][0]), serials = std::stoll(added[0][1]);

    // The floor: as many raw connections storing for the same time.
    std::atomic<qint64> rawStored{0};
    std::vector<std::thread> threads;
    const auto t0 = Clock::now();
    for (int i = 0; i < writers; ++i)
        threads.emplace_back([&] {
            RawStore raw(uri, journal);
            while (msSince(t0) < ms) {
                raw.store("1");
                ++rawStored;
            }
        });
    for (auto &t : threads)
        t.join();
    const double rawElapsed = msSince(t0);

    const double perSecond = stored / (wall / 1000.0), rawPerSecond = rawStored / (rawElapsed / 1000.0);
    add(windowless ? QStringLiteral("S2 %1 writers at once, each a record source storing, no window (time per store, all together)").arg(writers)
                   : QStringLiteral("S2 %1 writers at once, each a window storing (time per store, all together)").arg(writers),
        n,
        {1000.0 / perSecond}, {1000.0 / rawPerSecond},
        QString::asprintf("**%.0f stores/s** (floor %.0f/s) in %.0f s; ", perSecond, rawPerSecond, longest / 1000)
            + QStringLiteral("%1 rows added, %2 serial numbers apart%3%4")
                  .arg(rows)
                  .arg(serials)
                  .arg(rows == stored ? QString() : QStringLiteral(", %1 STORES SAID").arg(stored))
                  .arg(refused ? QStringLiteral(", REFUSED %1×").arg(refused) : QString())
            + QStringLiteral("; %1 connections opened meanwhile").arg(opened)
            + QString::asprintf("; all ended %.1f s after \"go\"; CPU a store: %.2f ms in the %s, %.2f ms "
                                "elsewhere (the server, mostly)",
                                wall / 1000, clientsCpu / double(std::max<qint64>(stored, 1)),
                                windowless ? "stations" : "windows",
                                (busy - clientsCpu) / double(std::max<qint64>(stored, 1)))
            + (said ? QStringLiteral("; %1 messages").arg(said) : QString()));
}

// The shared log of n contacts: its journal made by copying the log file,
// then stores, the duplicate warning and outside changes, on a server of
// the benchmark's own.
void benchShared(testsupport::PgServer &server, const QString &dir, qint64 n, int runs)
{
    std::fprintf(stderr, "\n== shared log (%s contacts)\n", qPrintable(fmtCount(n)));
    const bool big = n >= 1000000;
    const QString source = sharedSource(dir, n);
    const QString journal = QStringLiteral("bench_%1").arg(n);
    const QString address = server.address(journal);
    const std::string uri = baseUri(address);
    const std::string table = RawStore::quoteIdentifier(journal) + ".\"Transmission\"";

    // S0. The journal made and filled from the file.
    {
        QString message;
        std::optional<qint64> copied;
        const double t = timed([&] { copied = logfile::copyLog(source, address, &message, source, address); });
        add(QStringLiteral("S0 copy the log file into a new journal (copyLog)"), n, {t}, {},
            copied ? QString::asprintf("%.0f contacts/s", *copied / (t / 1000)) : QStringLiteral("NOT COPIED: ") + message);
        if (!copied)
            return;
    }
    const QStringList sign = lastCallSign(local(source));
    if (want("shared")) {
        frmMain w;
        w.show();
        QApplication::processEvents();

        // S4. The duplicate warning after opening, and one keystroke, on the
        // file and on its journal.
        const int openings = big ? 3 : 5, keystrokes = big ? 6 : 2 * runs;
        const Lookup file = duplicateLookup(w, source, sign, openings, keystrokes);
        w.controls().cmdSupprimer->click();
        const Lookup shared = duplicateLookup(w, address, sign, openings, keystrokes);
        w.controls().cmdSupprimer->click();
        warnMessages("shared duplicate warning");
        std::vector<double> floor;
        {
            rawpg::Conn c(uri);
            const std::string naive = "SELECT count(*), max(rowid) FROM " + table +
                                      " WHERE \"Préfixe\" = $1 AND lower(\"Qrz1\") = lower($2) "
                                      "AND lower(\"Qrz2\") = lower($3) AND lower(\"Qrz3\") = lower($4) AND \"N°\" = $5";
            std::vector<std::string> params;
            for (const QString &part : sign)
                params.push_back(part.toStdString());
            for (int r = 0; r < keystrokes; ++r)
                floor.push_back(timed([&] { c.exec(naive.c_str(), params); }));
        }
        auto shownOr = [](const Lookup &l, const QString &note) { return l.shown ? note : QStringLiteral("NOT SHOWN"); };
        add(QStringLiteral("S4 duplicate warning known after opening, shared log"), n, shared.reading, {},
            shownOr(shared, QStringLiteral("every row read from the server")));
        add(QStringLiteral("S4 duplicate warning known after opening, the same log as a file"), n, file.reading, {},
            shownOr(file, QStringLiteral("same run")));
        add(QStringLiteral("S4 duplicate lookup, one keystroke, worked before, shared log"), n, shared.hit, floor,
            shownOr(shared, QStringLiteral("shows « %1 »; floor: one statement on the server, no index").arg(shared.warning)));
        add(QStringLiteral("S4 duplicate lookup, one keystroke, worked before, file"), n, file.hit,
            naiveLookup(local(source), sign, keystrokes), shownOr(file, QStringLiteral("floor: one SQLite statement, no index")));
        add(QStringLiteral("S4 duplicate lookup, one keystroke, never worked, shared log"), n, shared.miss, floor,
            shared.hidden ? QString() : QStringLiteral("SHOWN"));

        // S1. Stores through the window, the serial number settled at store
        // time; then the floor's. Each once the statistics' reading that the
        // last opening (or the window's own stores) started is over: on 2
        // cores it would take one from the stores.
        {
            auto *stats = statistics::LogStatistics::current();
            waitForFigures(*stats, 120000);
            QString note;
            const std::vector<double> a = storeAdditions(w, runs, &note);
            warnMessages("shared store");
            waitForFigures(*stats, 120000);
            std::vector<double> f;
            RawStore raw(uri, journal);
            raw.store("1"); // warm-up
            for (int r = 0; r < runs; ++r)
                f.push_back(timed([&] { raw.store("1"); }));
            add(QStringLiteral("S1 store an addition on a shared log (cmdNouveau \"&Valider\")"), n, a, f,
                note.isEmpty() ? QStringLiteral("serial settled at store time; floor: BEGIN, advisory lock, INSERT of 16 "
                                                "values + key, COMMIT")
                               : note);
            // For scale: the statement that reads the largest serial number
            // on the server, as the program writes it.
            std::vector<double> largest;
            const std::string plain = "(\"Sequanel\" ~ '^[1-9][0-9]{0,14}$' OR \"Sequanel\" = '0')";
            const std::string serial = "SELECT (SELECT max(CASE WHEN " + plain + " THEN CAST(\"Sequanel\" AS BIGINT) END) FROM " +
                                       table + "), (SELECT count(*) FROM " + table + " WHERE \"Sequanel\" <> '' AND NOT " +
                                       plain + ")";
            for (int r = 0; r < runs; ++r)
                largest.push_back(timed([&] { raw.c.exec(serial.c_str()); }));
            add(QStringLiteral("S1 reference: the largest serial number read on the server (one statement)"), n, largest, {},
                QStringLiteral("libpq; what the store's statement works out inside the lock"));
        }

        // S3. Another connection adds a contact of the call sign typed, or
        // deletes it again (each untimed); timed: from its commit until the
        // window's warning shows the new count, the window left alone (its
        // quarter-second look at the log finds the change).
        w.controls().cmdNouveau->click();
        typeCallSign(w, sign);
        waitForWarning(w, 120000);
        rawpg::Conn other(uri);
        const std::string insert = "INSERT INTO " + table + " (\"Sequanel\", \"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\", "
                                   "\"Date\") VALUES ('0', $1, $2, $3, $4, $5, now())";
        const std::string remove = "DELETE FROM " + table + " WHERE rowid = (SELECT max(rowid) FROM " + table + ")";
        std::vector<std::string> params;
        for (const QString &part : sign)
            params.push_back(part.toStdString());
        auto waitFor = [](const std::function<bool()> &done) {
            QElapsedTimer t;
            t.start();
            while (!done() && t.elapsed() < 60000)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return done();
        };
        std::vector<double> seen;
        bool followed = true;
        for (int r = 0; r < (big ? 6 : 2 * runs); ++r) {
            const QString before = w.controls().lblDoublon->text();
            r % 2 ? other.exec(remove.c_str()) : other.exec(insert.c_str(), params);
            seen.push_back(timed([&] {
                followed = waitFor([&] {
                    const QString now = w.controls().lblDoublon->text();
                    return now != before && now.startsWith(QStringLiteral("Déjà"));
                }) && followed;
            }));
        }
        w.controls().cmdSupprimer->click();
        warnMessages("shared outside change");
        add(QStringLiteral("S3 another station's store seen by the duplicate warning"), n, seen, {},
            followed ? QStringLiteral("a contact added, then deleted, by another connection; from its commit")
                     : QStringLiteral("NOT FOLLOWED"));

        // And by the statistics window's figures.
        w.controls().mnuStatistiques->trigger();
        auto *stats = statistics::LogStatistics::current();
        waitForFigures(*stats, 120000);
        std::vector<double> counted;
        followed = true;
        const std::string count = "SELECT count(*) FROM " + table;
        auto countIs = [&](qint64 contacts) {
            return stats->tally() && stats->tally()->contacts == contacts && !stats->reading();
        };
        for (int r = 0; r < (big ? 3 : 5); ++r) {
            // (the figures first agree with the journal: the changes above
            // may not all be counted yet)
            const qint64 before = std::stoll(other.exec(count.c_str())[0][0]);
            followed = waitFor([&] { return countIs(before); }) && followed;
            other.exec(insert.c_str(), params);
            counted.push_back(timed([&] {
                followed = waitFor([&] { return countIs(before + 1); }) && followed;
                frmStatistiques::instance()->repaint();
            }));
        }
        frmStatistiques::instance()->close();
        QApplication::processEvents();
        warnMessages("shared statistics");
        add(QStringLiteral("S3 another station's store counted by the statistics window"), n, counted, {},
            followed ? QStringLiteral("from its commit until the figures count it, painted") : QStringLiteral("NOT COUNTED"));
    }

    // S2. Eight stations at once (the window above closed).
    benchWriters(address, journal, n, 8, 10000);
    benchWriters(address, journal, n, 8, 10000, true);
}

// ------------------------------------------------------------------- children

long long monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Program start until the splash window is painted, measured from before the
// child process is started until the child reports the paint.
void benchStartup(const QString &startupExe, int runs)
{
    for (const bool bare : {false, true}) {
        std::vector<double> a;
        for (int r = 0; r < runs + 1; ++r) {
            QProcess p;
            const long long t0 = monotonicNs();
            p.start(startupExe, bare ? QStringList{QStringLiteral("--bare")} : QStringList{});
            p.waitForFinished(30000);
            const QByteArray out = p.readAllStandardOutput();
            long long painted = 0;
            for (const QByteArray &line : out.split('\n'))
                if (line.startsWith("painted "))
                    painted = line.mid(8).toLongLong();
            if (painted == 0) {
                std::fprintf(stderr, "startup child failed: %s\n%s\n", out.constData(),
                             p.readAllStandardError().constData());
                return;
            }
            if (r > 0)
                a.push_back((painted - t0) / 1e6);
        }
        if (bare)
            add(QStringLiteral("8 reference: bare Qt widget process, start → painted"), 0, a);
        else
            add(QStringLiteral("8 program start → splash painted (mdlMain::Main)"), 0, a, {},
                QStringLiteral("process spawn → end of the splash's first paint"));
    }
}

long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Child mode: what reading the figures of a log adds to a process's peak
// memory (its own connection, the reading, the figures kept).
int tallyRssChild(const QString &path)
{
    platform::EngineError e;
    auto db = platform::Connection::open(path, platform::OpenMode::ReadOnly, &e);
    const long before = statusKb("VmRSS:");
    const auto t = statistics::readTally(db.get(), {});
    std::printf("added_kb %ld kept_kb %ld\n", statusKb("VmHWM:") - before, statusKb("VmRSS:") - before);
    return t ? 0 : 1;
}

int rssChild(const QString &path)
{
    Prompts prompts;
    g_prompts = &prompts;
    frmMain w;
    w.show();
    open(w, path);
    frmListe l(path, &w);
    const bool painted = showGridAtEnd(l);
    // And the duplicate warning known for a call sign: the set of call signs
    // of the whole log is built.
    w.controls().cmdNouveau->click();
    typeCallSign(w, lastCallSign(local(path)));
    waitForWarning(w, 120000);
    // And the statistics window with every figure of the log.
    w.controls().mnuStatistiques->trigger();
    waitForFigures(*statistics::LogStatistics::current(), 120000);
    frmStatistiques::instance()->repaint();
    QApplication::processEvents();
    // VmHWM: this process's own peak RSS. (getrusage's ru_maxrss would also
    // count the parent's pages shared by fork before exec.)
    const long hwm = statusKb("VmHWM:");
    std::printf("maxrss_kb %ld painted %d shown %s\n", hwm, int(painted), qPrintable(w.controls().txtNrSequanel->text()));
    return 0;
}

void benchRss(const QString &self, const QString &path, qint64 n, const QString &label)
{
    QProcess p;
    p.start(self, {QStringLiteral("--rss"), path});
    p.waitForFinished(120000);
    const QByteArray out = p.readAllStandardOutput();
    const QList<QByteArray> words = out.simplified().split(' ');
    if (words.size() < 2 || words[0] != "maxrss_kb") {
        std::fprintf(stderr, "rss child failed: %s\n", out.constData());
        return;
    }
    const double mb = words[1].toDouble() / 1024.0;
    Row r{QStringLiteral("8 peak RSS, log open in frmMain + grid shown at end + statistics window") + label, n, NAN, NAN, 1,
          QString::asprintf("**%.1f MB**", mb)};
    g_rows.push_back(r);
    if (label.isEmpty() || label.contains(QLatin1String("after")))
        g_rssMb[n] = mb;
    std::fprintf(stderr, "  peak RSS with %s contacts: %.1f MB\n", qPrintable(fmtCount(n)), mb);
}

QList<qint64> parseSizes(const QString &s)
{
    QList<qint64> out;
    for (const QString &part : s.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out << part.toLongLong();
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QStringLiteral("Sequanel"));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));

    const QStringList args = QApplication::arguments();
    auto option = [&](const QString &name, const QString &fallback = QString()) {
        const int i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    if (args.contains(QStringLiteral("--tally-rss")))
        return tallyRssChild(option(QStringLiteral("--tally-rss")));
    if (args.contains(QStringLiteral("--rss")))
        return rssChild(option(QStringLiteral("--rss")));
    if (args.contains(QStringLiteral("--record-writer")))
        return recordWriterChild(option(QStringLiteral("--record-writer")),
                                 args.value(args.indexOf(QStringLiteral("--record-writer")) + 2).toInt());
    if (args.contains(QStringLiteral("--writer")))
        return writerChild(option(QStringLiteral("--writer")), args.value(args.indexOf(QStringLiteral("--writer")) + 2).toInt());

    const QString dir = option(QStringLiteral("--dir"));
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: sequanel_bench --dir <folder> [--sizes a,b,c] [--print-sizes a,b] [--runs N]\n");
        return 2;
    }
    const QList<qint64> sizes = parseSizes(option(QStringLiteral("--sizes"), QStringLiteral("1000,100000,1000000")));
    const QList<qint64> printSizes = parseSizes(option(QStringLiteral("--print-sizes"), QStringLiteral("1000,100000")));
    const int runs = option(QStringLiteral("--runs"), QStringLiteral("15")).toInt();
    g_only = option(QStringLiteral("--only")).split(QLatin1Char(','), Qt::SkipEmptyParts);

    Prompts prompts;
    g_prompts = &prompts;

    if (want("flush"))
        benchFlush(dir, 2 * runs);
    for (qint64 n : sizes) {
        const QString path = dir + QStringLiteral("/log_%1.adb").arg(n);
        if (!QFileInfo::exists(path)) {
            std::fprintf(stderr, "missing %s\n", qPrintable(path));
            return 1;
        }
        benchLog(path, n, n >= 1000000 ? std::max(5, runs / 2) : runs, printSizes.contains(n), dir);
    }
    for (qint64 n : sizes)
        if (want("stats"))
            benchStatistics(dir + QStringLiteral("/log_%1.adb").arg(n), n);
    for (qint64 n : sizes)
        if (want("export"))
            benchExport(dir + QStringLiteral("/log_%1.adb").arg(n), n, dir);
    for (qint64 n : sizes)
        if (want("exchange"))
            benchExchange(dir + QStringLiteral("/log_%1.adb").arg(n), n, dir);
    if (want("shared") || want("writers")) {
        // A server of the benchmark's own, durable as a real one: each commit
        // waits for the disk.
        testsupport::PgServer server(true);
        if (!server.isRunning())
            std::fprintf(stderr, "shared: %s\n", qPrintable(server.error()));
        for (qint64 n : sizes)
            if (server.isRunning())
                benchShared(server, dir, n, n >= 1000000 ? std::max(5, runs / 2) : runs);
    }
    if (want("outage"))
        benchOutage();
    const QString binDir = QApplication::applicationDirPath();
    if (want("startup"))
        benchStartup(binDir + QStringLiteral("/sequanel_bench_startup"), runs);
    // --baseline: the same child of an earlier build, for a before/after pair.
    const QString baseline = option(QStringLiteral("--baseline"));
    for (qint64 n : sizes)
        if (want("rss")) {
            const QString log = dir + QStringLiteral("/log_%1.adb").arg(n);
            if (!baseline.isEmpty())
                benchRss(baseline, log, n, QStringLiteral(" (before: %1)").arg(option(QStringLiteral("--baseline-name"), baseline)));
            benchRss(QApplication::applicationFilePath(), log, n,
                     baseline.isEmpty() ? QString() : QStringLiteral(" (after: with the duplicate warning known)"));
        }

    printTable();
    // --targets: the rows of the targets' table, added to that file.
    const QString targets = option(QStringLiteral("--targets"));
    if (FILE *out = targets.isEmpty() ? stdout : std::fopen(qPrintable(targets), "a")) {
        printTargets(out, sizes);
        if (out != stdout)
            std::fclose(out);
    }
    return 0;
}
