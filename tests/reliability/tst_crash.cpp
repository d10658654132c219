// Stores that go wrong: a writer killed at random moments, a disk that is full
// or a file that can no longer be written, and names the system cannot hold.
// Whatever happens, the file keeps every contact whose store had returned and
// no partial one, and a refused store keeps the entry on screen as typed.
//
// SEQUANEL_CRASH_KILLS sets the number of kills (200 by default).
#include "Engine.h"
#include "LogFile.h"
#include "Reliability.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {
enum Fault { FileSizeLimit, FullFileSystem, ImmutableFile, ImmutableFolder };

bool chattr(const QString &flag, const QString &path)
{
    return QProcess::execute(QStringLiteral("chattr"), {flag, path}) == 0;
}

QString integrity(const QString &path)
{
    platform::EngineError e;
    auto c = platform::Connection::open(path, platform::OpenMode::ReadWrite, &e);
    return c ? c->scalar("PRAGMA integrity_check").toString() : e.text;
}
} // namespace

class TestCrash : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }
    void killedWriterLosesNothing();
    void storeRefusedThenAccepted_data();
    void storeRefusedThenAccepted();
    void oddPaths_data();
    void oddPaths();
};

// A child stores contacts through the main window's store path and is killed
// with SIGKILL; reopening rolls back whatever the killed store left half done.
void TestCrash::killedWriterLosesNothing()
{
    const int kills = qEnvironmentVariableIsSet("SEQUANEL_CRASH_KILLS") ? qEnvironmentVariableIntValue("SEQUANEL_CRASH_KILLS")
                                                                        : 200;
    QTemporaryDir dir(QStringLiteral("/tmp/sequanel-crash-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("concours.adb"));
    testsupport::makeLogFile(path);
    QRandomGenerator rng(20240601);
    int returned = 0; // highest serial whose store had returned
    for (int k = 0; k < kills; ++k) {
        QProcess child;
        child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/reliability_writer"), {path});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        // One kill in ten lands while the window is still starting or opening
        // the file; the others while contacts are being stored.
        if (rng.bounded(10) != 0) {
            while (!child.peek(1 << 20).contains("ready\n") && child.state() == QProcess::Running)
                child.waitForReadyRead(5000);
        }
        QThread::usleep(rng.bounded(40000));
        ::kill(child.processId(), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError().constData());
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            bool ok = false;
            const int n = line.toInt(&ok);
            if (ok) {
                QCOMPARE(n, returned + 1);
                returned = n;
            }
        }
        QCOMPARE(integrity(path), QStringLiteral("ok"));
        // The contact being stored at the kill may be there (its commit
        // reached the file before the serial was written) or not; nothing else.
        const auto rows = testsupport::readRows(path);
        QVERIFY2(rows.size() == returned || rows.size() == returned + 1,
                 qPrintable(QStringLiteral("kill %1: %2 rows, %3 stores returned").arg(k).arg(rows.size()).arg(returned)));
        returned = rows.size(); // the next writer goes on after it
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(reliability::asText(rows[i]), reliability::storedFor(i + 1));
    }
    QVERIFY(returned > kills / 4); // the writer did get work done between kills
}

void TestCrash::storeRefusedThenAccepted_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("file size limit") << int(FileSizeLimit);
    QTest::newRow("full file system") << int(FullFileSystem);
    QTest::newRow("file made immutable") << int(ImmutableFile);
    QTest::newRow("folder made immutable") << int(ImmutableFolder);
}

