// Every path that writes a file, with the 1st, then the 2nd, ... then the Nth
// I/O call failed (ENOSPC, then EIO), until the path runs to its end without
// meeting the fault. At each N there are two acceptable outcomes: a French
// failure message with everything as it was (the files byte for byte, the
// typed entry on screen, no stray file), or a success whose result reads back
// whole. Runs under libfiu's POSIX wrappers (see CMakeLists.txt).
#include "FaultNth.h"
#include "MainWindowFixture.h"

#include "Backup.h"
#include "Converter.h"
#include "CsvExport.h"
#include "Import.h"
#include "Listing.h"
#include "PrintSurface.h"
#include "Progress.h"
#include "frmStatistiques.h"
#include "jet_writer.h"

#include <QtEndian>

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/stat.h>

using testsupport::fileBytes;
using testsupport::writeFile;

namespace {

const QString kData = QStringLiteral(SEQUANEL_SOURCE_DIR "/tests/legacy/data/");

// Every file of the folder, hidden ones included, with its bytes; a log file
// is read back as rows, after a connection that may write has put back what a
// failed transaction left in its journal.
QMap<QString, QByteArray> folderState(const QString &folder)
{
    QMap<QString, QByteArray> out;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (fileBytes(f.filePath()).startsWith("SQLite format 3")) {
            testsupport::rawExec(f.filePath(), QStringLiteral("SELECT count(*) FROM sqlite_master"));
            QByteArray rows;
            for (const testsupport::Row &r : testsupport::readRows(f.filePath()))
                for (const QVariant &v : r)
                    rows += v.toString().toUtf8() + (v.isNull() ? "<null>|" : "|");
            out[f.fileName()] = rows;
        } else {
            out[f.fileName()] = fileBytes(f.filePath());
        }
    }
    // A journal put back by the reading above is gone now.
    for (const QString &name : out.keys())
        if (name.endsWith(QLatin1String("-journal")) && !QFileInfo::exists(QDir(folder).filePath(name)))
            out.remove(name);
    return out;
}

QString pdfText(const QString &path)
{
    const auto [status, text] = testsupport::runProgram(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}, 30000,
                                                        QProcess::SeparateChannels);
    return status == 0 ? text : QString();
}

// One write path: set up in a fresh folder, run under the fault, then judged.
struct Run {
    MainWindowFixture f{5};
    QMap<QString, QByteArray> before;
    QString result; // what a success must leave, described by the path
};

struct Path {
    const char *name;
    std::function<void(Run &)> prepare;
    std::function<void(Run &)> act;
    // A success: true when the result reads back whole.
    std::function<bool(Run &)> succeeded;
    // The typed entry still on screen after a failure, when the path has one.
    std::function<bool(Run &)> entryKept;
};

bool pendingAddition(Run &r)
{
    return r.f.ui().cmdNouveau->text() == QLatin1String("&Valider")
           && r.f.ui().txtVille->text() == QLatin1String("Clermont-Ferrand");
}

