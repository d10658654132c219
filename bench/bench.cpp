// Benchmarks of the program's own actions on log files of 1,000, 100,000 and
// 1,000,000 contacts, each beside its floor: the fewest SQLite statements the
// action needs, run with the sqlite3 C API on the same file in the same run.
//
//   sequanel_bench --dir <folder with log_<n>.adb> [--sizes 1000,100000,1000000]
//                  [--print-sizes 1000,100000] [--runs N] [--only section,...]
//                  [--baseline <sequanel_bench of an earlier build> --baseline-name <text>]
//   sequanel_bench --rss <log file>     (child mode: peak RSS with the log open
//                                         and the grid shown)
//
// Runs under QT_QPA_PLATFORM=offscreen. Every action goes through the real
// windows: frmMain and its handlers, frmListe and its grid, the listing's
// print command writing a PDF file.
#include "RawSqlite.h"

#include "ContactTableModel.h"
#include "Engine.h"
#include "PrintSurface.h"
#include "Prompts.h"
#include "RecordSource.h"
#include "frmListe.h"
#include "frmMain.h"
#include "frmStatistiques.h"
#include "LogStatistics.h"

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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <functional>
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
        never[4] = QStringLiteral("20000"); // numbers run from 1 to 9999 in these logs
        std::vector<double> reading, hit, miss, f;
        bool shown = true, hidden = true;
        for (int r = 0; r < (big ? 3 : 5); ++r) {
            open(w, path);
            reading.push_back(timed([&] {
                w.controls().cmdNouveau->click();
                typeCallSign(w, sign);
                shown = waitForWarning(w, 120000) && shown;
            }));
            w.controls().cmdSupprimer->click(); // "&Annuler"
        }
        w.controls().cmdNouveau->click();
        typeCallSign(w, sign);
        for (int r = 0; r < 2 * runs; ++r) {
            miss.push_back(timed([&] { w.controls().txtNrQRZ->setText(never[4]); }));
            hidden = !w.controls().lblDoublon->isVisible() && hidden;
            hit.push_back(timed([&] { w.controls().txtNrQRZ->setText(sign[4]); }));
            shown = w.controls().lblDoublon->isVisible() && shown;
        }
        const QString warning = w.controls().lblDoublon->text();
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
        raw::Db db(file, false);
        raw::Db::Stmt naive(db, "SELECT count(*), \"Sequanel\", \"Date\", max(rowid) FROM Transmission "
                                "WHERE \"Préfixe\" = ?1 AND \"Qrz1\" = ?2 COLLATE NOCASE "
                                "AND \"Qrz2\" = ?3 COLLATE NOCASE AND \"Qrz3\" = ?4 COLLATE NOCASE AND \"N°\" = ?5");
        const std::string words[3] = {sign[1].toStdString(), sign[2].toStdString(), sign[3].toStdString()};
        for (int r = 0; r < (big ? 5 : 2 * runs); ++r)
            f.push_back(timed([&] {
                sqlite3_bind_int(naive.get(), 1, sign[0].toInt());
                for (int i = 0; i < 3; ++i)
                    sqlite3_bind_text(naive.get(), 2 + i, words[i].c_str(), -1, SQLITE_STATIC);
                sqlite3_bind_int(naive.get(), 5, sign[4].toInt());
                naive.drain();
            }));
        add(QStringLiteral("10a duplicate warning known after opening (background reading)"), n, reading, {},
            shown ? QStringLiteral("serial numbers and call signs of every row") : QStringLiteral("NOT SHOWN"));
        add(QStringLiteral("10b duplicate lookup, one keystroke, worked before"), n, hit, f,
            shown ? QStringLiteral("shows « %1 »").arg(warning) : QStringLiteral("NOT SHOWN"));
        add(QStringLiteral("10b duplicate lookup, one keystroke, never worked"), n, miss, f,
            hidden ? QStringLiteral("floor: one statement, no index") : QStringLiteral("SHOWN"));
    }

    // 4. Storing an addition and storing a change, each a durable commit.
    if (want("store")) {
        std::vector<double> a, f;
        QString note;
        int refused = 0;
        for (int r = 0; r < runs + 1; ++r) {
            w.controls().cmdNouveau->click();
            fillEntry(w, QStringLiteral("59"));
            if (w.controls().txtNrSequanel->text().size() > 6) {
                // The serial column holds 6 characters: past 999,999 the
                // proposed number cannot be stored.
                note = QStringLiteral("proposed n° %1 is too long for the column; stored 999999")
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
        warnMessages("store addition");
        if (refused)
            note += QStringLiteral(" REFUSED %1×").arg(refused);
        {
            raw::Db db(file);
            db.exec("PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE");
            raw::Db::Stmt begin(db, "BEGIN IMMEDIATE");
            raw::Db::Stmt ins(db, raw::kInsert);
            raw::Db::Stmt commit(db, "COMMIT");
            for (int r = 0; r < runs; ++r)
                f.push_back(timed([&] {
                    begin.drain();
                    raw::bindContact(ins.get(), "999999", "59");
                    ins.drain();
                    commit.drain();
                }));
        }
        add(QStringLiteral("4 store an addition (cmdNouveau \"&Valider\")"), n, a, f, note);

        std::vector<double> c, fc;
        refused = 0;
        w.controls().Data1->moveLast();
        w.ActualiserBoutons();
        const qint64 row = w.controls().Data1->currentRowid().value_or(0);
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
                    raw::bindContact(upd.get(), "999999", r % 2 ? "57" : "5-9");
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
    return 0;
}