// The store refused with a French message, the entry kept with everything
// typed, the file intact; the same entry stored once the fault is gone.
void TestCrash::storeRefusedThenAccepted()
{
    QFETCH(int, fault);
    QTemporaryDir dir(QStringLiteral("/tmp/sequanel-full-XXXXXX"));
    const QString folder = dir.filePath(QStringLiteral("disque")), path = folder + QStringLiteral("/concours été.adb");
    QVERIFY(QDir().mkpath(folder));
    const bool ownFs = fault == FullFileSystem;
    if (ownFs && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("cannot mount a small file system here (not root, or no right to mount)");
    const auto unmount = qScopeGuard([&] {
        if (ownFs)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    });
    testsupport::makeLogFile(path, {testsupport::sampleRow(1), testsupport::sampleRow(2), testsupport::sampleRow(3)});
    const auto before = testsupport::readRows(path);
    testsupport::PromptRecorder prompts;
    frmMain w;
    w.show();
    QVERIFY(w.ChargerFichier(path));
    w.cmdNouveau_Click();
    QCOMPARE(w.txtNrSequanel->text(), QStringLiteral("4"));
    reliability::type(w, 4);
    const QStringList typed = reliability::shown(w);

    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{1024, saved.rlim_max};
    QFile filler(folder + QStringLiteral("/remplissage"));
    if (fault == FileSizeLimit)
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    if (fault == FullFileSystem && filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        while (filler.write(QByteArray(4096, 'x')) == 4096) {
        }
    if ((fault == ImmutableFile || fault == ImmutableFolder)
        && !chattr(QStringLiteral("+i"), fault == ImmutableFile ? path : folder))
        QSKIP("chattr +i is not available on this file system");
    w.cmdNouveau_Click(); // Valider
    const auto during = testsupport::readRows(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    filler.remove();
    chattr(QStringLiteral("-i"), path);
    chattr(QStringLiteral("-i"), folder);

    QCOMPARE(prompts.messages.size(), 1);
    const QString text = prompts.messages[0].text;
    QVERIFY2(text.startsWith(QStringLiteral("Le contact n'a pas pu être enregistré dans le fichier.")), qPrintable(text));
    QVERIFY2(testsupport::englishIn(text).isEmpty(), qPrintable(text));
    QCOMPARE(w.cmdNouveau->text(), QStringLiteral("&Valider"));
    QCOMPARE(reliability::shown(w), typed);
    // A file that cannot be written at all keeps the journal of the failed
    // store beside it, which no reader can roll back until the file is
    // writable again: it then reads as nothing rather than half stored.
    if (fault != ImmutableFile || !during.isEmpty())
        QCOMPARE(during, before);
    QCOMPARE(integrity(path), QStringLiteral("ok"));

    prompts.clear();
    w.cmdNouveau_Click();
    QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.value(0).text));
    const auto after = testsupport::readRows(path);
    QCOMPARE(after.size(), 4);
    QCOMPARE(after.mid(0, 3), before);
    QCOMPARE(reliability::asText(after[3]), reliability::storedFor(4));
}

void TestCrash::oddPaths_data()
{
    QTest::addColumn<QString>("relative"); // below the test folder
    QTest::addColumn<bool>("usable");      // the system can hold such a file
    QTest::newRow("accents and quotes") << QStringLiteral("Été à l'Île/\"guillemets\" « final » – Noël.adb") << true;
    QTest::newRow("SQL and placeholders") << QStringLiteral("x'); DROP TABLE Transmission;--/%1 ?1 :a @b $c.adb") << true;
    // The longest name leaves room for the engine's "-journal" beside it.
    QTest::newRow("name of 247 bytes") << QStringLiteral("é").repeated(121) + QStringLiteral("e.adb") << true;
    QTest::newRow("name of 248 bytes") << QStringLiteral("n").repeated(244) + QStringLiteral(".adb") << false;
    QTest::newRow("path of 3900 bytes") << (QStringLiteral("d").repeated(240) + '/').repeated(16) + QStringLiteral("log.adb")
                                        << false;
}

// New over the path, a contact stored, then opened again; or, when the system
// refuses the name, a French message naming the file and nothing changed.
// (A path is never joined into a statement: quotes and placeholders stay text.)
void TestCrash::oddPaths()
{
    QFETCH(QString, relative);
    QFETCH(bool, usable);
    QTemporaryDir dir(QStringLiteral("/tmp/sequanel-paths-XXXXXX"));
    const QString path = dir.filePath(relative), previous = dir.filePath(QStringLiteral("précédent.adb"));
    const QDir folder = QFileInfo(path).dir();
    QDir().mkpath(folder.path());
    testsupport::makeLogFile(previous, {testsupport::sampleRow(1)});
    testsupport::PromptRecorder prompts;
    frmMain w;
    QVERIFY(w.ChargerFichier(previous));
    const QStringList files = folder.entryList(QDir::Files | QDir::Hidden);
    prompts.queuedFiles = {path};
    w.mnuNouveau_Click();
    if (!usable) {
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY2(prompts.messages[0].text.startsWith(QStringLiteral("Impossible de créer le fichier « %1 »").arg(path)),
                 qPrintable(prompts.messages[0].text));
        QCOMPARE(w.Data1->databaseName(), previous);
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), files);
        return;
    }
    QVERIFY(prompts.messages.isEmpty());
    w.cmdNouveau_Click();
    reliability::type(w, 1);
    w.cmdNouveau_Click();
    QVERIFY(w.ChargerFichier(previous) && w.ChargerFichier(path));
    QCOMPARE(reliability::shown(w).at(12), QStringLiteral("Saint-Étienne"));
    const auto rows = testsupport::readRows(path);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(reliability::asText(rows[0]), reliability::storedFor(1));
}

QTEST_MAIN(TestCrash)
#include "tst_crash.moc"