QVector<Path> paths()
{
    using namespace platform;
    auto log = [](Run &r) { return testsupport::readRows(r.f.file); };
    return {
        {"export",
         [](Run &r) { writeFile(r.f.path("log.csv"), "an earlier export\r\n"); },
         [](Run &r) {
             const listing::ExportOutcome o = listing::exportContacts(r.f.file, r.f.path("log.csv"));
             r.result = o.ok ? o.message : QString();
             if (!o.ok)
                 r.f.prompts.messages << MessageRequest{nullptr, o.message, MessageIcon::Critical};
         },
         [](Run &r) {
             const QList<QByteArray> lines = fileBytes(r.f.path("log.csv")).split('\n');
             const auto owner = QFile::ReadOwner | QFile::WriteOwner;
             return r.result == msg::exportedMany().arg(5).arg(r.f.path("log.csv")) && lines.size() == 7
                    && (QFile::permissions(r.f.path("log.csv")) & owner) == owner
                    && lines[5].startsWith("06/03/2024 10:05:00;5;");
         },
         {}},
        {"import",
         [](Run &r) {
             writeFile(r.f.path("club.adi"), "<call:5>F4ABC<stx:2>10<eor><call:5>F4XYZ<eor>");
             // A value longer than a page (another program's log): the import's
             // reading of the serial numbers meets the disk where its count did not.
             QVERIFY(testsupport::rawExec(r.f.file, QStringLiteral("UPDATE Transmission SET RST = zeroblob(20000) WHERE rowid = 1")));
         },
         [](Run &r) {
             QString message;
             auto plan = exchange::planImport(r.f.path("club.adi"), r.f.file, &message);
             const exchange::ImportOutcome o = plan ? exchange::runImport(*plan, r.f.file, false)
                                                    : exchange::ImportOutcome{false, 0, message};
             r.result = o.ok ? o.message : QString();
             if (!o.ok)
                 r.f.prompts.messages << MessageRequest{nullptr, o.message, MessageIcon::Critical};
         },
         [log](Run &r) {
             const auto rows = log(r);
             return rows.size() == 7 && rows[5][1] == QLatin1String("10") && rows[6][7] == QLatin1String("F4XYZ")
                    && rows[6][1] == QLatin1String("11");
         },
         {}},
        {"PDF listing",
         [](Run &r) {
             setDefaultPrinterOverride(std::nullopt);
             writeFile(r.f.path("liste.pdf"), "an earlier listing");
             r.f.prompts.answer = Answer::Yes;
         },
         [](Run &r) {
             r.f.prompts.queuedFiles << r.f.path("liste.pdf");
             listing::printListing(r.f.w.get(), r.f.file);
             clearDefaultPrinterOverride();
         },
         [](Run &r) {
             const QString text = pdfText(r.f.path("liste.pdf"));
             return r.f.prompts.messages.size() == 1 && text.contains(QLatin1String("Listing des contacts"))
                    && text.contains(QLatin1String("06/03/24 10:05:00"));
         },
         {}},
        {"store an addition",
         [](Run &r) { r.f.ui().cmdNouveau->click(), r.f.fill(); }, [](Run &r) { r.f.ui().cmdNouveau->click(); },
         [log](Run &r) {
             const auto rows = log(r);
             return rows.size() == 6 && rows[5][12] == QLatin1String("Clermont-Ferrand")
                    && r.f.ui().cmdNouveau->text() == QLatin1String("&Nouveau");
         },
         pendingAddition},
        {"store a change",
         [](Run &r) { r.f.ui().cmdModifier->click(), r.f.put(QStringLiteral("txtVille"), QStringLiteral("Brest")); },
         [](Run &r) { r.f.ui().cmdModifier->click(); },
         [log](Run &r) {
             const auto rows = log(r);
             return rows.size() == 5 && rows[4][12] == QLatin1String("Brest")
                    && r.f.ui().cmdModifier->text() == QLatin1String("&Modifier");
         },
         [](Run &r) {
             return r.f.ui().cmdModifier->text() == QLatin1String("&Valider")
                    && r.f.ui().txtVille->text() == QLatin1String("Brest");
         }},
        {"delete", {}, [](Run &r) { r.f.ui().cmdSupprimer->click(); },
         [log](Run &r) {
             const auto rows = log(r);
             // The contact before it is shown, or, when the file could not be read
             // again, an empty form and a word of warning.
             const bool shown = r.f.shownSerial() == QLatin1String("4")
                                || (r.f.shownSerial().isEmpty() && r.f.prompts.messages.size() == 1);
             return rows.size() == 4 && rows[3][1] == QLatin1String("4") && shown;
         },
         {}},
        {"statistics image",
         [](Run &r) {
             writeFile(r.f.path("log - statistiques.png"), "an earlier image");
             QTest::keyClick(r.f.w.get(), Qt::Key_E, Qt::AltModifier);
             QTRY_VERIFY(frmStatistiques::instance() && !frmStatistiques::instance()->lblBusy->isVisible());
         },
         [](Run &r) {
             r.f.prompts.queuedFiles << r.f.path("log - statistiques.png");
             frmStatistiques::instance()->cmdImage->click();
             frmStatistiques::instance()->close(); // (destroyed: the next run opens its own)
         },
         [](Run &r) {
             return fileBytes(r.f.path("log - statistiques.png")).startsWith("\x89PNG\r\n")
                    && r.f.said() == QStringList{msg::statsImageSaved().arg(r.f.path("log - statistiques.png"))};
         },
         {}},
        {"automatic copy", {},
         [](Run &r) {
             const QString why = copyLogFile(r.f.file, r.f.path("log 2026-06-13 21.05.09.adb"));
             if (!why.isEmpty())
                 r.f.prompts.messages << MessageRequest{nullptr, msg::backupFailed().arg(why), MessageIcon::Critical};
         },
         [log](Run &r) {
             // (a new file, with the permissions the user's mask gives)
             const mode_t mask = ::umask(0);
             ::umask(mask);
             struct stat st;
             const QString copy = r.f.path("log 2026-06-13 21.05.09.adb");
             return testsupport::readRows(copy) == log(r) && ::stat(QFile::encodeName(copy).constData(), &st) == 0
                    && (st.st_mode & 07777) == (0666 & ~mask);
         },
         {}},
        {"New over an older log",
         [](Run &r) { testsupport::makeLogFile(r.f.path("old.adb"), {testsupport::sampleRow(9)}); },
         [](Run &r) { r.f.prompts.queuedFiles << r.f.path("old.adb"), r.f.ui().mnuNouveau->trigger(); },
         [](Run &r) {
             return r.f.ui().Data1->databaseName() == r.f.path("old.adb")
                    && testsupport::readRows(r.f.path("old.adb")).isEmpty();
         },
         {}},
        {"conversion of an old log",
         [](Run &r) { QVERIFY(QFile::copy(kData + "ancien-12.adb", r.f.path("ancien.adb"))); },
         [](Run &r) {
             r.f.prompts.answer = Answer::Yes;
             r.f.prompts.queuedFiles << r.f.path("ancien.adb") << r.f.path("nouveau.adb");
             r.f.ui().mnuOuvrir->trigger();
         },
         [](Run &r) {
             const auto rows = testsupport::readRows(r.f.path("nouveau.adb"));
             return rows.size() == 12 && r.f.ui().Data1->databaseName() == r.f.path("nouveau.adb");
         },
         {}},
    };
}

} // namespace

class tst_faults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("fiu_posix_preload")))
            QSKIP("needs libfiu's POSIX wrappers preloaded (run through CTest)");
        platform::setProgressResponder([](qint64, qint64) { return false; });
    }

    // A crafted old log whose counts or long values lead past what the file
    // holds is refused as damaged at once, in a handful of I/O calls (the
    // reading child would go round in circles, growing, until stopped).
    void craftedOldLog_data()
    {
        QTest::addColumn<bool>("properties");
        QTest::newRow("properties on a chain of pages that loops") << true;
        QTest::newRow("indexes past the definition's pages, which loop") << false;
    }
    void craftedOldLog()
    {
        QFETCH(bool, properties);
        QTemporaryDir dir;
        const QString old = dir.filePath(QStringLiteral("ancien.adb"));
        jetwriter::Table t{"Transmission", jetwriter::transmissionColumns(), {jetwriter::sampleContact(1)}, {}};
        QVERIFY(jetwriter::write(old.toStdString(), {t}).empty());
        const qint64 pages = QFileInfo(old).size() / 2048;
        QByteArray bytes;
        if (properties) {
            // Its one part names itself as the next: a page added at the end.
            QByteArray page(2048, '\0');
            page[0] = 1;
            page[8] = 1;
            page[10] = 16;
            qToLittleEndian<quint32>(quint32(pages << 8), page.data() + 16);
            t.properties = QByteArray(12, '\0').toStdString();
            qToLittleEndian<quint32>(0x00FFFFFF, t.properties.data());
            qToLittleEndian<quint32>(quint32(pages << 8), t.properties.data() + 4);
            QVERIFY(jetwriter::write(old.toStdString(), {t}).empty());
            bytes = fileBytes(old) + page;
        } else {
            // The table's definition (page 5) counts a quarter of a billion
            // indexes, and is followed by itself.
            bytes = fileBytes(old);
            qToLittleEndian<quint32>(5, bytes.data() + 5 * 2048 + 4);
            qToLittleEndian<quint32>(0x0FFFFFF0, bytes.data() + 5 * 2048 + 31);
        }
        writeFile(old, bytes);
        QTemporaryFile counter;
        QVERIFY(counter.open() && counter.resize(sizeof(long)));
        auto *calls = reinterpret_cast<volatile long *>(counter.map(0, sizeof(long)));
        *calls = 0;
        qputenv("SEQUANEL_FAULT_COUNTER", QFile::encodeName(counter.fileName()));
        qputenv("SEQUANEL_FAULT_NTH", "0"); // counted, never failed
        const legacy::ChildResult r = legacy::runConverter(old, dir.filePath(QStringLiteral("nouveau.adb")));
        qunsetenv("SEQUANEL_FAULT_NTH");
        QCOMPARE(r.status, legacy::ChildResult::Damaged);
        QVERIFY2(*calls < 1000, qPrintable(QStringLiteral("%1 calls").arg(*calls)));
    }

    void everyCall_data()
    {
        QTest::addColumn<int>("path");
        QTest::addColumn<int>("errnum");
        QTest::addColumn<bool>("inChild");
        const QVector<Path> all = paths();
        for (int i = 0; i < all.size(); ++i)
            for (int e : {ENOSPC, EIO})
                QTest::addRow("%s, %s", all[i].name, e == ENOSPC ? "ENOSPC" : "EIO") << i << e << false;
        for (int e : {ENOSPC, EIO})
            QTest::addRow("conversion, in the reading child, %s", e == ENOSPC ? "ENOSPC" : "EIO")
                << int(all.size() - 1) << e << true;
    }

    // The reason a copy gives: a log the disk cannot read is unreadable, not
    // a fault of the disk the copy goes to; a disk that stays full is full
    // (not tried again until it has room). No copy is left, the log as it was.
    // A listing whose log can no longer be read half-way through its pages
    // is not printed, and says its reading was cut: never a short listing.
    void failuresSaidForWhatTheyAre()
    {
        {
            MainWindowFixture f;
            const QString log = f.path(QStringLiteral("grand.adb")), pdf = f.path(QStringLiteral("liste.pdf"));
            testsupport::makeLogFile(log, testsupport::sampleRows(2000));
            platform::setDefaultPrinterOverride(platform::PrintTarget::pdfFile(pdf));
            faultnth_arm_at("posix/io/rw/pread", 1L << 40, 1, EIO); // (counted only)
            const bool whole = listing::printListing(f.w.get(), log);
            const long reads = faultnth_disarm();
            QFile::remove(pdf);
            faultnth_arm_at("posix/io/rw/pread", reads / 2, 1L << 40, EIO);
            const bool cut = listing::printListing(f.w.get(), log);
            faultnth_disarm();
            platform::clearDefaultPrinterOverride();
            QVERIFY(whole && !cut);
            QVERIFY2(reads > 20, qPrintable(QString::number(reads))); // (pages read one at a time)
            QCOMPARE(f.said().size(), 1);
            QVERIFY2(f.said()[0].contains(msg::listingReadInterrupted().section('%', 0, 0)), qPrintable(f.said()[0]));
            QVERIFY(!QFileInfo::exists(pdf));
        }
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("log.adb")), copy = dir.filePath(QStringLiteral("copie.adb"));
        testsupport::makeLogFile(log, testsupport::sampleRows(50));
        const QByteArray before = fileBytes(log);
        for (const auto &[point, count, errnum, why] :
             {std::tuple{"posix/io/rw/pread", 1, EIO, msg::backupLogUnreadable().arg(QDir::toNativeSeparators(log))},
              {"posix/io/rw/write", 1000, ENOSPC, msg::saveDiskFull()}}) {
            faultnth_arm_at(point, 1, count, errnum);
            const QString said = platform::copyLogFile(log, copy);
            QVERIFY(faultnth_disarm() >= 1);
            QCOMPARE(said, why);
            QVERIFY(!QFileInfo::exists(copy));
            QCOMPARE(fileBytes(log), before);
        }
    }

    void everyCall()
    {
        QFETCH(int, path);
        QFETCH(int, errnum);
        QFETCH(bool, inChild);
        const Path p = paths()[path];
        QTemporaryFile counter; // the calls a child counts, shared with it
        QVERIFY(counter.open() && counter.resize(sizeof(long)));
        auto *childCalls = reinterpret_cast<volatile long *>(counter.map(0, sizeof(long)));
        qputenv("SEQUANEL_FAULT_ERRNO", QByteArray::number(errnum));
        qputenv("SEQUANEL_FAULT_COUNTER", QFile::encodeName(counter.fileName()));
        int successes = 0, failures = 0;
        long n = 1;
        for (; n < 5000; ++n) {
            Run r;
            if (p.prepare)
                p.prepare(r);
            r.before = folderState(r.f.dir.path());
            r.f.prompts.clear();
            long seen = 0;
            if (inChild) {
                *childCalls = 0;
                qputenv("SEQUANEL_FAULT_NTH", QByteArray::number(qlonglong(n)));
                p.act(r);
                qunsetenv("SEQUANEL_FAULT_NTH");
                seen = *childCalls;
            } else {
                faultnth_arm(n, errnum);
                p.act(r);
                seen = faultnth_disarm();
            }
            const bool reached = seen >= n;
            const auto &messages = r.f.prompts.messages;
            const bool failed = std::any_of(messages.begin(), messages.end(), [](const platform::MessageRequest &m) {
                return m.icon == platform::MessageIcon::Critical;
            });
            const QString where = QStringLiteral("call %1 of %2: ").arg(n).arg(seen);
            if (failed) {
                ++failures;
                for (const platform::MessageRequest &m : messages)
                    QVERIFY2(testsupport::englishIn(m.text).isEmpty(), qPrintable(where + m.text));
                const auto after = folderState(r.f.dir.path());
                QCOMPARE(QStringList(after.keys()), QStringList(r.before.keys()));
                for (auto it = after.begin(); it != after.end(); ++it)
                    QVERIFY2(it.value() == r.before[it.key()],
                             qPrintable(where + it.key() + " changed after: " + messages.last().text));
                if (p.entryKept)
                    QVERIFY2(p.entryKept(r), qPrintable(where + "the typed entry is lost"));
            } else {
                ++successes;
                QVERIFY2(p.succeeded(r), qPrintable(where + "a success that did not happen: " + r.result
                                                    + QStringList(folderState(r.f.dir.path()).keys()).join(',')));
                for (const QString &name : QDir(r.f.dir.path()).entryList(QDir::Files | QDir::Hidden))
                    QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(where + "stray file " + name));
            }
            if (!reached)
                break;
        }
        qInfo("%s: %ld calls failed one at a time: %d failures told, %d successes", QTest::currentDataTag(), n - 1,
              failures, successes);
        QVERIFY(n > 1);
    }
};

QTEST_MAIN(tst_faults)
#include "tst_faults.moc"
